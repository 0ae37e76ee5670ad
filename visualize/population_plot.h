// The population plot: a gnuplot script that draws chosen columns of a
// population table against time on a logarithmic axis, and the gnuplot run
// that renders it into a picture file.
#ifndef ZOLVANE_VISUALIZE_POPULATION_PLOT_H_
#define ZOLVANE_VISUALIZE_POPULATION_PLOT_H_

#include <string>
#include <vector>

#include "visualize/population_table.h"

enum class PictureFormat { kSvg, kPng, kPdf };

// By the extension of `path`, in any letter case: ".png" and ".pdf" give PNG
// and PDF, anything else (".svg", another or no extension) gives SVG.
PictureFormat PictureFormatFor(const std::string& path);

// The gnuplot commands that draw `states` (1-based, one curve each, legend
// entry = the state number) from the table file `data_path`, whose header
// block gave `table`. The picture goes to gnuplot's standard output.
// `data_path` must not hold a line break (gnuplot reads commands by line).
std::string PopulationPlotScript(const PopulationTable& table, const std::vector<int>& states,
                                 const std::string& data_path, PictureFormat format);

// Runs gnuplot (found on PATH, started without a shell) with `script` on its
// standard input and `output_fd` as its standard output, and waits for it.
// Returns true on success; otherwise false with a one-line reason in *err (no
// newline): gnuplot missing, or gnuplot failing (it has then said why on the
// inherited standard error).
bool RunGnuplot(const std::string& script, int output_fd, std::string* err);

#endif  // ZOLVANE_VISUALIZE_POPULATION_PLOT_H_

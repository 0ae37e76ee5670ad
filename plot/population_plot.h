// The population plot: a gnuplot script that draws chosen columns of a
// population table against time on a logarithmic axis, and the gnuplot run
// that renders it into a picture file.
#ifndef ZOLVANE_PLOT_POPULATION_PLOT_H_
#define ZOLVANE_PLOT_POPULATION_PLOT_H_

#include <string>
#include <vector>

#include "plot/population_table.h"

enum class PictureFormat { kSvg, kPng, kPdf };

// By the extension of `path`, in any letter case: ".png" and ".pdf" give PNG
// and PDF, anything else (".svg", another or no extension) gives SVG.
PictureFormat PictureFormatFor(const std::string& path);

// The plot's title: "SEQUENCE, 37.00 °C", either part left out when the
// header lacks it, "Populations" when it lacks both. Always valid UTF-8
// without control characters, whatever bytes the header held: invalid bytes
// become U+FFFD, control characters blanks; a long sequence is cut (between
// characters) so that the title fits above the plot.
std::string PlotTitle(const PopulationTable& table);

// `text` as a gnuplot string literal that gnuplot reads back as `text`,
// whatever it holds (quotes, backslashes, backquotes, which gnuplot would
// otherwise run as a command). Control characters become blanks.
std::string GnuplotString(const std::string& text);

// The gnuplot commands that draw `states` (1-based, each at most the table's
// number of states; one curve each, legend entry = the state number) of
// `table`. The data travel inside the script, so no file name reaches
// gnuplot; rows whose time the logarithmic axis cannot show are left out
// (the table holds at least one it can show). The picture goes to gnuplot's
// standard output.
std::string PopulationPlotScript(const PopulationTable& table, const std::vector<int>& states,
                                 PictureFormat format);

// Runs gnuplot (found on PATH, started without a shell) with `script` on its
// standard input and `output_fd` as its standard output, and waits for it.
// gnuplot's own messages are kept from the user. Returns true on success,
// with *warning set to the last message gnuplot printed anyway (empty when
// none). Otherwise false with a one-line reason in *err (no newline): gnuplot
// missing, or gnuplot failing, then with its last message.
bool RunGnuplot(const std::string& script, int output_fd, std::string* err, std::string* warning);

#endif  // ZOLVANE_PLOT_POPULATION_PLOT_H_

// Turns the parsed command line into validated RunOptions: defaults, value
// conversion and range checks in a fixed order, the --p0 table, the input
// streams, and the --info settings report.
#ifndef ZOLVANE_APP_PROGRAM_OPTIONS_H_
#define ZOLVANE_APP_PROGRAM_OPTIONS_H_

#include "app/program_record.h"
#include "base/run_options.h"
#include "base/status.h"
#include "command_line/command_line_args.h"

// Every field back to its default; both streams standard input, no texts, no
// p0 table. Does not close streams opened earlier.
void ResetRunOptions(RunOptions& opts);

// Fills `opts` from `args`, checking in a fixed order; the first invalid value
// fails with one message (empty for a --p0 piece that names no state, and for
// an input file that cannot be opened under --quiet) and status 1. --info
// prints the settings and ends the process with status 0. `opts.visualize`
// and `opts.equil_file` point into `args`, which must outlive `opts`. Opens
// --ratesfile/--qorp.
Status ConvertAndValidate(const CommandLineArgs& args, RunOptions& opts);

// The settings report on standard error; `p0_count` is the number of --p0
// pieces, i.e. the number of pair slots in opts.p0.
void PrintSettings(const RunOptions& opts, unsigned p0_count);

// Options wrapper: reset, parse argv (permuted in place) into record.args,
// then convert and validate into record.opts; fails as ConvertAndValidate.
// The parser itself ends the process on --help, --version and bad options.
Status ProcessCommandLine(ProgramRecord& record, int argc, char** argv);

#endif  // ZOLVANE_APP_PROGRAM_OPTIONS_H_

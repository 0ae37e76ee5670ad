// ProgramRecord: the one record of a run, the raw command line followed by the
// validated options. RunOptions borrows texts from the CommandLineArgs, so the
// two live and die together.
#ifndef ZOLVANE_APP_PROGRAM_RECORD_H_
#define ZOLVANE_APP_PROGRAM_RECORD_H_

#include "base/run_options.h"
#include "command_line/command_line_args.h"

struct ProgramRecord {
  CommandLineArgs args;
  RunOptions opts;
};

#endif  // ZOLVANE_APP_PROGRAM_RECORD_H_

// The option parsing engine: turns argv into a filled CommandLineArgs, or ends
// the process (help and version with status 0, any error with one message on
// standard error and status 1).
#ifndef ZOLVANE_COMMAND_LINE_PARSE_COMMAND_LINE_H_
#define ZOLVANE_COMMAND_LINE_PARSE_COMMAND_LINE_H_

#include "command_line/command_line_args.h"

// Initialises `args` and fills it from argv[1..argc). Returns only on success.
// argv is permuted in place: options first, then the non-options in their
// original order (copied into args.inputs). Messages name the program as
// argv[0] exactly as given. Holds no state between calls.
void parse_command_line(int argc, char** argv, CommandLineArgs& args);

#endif  // ZOLVANE_COMMAND_LINE_PARSE_COMMAND_LINE_H_

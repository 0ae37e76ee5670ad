// Sorts what the program's stages printed during one call of the module into
// warnings (by kind) and diagnostics, and rewrites the command-line advice in
// the warnings into the module's keywords ("rerun with --eigensolver
// accurate" becomes "rerun with eigensolver="accurate""). State numbers in
// the texts stay the program's (1-based).
#ifndef ZOLVANE_PYTHON_PROGRAM_MESSAGES_H_
#define ZOLVANE_PYTHON_PROGRAM_MESSAGES_H_

#include <string>
#include <vector>

enum class MessageKind {
  kDiagnostic,  // progress and report lines: logging, or sys.stderr with verbose
  kStiffness,   // double precision does not resolve the landscape
  kBalance,     // the rates break detailed balance where the solver needs it
  kErgodicity,  // states out of reach, several population traps
  kNumerical,   // lost probability, negative populations, complex eigenvalues
};

struct ProgramMessage {
  MessageKind kind;
  std::string text;  // without the "WARNING:" prefix and the final newline
};

// The messages of `printed` in order; diagnostics come one per line run
// between warnings, warnings one per message (continuation lines, which
// start with blanks, included).
std::vector<ProgramMessage> SortProgramMessages(const std::string& printed);

#endif  // ZOLVANE_PYTHON_PROGRAM_MESSAGES_H_

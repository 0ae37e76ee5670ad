// Placeholder until this module is written.
#include "input/qorpparser.h"

#include "run/fatal.h"

std::optional<std::string> read_line(FILE*) { Fatal(1, "not implemented: %s\n", __func__); }
void CloseInputStream(InputContext&, FILE*) { Fatal(1, "not implemented: %s\n", __func__); }

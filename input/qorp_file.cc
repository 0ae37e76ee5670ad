// Placeholder until this module is written.
#include "input/qorpparser.h"

#include "run/fatal.h"

int ParseQorpFile(InputContext&, FILE*, std::vector<QorpRecord>&) { Fatal(1, "not implemented: %s\n", __func__); }

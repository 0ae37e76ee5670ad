// Placeholder until this module is written.
#include "input/qorpparser.h"

#include "run/fatal.h"

int ParseBinaryRatesFile(InputContext&, FILE*, int, int, std::vector<double>&) { Fatal(1, "not implemented: %s\n", __func__); }

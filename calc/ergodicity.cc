// Placeholder until this module is written.
#include "calc/calc.h"

#include "run/fatal.h"

int Calc::MxErgodicity(std::vector<double>&, std::vector<double>&, int) { Fatal(1, "not implemented: %s\n", __func__); }

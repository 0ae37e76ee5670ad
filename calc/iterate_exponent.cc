// Placeholder until this module is written.
#include "calc/calc.h"

#include "run/fatal.h"

int Calc::MxIterateExponent(const std::vector<double>&, const std::vector<double>&, std::vector<double>&) { Fatal(1, "not implemented: %s\n", __func__); }

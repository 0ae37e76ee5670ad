// Placeholder until this module is written.
#include "calc/calc.h"

#include "run/fatal.h"

void Calc::MxFirstPassageTimes(const std::vector<double>&, const std::vector<double>&, FILE*) const { Fatal(1, "not implemented: %s\n", __func__); }
std::optional<std::vector<double>> Calc::MxFirstPassageTo(const std::vector<double>&, int) const { Fatal(1, "not implemented: %s\n", __func__); }

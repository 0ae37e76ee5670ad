// Placeholder until this module is written.
#include "calc/calc.h"

#include "run/fatal.h"

void Calc::MxIterate(std::vector<double>&, const std::vector<double>&) { Fatal(1, "not implemented: %s\n", __func__); }
void Calc::MxOutputHeader() const { Fatal(1, "not implemented: %s\n", __func__); }
double Calc::MxOutputLine(double*, int, double) const { Fatal(1, "not implemented: %s\n", __func__); }

// Placeholder until this module is written.
#include "calc/calc.h"

#include "run/fatal.h"

std::vector<double> Calc::MxMakeP0() const { Fatal(1, "not implemented: %s\n", __func__); }
std::vector<double> Calc::MxAllocate() { Fatal(1, "not implemented: %s\n", __func__); }
void Calc::MxEquilibriumFromEnergies(const std::vector<QorpRecord>&, std::vector<double>&) const { Fatal(1, "not implemented: %s\n", __func__); }
void Calc::MxEquilibriumFromBalance(const std::vector<double>&, std::vector<double>&) const { Fatal(1, "not implemented: %s\n", __func__); }

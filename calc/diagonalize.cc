// Placeholder until this module is written.
#include "calc/calc.h"

#include "run/fatal.h"

void Calc::MxDiagonalize(std::vector<double>&, const std::vector<double>&) { Fatal(1, "not implemented: %s\n", __func__); }
void Calc::MxEigenSymmetric(std::vector<double>&) { Fatal(1, "not implemented: %s\n", __func__); }
void Calc::MxEigenGeneral(std::vector<double>&) { Fatal(1, "not implemented: %s\n", __func__); }
std::optional<std::vector<int>> Calc::MxEvecsReachability(const double*, int) { Fatal(1, "not implemented: %s\n", __func__); }
void Calc::MxCompleteEvecs() { Fatal(1, "not implemented: %s\n", __func__); }

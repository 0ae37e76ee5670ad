// Placeholder until this module is written.
#include "calc/calc.h"

#include "run/fatal.h"

std::vector<double> Calc::MxQorp2Matrix(const std::vector<QorpRecord>*, std::vector<double>&&) { Fatal(1, "not implemented: %s\n", __func__); }
std::vector<double> Calc::MxMethodA(const std::vector<QorpRecord>&) { Fatal(1, "not implemented: %s\n", __func__); }
std::vector<double> Calc::MxMethodI(const std::vector<QorpRecord>*, std::vector<double>&&) { Fatal(1, "not implemented: %s\n", __func__); }
double Calc::FindSaddle(int, int, const std::vector<QorpRecord>&) const { Fatal(1, "not implemented: %s\n", __func__); }
void Calc::MxSetDiagonal(double*, int) const { Fatal(1, "not implemented: %s\n", __func__); }

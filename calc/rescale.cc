// Placeholder until this module is written.
#include "calc/calc.h"

#include "run/fatal.h"

void Calc::MxRescaleHard(double*, int, double) const { Fatal(1, "not implemented: %s\n", __func__); }
void Calc::MxRescaleMinimal(double*, int, double) const { Fatal(1, "not implemented: %s\n", __func__); }
void Calc::MxRescaleTimes(double*, int, double) const { Fatal(1, "not implemented: %s\n", __func__); }

// Placeholder until this module is written.
#include "calc/calc.h"

#include "run/fatal.h"

void Calc::MxAddDegeneracy() { Fatal(1, "not implemented: %s\n", __func__); }

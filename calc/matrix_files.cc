// Placeholder until this module is written.
#include "calc/calc.h"

#include "run/fatal.h"

void Calc::MxBinWrite(const double*, const char*, char) const { Fatal(1, "not implemented: %s\n", __func__); }
int Calc::MxBinRead(std::vector<double>&, const char*, char) const { Fatal(1, "not implemented: %s\n", __func__); }
void Calc::MxRecover(const std::vector<double>&) { Fatal(1, "not implemented: %s\n", __func__); }
void Calc::MxASCIIWrite(const double*, const char*) const { Fatal(1, "not implemented: %s\n", __func__); }
void Calc::MxASCIIWriteV(const double*, const char*) const { Fatal(1, "not implemented: %s\n", __func__); }
void Calc::MxMathematicaWrite(const double*) const { Fatal(1, "not implemented: %s\n", __func__); }

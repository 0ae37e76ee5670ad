// Placeholder until this module is written.
#include "matrix/dense.h"

#include "run/fatal.h"

int MxInverse(double*, int, double) { Fatal(1, "not implemented: %s\n", __func__); }
void MxMultiply(double*, const double*, const double*, int) { Fatal(1, "not implemented: %s\n", __func__); }
void MxGemm(int, int, int, const double*, const double*, double*) { Fatal(1, "not implemented: %s\n", __func__); }
void MxExponential(const double*, double*, int, int, double) { Fatal(1, "not implemented: %s\n", __func__); }

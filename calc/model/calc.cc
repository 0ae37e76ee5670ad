#include "calc/model/calc.h"

#include <vector>

#include "matrix/mx_print.h"

Calc::Calc(int dim, const RunOptions& opts)
    : opts(opts), kT((opts.Temp + 273.15) * 0.00198717), dim_(dim) {}

void MxPrint(const Calc& calc, const double* values, const char* label, char type, FILE* stream,
             bool plain) {
  MxPrintN(values, label, type, calc.dim(), stream, plain);
}

void MxPrintInput(const Calc& calc, const double* reduced, const char* label) {
  const std::vector<double> values = calc.numbering().ToInputNumbering(reduced, calc.dim(), 0.0);
  MxPrintN(values.data(), label, 'v', static_cast<int>(values.size()), stderr, false);
}

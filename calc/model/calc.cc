#include "calc/model/calc.h"

#include "matrix/mx_print.h"

Calc::Calc(int dim, const RunOptions& opts)
    : dim(dim), kT((opts.Temp + 273.15) * 0.00198717), opts(opts) {}

void Calc::MxPrint(const double* values, const char* label, char type, FILE* stream,
                   bool plain) const {
  MxPrintN(values, label, type, dim, stream, plain);
}

void Calc::MxPrintInput(const double* reduced, const char* label) const {
  const std::vector<double> values = numbering.ToInputNumbering(reduced, dim, 0.0);
  MxPrintN(values.data(), label, 'v', static_cast<int>(values.size()), stderr, false);
}

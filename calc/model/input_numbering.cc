// Input numbering: the ergodicity reduction renumbers the states it keeps,
// but every output names states as the input did. These helpers are the one
// place that maps reduced states back to input states.
#include <vector>

#include "calc/model/calc.h"
#include "matrix/mx_print.h"

int Calc::InputDim() const { return kept.empty() ? dim : kept_columns; }

std::vector<int> Calc::ReducedIndices() const {
  const int input_dim = InputDim();
  std::vector<int> reduced(input_dim, -1);
  if (kept.empty()) {
    for (int i = 0; i < input_dim; ++i) reduced[i] = i;
  } else {
    for (int l = 0; l < static_cast<int>(kept.size()); ++l) {
      if (kept[l] >= 0 && kept[l] < input_dim) reduced[kept[l]] = l;
    }
  }
  return reduced;
}

std::vector<double> Calc::ToInputNumbering(const double* reduced, double removed) const {
  const std::vector<int> index = ReducedIndices();
  std::vector<double> out(index.size(), removed);
  for (size_t i = 0; i < index.size(); ++i) {
    if (index[i] >= 0) out[i] = reduced[index[i]];
  }
  return out;
}

void Calc::MxPrintInput(const double* reduced, const char* label) const {
  const std::vector<double> values = ToInputNumbering(reduced, 0.0);
  MxPrintN(values.data(), label, 'v', static_cast<int>(values.size()), stderr, false);
}

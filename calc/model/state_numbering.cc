// The one place that maps reduced states back to input states.
#include "calc/model/state_numbering.h"

#include <cstddef>
#include <vector>

int StateNumbering::InputDim(int dim) const { return kept.empty() ? dim : kept_columns; }

std::vector<int> StateNumbering::ReducedIndices(int dim) const {
  const int input_dim = InputDim(dim);
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

std::vector<double> StateNumbering::ToInputNumbering(const double* reduced, int dim,
                                                     double removed) const {
  const std::vector<int> index = ReducedIndices(dim);
  std::vector<double> out(index.size(), removed);
  for (size_t i = 0; i < index.size(); ++i) {
    if (index[i] >= 0) out[i] = reduced[index[i]];
  }
  return out;
}

#include "calc/spectrum/eigen_order.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <numeric>

std::vector<int> DescendingOrder(const std::vector<double>& values) {
  std::vector<int> order(values.size());
  std::iota(order.begin(), order.end(), 0);
  // A strict weak order even with NaN in the input: NaNs are equivalent to
  // each other and come after all numbers.
  auto before = [&values](int a, int b) {
    const double x = values[static_cast<size_t>(a)], y = values[static_cast<size_t>(b)];
    return !std::isnan(x) && (std::isnan(y) || x > y);
  };
  std::stable_sort(order.begin(), order.end(), before);
  return order;
}

void ApplyOrder(const std::vector<int>& order, std::vector<double>& values,
                std::vector<double>& vectors) {
  const size_t n = order.size();
  bool identity = true;
  for (size_t k = 0; k < n && identity; ++k) identity = order[k] == static_cast<int>(k);
  if (identity) return;
  std::vector<double> line(n);
  for (size_t k = 0; k < n; ++k) line[k] = values[static_cast<size_t>(order[k])];
  std::copy(line.begin(), line.end(), values.begin());
  for (size_t r = 0; r < n; ++r) {
    double* row = vectors.data() + r * n;
    for (size_t k = 0; k < n; ++k) line[k] = row[static_cast<size_t>(order[k])];
    std::copy(line.begin(), line.end(), row);
  }
}

#include "calc/spectrum/eigen_order.h"

#include <cstddef>

std::vector<int> DescendingOrder(const std::vector<double>& values) {
  return DescendingOrderOf(values, static_cast<int>(values.size()));
}

void ApplyOrder(const std::vector<int>& order, std::vector<double>& values,
                std::vector<double>& vectors) {
  const size_t n = order.size();
  double* v = vectors.data();
  ApplyOrderOf(order, values, [v, n](int r, int k) -> double& {
    return v[static_cast<size_t>(r) * n + static_cast<size_t>(k)];
  });
}

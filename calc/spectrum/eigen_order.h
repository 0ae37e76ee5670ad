// Order of the eigenpairs for the time evolution: descending eigenvalues,
// with each eigenvector column moved along with its eigenvalue. Written once
// for every scalar type and storage; the double functions below are the
// row-major std::vector case.
#ifndef ZOLVANE_CALC_SPECTRUM_EIGEN_ORDER_H_
#define ZOLVANE_CALC_SPECTRUM_EIGEN_ORDER_H_

#include <algorithm>
#include <cstddef>
#include <numeric>
#include <type_traits>
#include <vector>

// Positions of `values[0..n)` sorted into descending order. Stable: equal
// values keep their order. NaN sorts after every number.
template <class Values>
std::vector<int> DescendingOrderOf(const Values& values, int n) {
  std::vector<int> order(static_cast<size_t>(n > 0 ? n : 0));
  std::iota(order.begin(), order.end(), 0);
  // A strict weak order even with NaN in the input: NaNs are equivalent to
  // each other and come after all numbers. x != x tells NaN in every
  // arithmetic, including those without std::isnan.
  auto before = [&values](int a, int b) {
    const auto& x = values[a];
    const auto& y = values[b];
    return x == x && (y != y || x > y);
  };
  std::stable_sort(order.begin(), order.end(), before);
  return order;
}

// values[k] becomes the old values[order[k]], and column k of the n x n
// matrix whose entries `entry(r, k)` references (n = order.size()) the old
// column order[k]. One pass over the rows with a line of n scalars; nothing
// moves when `order` is the identity.
template <class Values, class Entry>
void ApplyOrderOf(const std::vector<int>& order, Values& values, Entry&& entry) {
  const size_t n = order.size();
  bool identity = true;
  for (size_t k = 0; k < n && identity; ++k) identity = order[k] == static_cast<int>(k);
  if (identity) return;
  using Scalar = std::decay_t<decltype(values[0])>;
  std::vector<Scalar> line(n);
  for (size_t k = 0; k < n; ++k) line[k] = values[order[k]];
  for (size_t k = 0; k < n; ++k) values[k] = line[k];
  for (size_t r = 0; r < n; ++r) {
    const int row = static_cast<int>(r);
    for (size_t k = 0; k < n; ++k) line[k] = entry(row, order[k]);
    for (size_t k = 0; k < n; ++k) entry(row, static_cast<int>(k)) = line[k];
  }
}

// DescendingOrderOf a whole vector.
std::vector<int> DescendingOrder(const std::vector<double>& values);

// ApplyOrderOf on `vectors`, the row-major n x n matrix (n = values.size()).
void ApplyOrder(const std::vector<int>& order, std::vector<double>& values,
                std::vector<double>& vectors);

#endif  // ZOLVANE_CALC_SPECTRUM_EIGEN_ORDER_H_

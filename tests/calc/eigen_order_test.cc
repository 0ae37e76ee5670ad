// Order of the eigenpairs: the one-pass reorder gives bit for bit what a
// selection sort that swaps whole columns gives, keeps ties in their order
// and puts NaN last.
#include "calc/spectrum/eigen_order.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <utility>
#include <vector>

namespace {

// Reference: selection sort into descending order, exchanging the values and
// the whole columns of the n x n row-major matrix.
void SelectionSort(std::vector<double>& values, std::vector<double>& vectors) {
  const size_t n = values.size();
  for (size_t i = 0; i < n; ++i) {
    size_t m = i;
    for (size_t k = i; k < n; ++k) {
      if (values[k] > values[m]) m = k;
    }
    if (m == i) continue;
    std::swap(values[i], values[m]);
    for (size_t r = 0; r < n; ++r) std::swap(vectors[r * n + i], vectors[r * n + m]);
  }
}

TEST(EigenOrder, SameBitsAsSwappingColumnsForDistinctValues) {
  std::mt19937 gen(5);
  std::uniform_real_distribution<double> dist(-3.0, 1.0);
  for (int n : {1, 2, 7, 64, 200}) {
    for (const char* layout : {"ascending", "shuffled"}) {
      SCOPED_TRACE(std::to_string(n) + " " + layout);
      std::vector<double> values(n);
      for (double& v : values) v = dist(gen);
      if (std::string(layout) == "ascending") std::sort(values.begin(), values.end());
      std::vector<double> vectors(static_cast<size_t>(n) * n);
      for (double& v : vectors) v = dist(gen);

      std::vector<double> want_values = values, want_vectors = vectors;
      SelectionSort(want_values, want_vectors);
      ApplyOrder(DescendingOrder(values), values, vectors);
      EXPECT_EQ(want_values, values);
      EXPECT_EQ(want_vectors, vectors);
    }
  }
}

TEST(EigenOrder, TiesKeepTheirOrderAndNotANumberGoesLast) {
  const double nan = std::nan("");
  struct Case {
    std::vector<double> values;
    std::vector<int> order;
  };
  for (const Case& c : std::vector<Case>{
           {{-2.0, 0.0, 0.0, 0.0}, {1, 2, 3, 0}},
           {{-1.0, -1.0, 0.0, -1.0}, {2, 0, 1, 3}},
           {{-0.0, 0.0}, {0, 1}},  // equal values, whatever their sign
           {{nan, -5.0, nan, 1.0}, {3, 1, 0, 2}},
       }) {
    EXPECT_EQ(c.order, DescendingOrder(c.values));
  }
}

// The extended arithmetics sort their column-major matrices of wider scalars
// with the same templates: the same order and the same columns as the double
// row-major case, ties included.
TEST(EigenOrder, ColumnMajorWideScalarsMoveAsTheDoubleRows) {
  const std::vector<double> values = {-3.0, 0.0, -1.0, -1.0, 0.5, -1.0, 0.0};
  const size_t n = values.size();
  std::vector<double> rows(n * n);
  for (size_t i = 0; i < n * n; ++i) rows[i] = static_cast<double>(i) * 0.25 - 7.0;

  std::vector<long double> wide(values.begin(), values.end());
  std::vector<long double> columns(n * n);  // column-major
  for (size_t r = 0; r < n; ++r) {
    for (size_t k = 0; k < n; ++k) columns[k * n + r] = rows[r * n + k];
  }
  long double* c = columns.data();
  ApplyOrderOf(DescendingOrderOf(wide, static_cast<int>(n)), wide,
               [c, n](int r, int k) -> long double& {
                 return c[static_cast<size_t>(k) * n + static_cast<size_t>(r)];
               });

  std::vector<double> want_values = values, want_rows = rows;
  ApplyOrder(DescendingOrder(want_values), want_values, want_rows);
  EXPECT_EQ(want_values, std::vector<double>(wide.begin(), wide.end()));
  for (size_t r = 0; r < n; ++r) {
    for (size_t k = 0; k < n; ++k) {
      EXPECT_EQ(want_rows[r * n + k], static_cast<double>(columns[k * n + r])) << r << " " << k;
    }
  }
  // A stable sort of the positions by the values alone, as a reference.
  std::vector<int> order(n);
  for (size_t k = 0; k < n; ++k) order[k] = static_cast<int>(k);
  std::stable_sort(order.begin(), order.end(), [&values](int a, int b) {
    return values[static_cast<size_t>(b)] < values[static_cast<size_t>(a)];
  });
  EXPECT_EQ(order, DescendingOrder(values));
}

}  // namespace

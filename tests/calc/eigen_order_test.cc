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

}  // namespace

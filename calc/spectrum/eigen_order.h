// Order of the eigenpairs for the time evolution: descending eigenvalues,
// with each eigenvector column moved along with its eigenvalue.
#ifndef ZOLVANE_CALC_SPECTRUM_EIGEN_ORDER_H_
#define ZOLVANE_CALC_SPECTRUM_EIGEN_ORDER_H_

#include <vector>

// Positions of `values` sorted into descending order. Stable: equal values
// keep their order. NaN sorts after every number.
std::vector<int> DescendingOrder(const std::vector<double>& values);

// values[k] becomes the old values[order[k]], and column k of the row-major
// n x n `vectors` (n = values.size()) the old column order[k]. One contiguous
// pass over the rows; nothing moves when `order` is the identity.
void ApplyOrder(const std::vector<int>& order, std::vector<double>& values,
                std::vector<double>& vectors);

#endif  // ZOLVANE_CALC_SPECTRUM_EIGEN_ORDER_H_

// Quasi-stationary reduction of a rate matrix to its first m states: the
// eliminated states keep dp/dt = 0, which leaves the Schur complement
// M' = M_gg - M_gb * M_bb^-1 * M_bg as the reduced generator.
#ifndef ZOLVANE_INPUT_REDUCE_H_
#define ZOLVANE_INPUT_REDUCE_H_

#include <vector>

#include "input/qorpparser.h"

// Reduces the n x n matrix `m_mat` (row-major, column j = rates out of j) to
// m states, at most b per step; b = 1 eliminates one state at a time without
// an inverse. Returns m if it reduced, else n (matrix untouched).
int MxReduce(InputContext& ctx, std::vector<double>& m_mat, int m, int n, int b);

// One Schur-complement step from n to m < n states; replaces `m_mat`.
void MxReduceBlock(InputContext& ctx, std::vector<double>& m_mat, int n, int m);

#endif  // ZOLVANE_INPUT_REDUCE_H_

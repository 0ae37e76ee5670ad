// Quasi-stationary reduction of a rate matrix to its first m states: the
// eliminated states keep dp/dt = 0, which leaves the Schur complement
// M' = M_gg - M_gb * M_bb^-1 * M_bg as the reduced generator, computed by
// state reduction without subtractions (elimination/quasi_stationary.h).
//
// The one entry of the reduction. The elimination runs in the arithmetic of
// --mlapack-method: its backend (calc/backend/arithmetic_backend.h) calls
// the same elimination with its own scalar.
#ifndef ZOLVANE_CALC_BACKEND_REDUCE_H_
#define ZOLVANE_CALC_BACKEND_REDUCE_H_

#include <vector>

#include "base/run_options.h"
#include "base/status.h"

// Reduces the n x n matrix `m_mat` (row-major, column j = rates out of j; the
// diagonal is ignored and rebuilt from the columns) to m states, at most b per
// step; the steps only set the progress lines (one per block of b, or one per
// hundred states left when b = 1) and the message when a state cannot be
// eliminated. Sets `reduced` to m if it reduced, else n (matrix untouched).
// Fails when a rate before or after the reduction is not a finite number or
// a state cannot be eliminated.
Status MxReduce(const RunOptions& opts, std::vector<double>& m_mat, int m, int n, int b,
                int& reduced);

#endif  // ZOLVANE_CALC_BACKEND_REDUCE_H_

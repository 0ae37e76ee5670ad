// The quasi-stationary reduction (calc/backend/reduce.h) in double, the default
// arithmetic's kernel (calc/backend/arithmetic_backend.h).
#ifndef ZOLVANE_CALC_PASSAGE_REDUCE_IN_DOUBLE_H_
#define ZOLVANE_CALC_PASSAGE_REDUCE_IN_DOUBLE_H_

#include <vector>

#include "base/run_options.h"
#include "base/status.h"

// The n x n `mat` (row-major, column j = rates out of j, diagonal rebuilt)
// becomes the m x m reduced matrix, at most b states eliminated per step;
// prints the progress lines only. Fails when a state or a block of states
// cannot be eliminated.
Status ReduceInDouble(const RunOptions& opts, std::vector<double>& mat, int n, int m, int b);

#endif  // ZOLVANE_CALC_PASSAGE_REDUCE_IN_DOUBLE_H_

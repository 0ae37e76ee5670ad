// The transition matrix U of a run: built from the local minima (method A)
// or taken over from a rates matrix (method I), with the absorbing state of
// --absorb appended.
#ifndef ZOLVANE_CALC_MODEL_TRANSITION_MATRIX_H_
#define ZOLVANE_CALC_MODEL_TRANSITION_MATRIX_H_

#include <vector>

#include "base/status.h"
#include "calc/model/calc.h"
#include "input/qorp_file.h"

// Builds U by method A (records) or I (rates, taken over); appends the
// absorbing state when opts.absorb is set (dim grows by one, the numbering
// names the absorbing state and the absorbed minimum). Fails on minima that
// form no tree, a bad saddles file (--degeneracy), an --absorb beyond the
// minima or rates of the wrong order.
Status MxQorp2Matrix(Calc& calc, const std::vector<QorpRecord>* records,
                     std::vector<double>&& rates, std::vector<double>& U);
Status MxMethodA(Calc& calc, const std::vector<QorpRecord>& records, std::vector<double>& U);
Status MxMethodI(Calc& calc, const std::vector<QorpRecord>* records, std::vector<double>&& rates,
                 std::vector<double>& U);
// Diagonal = -(column sum), or 1 - (column sum) with --useplusI.
void MxSetDiagonal(const Calc& calc, double* U, int n);

// Method A's tree of minima, shared with runs that build U piece by piece.
// Fails unless minimum k (1-based) is numbered k and its father lies in
// 1..k-1.
Status CheckTreeOfMinima(const std::vector<QorpRecord>& records, int n);
// row[j] = U(target, j) = exp(-(S - E_j)/kT) for every j != target, S the
// highest saddle between target and j; row[target] is left alone. `saddle`
// and `on_path` are n-entry work space.
void MethodARatesInto(int target, const std::vector<QorpRecord>& records, int n, double kT,
                      double* row, std::vector<double>& saddle, std::vector<char>& on_path);

#endif  // ZOLVANE_CALC_MODEL_TRANSITION_MATRIX_H_

// The kernels of a run in its arithmetic, chosen once from --mlapack-method:
// double by default, the templated pipeline of calc/extended/extended.h in
// any other arithmetic. (The spectrum has its own choice of solver,
// calc/backend/solver_choice.h.) The driver and the stages call
// through this table and never test the arithmetic themselves, so a new
// arithmetic is one more table, not a branch in every stage.
#ifndef ZOLVANE_CALC_BACKEND_ARITHMETIC_BACKEND_H_
#define ZOLVANE_CALC_BACKEND_ARITHMETIC_BACKEND_H_

#include <cstdio>
#include <optional>
#include <vector>

#include "base/run_options.h"
#include "base/status.h"
#include "calc/model/calc.h"
#include "calc/spectrum/diagonalize.h"
#include "input/qorp_file.h"

// `energies`: the local minima whose Boltzmann weights are p8 (method A on
// unchanged rates), or nullptr when p8 comes from the balance of U. U (d x d
// after the ergodicity reduction, d = calc.dim()) and p8 as the driver holds
// them.
struct ArithmeticBackend {
  // The warning of an arithmetic that computes everything yet is no wider
  // than double (LD, DOUBLE) on rates it cannot resolve; a no-op elsewhere,
  // where the stages warn for what they leave unprotected.
  void (*warn_unprotected)(const Calc& calc, const std::vector<double>& U,
                           const std::vector<double>& p8);
  // All-pairs first passage times, or the absorbing times when there is an
  // absorbing state, written to `out`. Fails on input the arithmetic cannot
  // hold.
  Status (*first_passage_times)(const Calc& calc, const std::vector<double>& U,
                                const std::vector<double>& p8,
                                const std::vector<QorpRecord>* energies, FILE* out);
  // The times from every state to `target` (numbering after the ergodicity
  // reduction) into `times`; nothing when the system is singular, which it
  // has reported. Fails as first_passage_times does.
  Status (*first_passage_to)(const Calc& calc, const std::vector<double>& U, int target,
                             std::optional<std::vector<double>>& times);
  // The quasi-stationary reduction of `mat` (n x n) to m states, at most b
  // per step, as MxReduce (calc/backend/reduce.h) calls it.
  Status (*reduce)(const RunOptions& opts, std::vector<double>& mat, int n, int m, int b);
};

const ArithmeticBackend& BackendFor(Arithmetic arithmetic);

#endif  // ZOLVANE_CALC_BACKEND_ARITHMETIC_BACKEND_H_

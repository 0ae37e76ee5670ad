// The rescaling of the rates that the options ask for, written once for every
// form U takes: the serial matrix and the distributed blocks of zolvane-mpi
// reach their rates through a RateAccess.
#ifndef ZOLVANE_CALC_MODEL_RESCALE_H_
#define ZOLVANE_CALC_MODEL_RESCALE_H_

#include <cmath>
#include <functional>

#include "base/run_options.h"
#include "calc/model/calc.h"

// One step on every off-diagonal rate x: x^value (a power) or value * x.
struct RateMap {
  bool power;
  double value;
  double operator()(double x) const { return power ? std::pow(x, value) : value * x; }
};

// How the rescaling reaches the rates of one form of U.
struct RateAccess {
  // The smallest positive off-diagonal rate below 1; 1 when there is none.
  std::function<double()> smallest_rate;
  // Applies the step to every off-diagonal rate and restores the diagonal.
  std::function<void(RateMap)> map_rates;
};

// --hard-rescale (NaN counts as given), else --minimal-rate, then --times,
// on a system of n states (none of them changes anything when n < 1).
// --minimal-rate prints its "rescale params" line. Returns whether the rates
// were reshaped by a power: then they no longer follow the Boltzmann weights
// of the minima, which a factor alone keeps in proportion.
bool RescaleRates(const RunOptions& opts, int n, const RateAccess& rates);

// RescaleRates on the serial U (n x n, row-major), the diagonal restored by
// MxSetDiagonal.
bool RescaleMatrix(const Calc& calc, double* U, int n);

// Its steps on the serial U: every off-diagonal rate to the power
// `exponent`; to the power that lifts the smallest rate below 1 to
// `desired_minimal_rate`; times `factor`.
void MxRescaleHard(const Calc& calc, double* U, int n, double exponent);
void MxRescaleMinimal(const Calc& calc, double* U, int n, double desired_minimal_rate);
void MxRescaleTimes(const Calc& calc, double* U, int n, double factor);

#endif  // ZOLVANE_CALC_MODEL_RESCALE_H_

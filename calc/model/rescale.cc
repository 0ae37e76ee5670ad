// Rate rescaling: reshapes the off-diagonal rates of U in place (a power, a
// power that lifts the smallest rate to a desired value, or a factor) and
// restores the diagonal afterwards.
#include "calc/model/rescale.h"

#include <cmath>
#include <cstdio>
#include <optional>

#include "calc/model/calc.h"
#include "calc/model/transition_matrix.h"

namespace {

RateAccess SerialAccess(const Calc& calc, double* U, int n) {
  RateAccess access;
  access.smallest_rate = [U, n] {
    double m = 1.0;
    for (int i = 0; i < n; ++i) {
      const double* row = U + static_cast<size_t>(i) * n;
      for (int j = 0; j < n; ++j) {
        if (j != i && row[j] > 0 && row[j] < m) m = row[j];
      }
    }
    return m;
  };
  access.map_rates = [&calc, U, n](RateMap f) {
    for (int i = 0; i < n; ++i) {
      double* row = U + static_cast<size_t>(i) * n;
      for (int j = 0; j < n; ++j) {
        if (j != i) row[j] = f(row[j]);
      }
    }
    MxSetDiagonal(calc, U, n);
  };
  return access;
}

// --minimal-rate: the exponent that lifts the smallest rate to the desired
// one, after the "rescale params" line. Nothing when the rates stay as they
// are: no rate is below the desired one, or a desired rate of 1 or more gives
// an exponent of 0, below 0 or not finite, which would turn absent
// transitions into rates of 1 or invert the order of the rates.
std::optional<double> LiftExponent(double smallest, double desired) {
  const double p = log(desired) / log(smallest);
  fprintf(stderr, "rescale params: %20.10g %20.10g %20.10g\n", smallest, desired, p);
  if (smallest > desired || !(p > 0) || std::isinf(p)) return std::nullopt;
  return p;
}

}  // namespace

bool RescaleRates(const RunOptions& opts, int n, const RateAccess& rates) {
  bool reshaped = false;
  if (!(opts.hard_rescale == 1.0)) {  // NaN counts as "given"
    if (n >= 1) rates.map_rates({true, opts.hard_rescale});
    reshaped = true;
  } else if (opts.minimal_rate > 0) {
    const std::optional<double> p = LiftExponent(rates.smallest_rate(), opts.minimal_rate);
    if (n >= 1 && p) rates.map_rates({true, *p});
    reshaped = true;
  }
  if (!(opts.times == 1.0) && n >= 1) rates.map_rates({false, opts.times});
  return reshaped;
}

bool RescaleMatrix(const Calc& calc, double* U, int n) {
  return RescaleRates(calc.opts, n, SerialAccess(calc, U, n));
}

void MxRescaleHard(const Calc& calc, double* U, int n, double exponent) {
  if (n >= 1) SerialAccess(calc, U, n).map_rates({true, exponent});
}

void MxRescaleMinimal(const Calc& calc, double* U, int n, double desired_minimal_rate) {
  const RateAccess access = SerialAccess(calc, U, n);
  const std::optional<double> p = LiftExponent(access.smallest_rate(), desired_minimal_rate);
  if (n >= 1 && p) access.map_rates({true, *p});
}

void MxRescaleTimes(const Calc& calc, double* U, int n, double factor) {
  if (n >= 1) SerialAccess(calc, U, n).map_rates({false, factor});
}

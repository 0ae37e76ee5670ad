// Rate rescaling: reshapes the off-diagonal rates of U in place (a power, a
// power that lifts the smallest rate to a desired value, or a factor) and
// restores the diagonal afterwards.
#include <cmath>
#include <cstdio>

#include "calc/calc.h"

namespace {

template <typename F>
void ForEachRate(double* U, int n, F f) {
  for (int i = 0; i < n; ++i) {
    double* row = U + static_cast<size_t>(i) * n;
    for (int j = 0; j < n; ++j) {
      if (j != i) row[j] = f(row[j]);
    }
  }
}

}  // namespace

void Calc::MxRescaleHard(double* U, int n, double exponent) const {
  if (n < 1) return;
  ForEachRate(U, n, [exponent](double x) { return pow(x, exponent); });
  MxSetDiagonal(U, n);
}

void Calc::MxRescaleMinimal(double* U, int n, double desired_minimal_rate) const {
  const double d = desired_minimal_rate;
  double m = 1.0;
  for (int i = 0; i < n; ++i) {
    const double* row = U + static_cast<size_t>(i) * n;
    for (int j = 0; j < n; ++j) {
      if (j != i && row[j] > 0 && row[j] < m) m = row[j];
    }
  }
  const double p = log(d) / log(m);
  fprintf(stderr, "rescale params: %20.10g %20.10g %20.10g\n", m, d, p);
  if (n < 1 || m > d) return;
  // A desired rate of 1 or more gives an exponent of 0, below 0 or not finite,
  // which would turn absent transitions into rates of 1 or invert the order of
  // the rates: no rescaling then.
  if (!(p > 0) || std::isinf(p)) return;
  ForEachRate(U, n, [p](double x) { return pow(x, p); });
  MxSetDiagonal(U, n);
}

void Calc::MxRescaleTimes(double* U, int n, double factor) const {
  if (n < 1) return;
  ForEachRate(U, n, [factor](double x) { return factor * x; });
  MxSetDiagonal(U, n);
}

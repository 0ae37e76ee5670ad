// Detection of spectra that double precision cannot resolve.
//
// The eigenvalues of S come out of a double solver with absolute errors of a
// few eps * max|lambda|, so any |lambda| within a small multiple of that is
// noise: its eigenvector and every table line at times near 1/|lambda| are
// then wrong, usually without any other sign. The threshold 1e4 * eps keeps
// a margin of 1e4 over the solver's error (measured: the smallest computed
// |lambda| of stiff landscapes sits at 1e-16 to 1e-14 of the largest once
// the rates span more than 1e15), while landscapes whose rates span up to
// 1e10 have spectra spread by far less than 1 / (1e4 * eps) = 4.5e11.
#include "calc/stiffness.h"

#include <cmath>
#include <cstdio>

double RateSpread(const std::vector<double>& U, int n) {
  const size_t nn = static_cast<size_t>(n);
  double lo = 0.0, hi = 0.0;
  for (size_t i = 0; i < nn; ++i) {
    for (size_t j = 0; j < nn; ++j) {
      const double r = U[i * nn + j];
      if (i == j || !(r > 0) || std::isinf(r)) continue;
      if (lo == 0.0 || r < lo) lo = r;
      if (r > hi) hi = r;
    }
  }
  return lo > 0.0 ? hi / lo : 1.0;
}

bool SpectrumUnresolved(const Calc& calc) {
  const std::vector<double>& evals = calc.evals;
  const size_t n = evals.size();
  if (n < 2) return false;
  const bool absorbing = calc.absorbing_state != 0;
  double largest = 0.0;
  for (double e : evals) largest = std::fmax(largest, std::fabs(e));
  if (!(largest > 0.0)) return false;
  // evals[0] is the stationary eigenvalue. Further exact zeros are states
  // without outflow when there is an absorbing state (real traps, reported
  // on their own); otherwise they are clamped noise.
  for (size_t k = 1; k < n; ++k) {
    const double e = std::fabs(evals[k]);
    if (absorbing && e == 0.0) continue;
    if (e < kUnresolvedSpectrum * largest) return true;
  }
  return false;
}

namespace {

// Measured on funnels and cascades: double-double (about 32 digits, with the
// states graded by exit rate) keeps every printed population up to a spread
// of 1e36; quad-double leaves a wide margin beyond 1e32.
const char* MethodFor(double rate_spread) { return rate_spread < 1e32 ? "DD" : "QD"; }

}  // namespace

void WarnIfSpectrumUnresolved(const Calc& calc, double rate_spread, bool distributed) {
  if (calc.opts.quiet || !SpectrumUnresolved(calc)) return;
  const char* method = MethodFor(rate_spread);
  fprintf(stderr,
          "WARNING: the slowest relaxations are below what double precision resolves (rates "
          "spread over %.0e), the table may be wrong: rerun %swith --mlapack-method %s\n",
          rate_spread, distributed ? "the serial zolvane " : "", method);
}

// Scaling and squaring in double carries absolute errors of a few eps times
// the fastest rate into every product, which swamps the slow flows. Measured
// against quad-double tables (worst absolute population error): cascades of
// barriers 1e-6 at a spread of 1e14, 1e-4 at 1e16, 3e-3 at 1e18; funnels
// 1e-7 at 1e16, 4e-4 at 1e22; nothing at 1e12 or below.
void WarnIfExponentialStiff(const Calc& calc, double rate_spread) {
  if (calc.opts.quiet || !(rate_spread >= kExponentialStiff)) return;
  fprintf(stderr,
          "WARNING: the rates spread over %.0e, beyond what the matrix exponential resolves in "
          "double precision, the table may be wrong: rerun without --exponent with "
          "--mlapack-method %s\n",
          rate_spread, MethodFor(rate_spread));
}

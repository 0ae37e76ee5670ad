// Detection of spectra and equilibria that double precision cannot resolve.
//
// The eigenvalues of S come out of a double solver with absolute errors of a
// few eps * max|lambda|, so any |lambda| within a small multiple of that is
// noise: its eigenvector and every table line at times near 1/|lambda| are
// then wrong, usually without any other sign. The threshold 1e4 * eps keeps
// a margin of 1e4 over the solver's error (measured: the smallest computed
// |lambda| of stiff landscapes sits at 1e-16 to 1e-14 of the largest once
// the rates span more than 1e15), while landscapes whose rates span up to
// 1e10 have spectra spread by far less than 1 / (1e4 * eps) = 4.5e11.
#include "calc/spectrum/stiffness.h"

#include <cmath>
#include <cstdio>

#include "calc/model/detailed_balance.h"

bool DefaultRunResolves(const Calc& calc, const std::vector<double>& U,
                        const std::vector<double>& p8) {
  return calc.numbering().absorbing_state == 0 ? HoldsDetailedBalance(U, p8, calc.dim())
                                               : TransientStatesHoldDetailedBalance(U, calc.dim());
}

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

namespace {

// UnresolvedSpectrumSpread with the threshold `resolved` (relative to the
// largest |lambda|) of the arithmetic that computed `evals`.
double SpreadBelow(const std::vector<double>& evals, bool absorbing, double resolved) {
  const size_t n = evals.size();
  if (n < 2) return 0.0;
  double largest = 0.0;
  for (double e : evals) largest = std::fmax(largest, std::fabs(e));
  if (!(largest > 0.0)) return 0.0;
  // evals[0] is the stationary eigenvalue. Further exact zeros are states
  // without outflow when there is an absorbing state (real traps, reported
  // on their own); otherwise they are clamped noise.
  double smallest = largest;
  for (size_t k = 1; k < n; ++k) {
    const double e = std::fabs(evals[k]);
    if (absorbing && e == 0.0) continue;
    smallest = std::fmin(smallest, e);
  }
  if (!(smallest < resolved * largest)) return 0.0;
  return largest / smallest;  // infinite for a clamped zero
}

}  // namespace

double UnresolvedSpectrumSpread(const Calc& calc, const Spectrum& spectrum) {
  return SpreadBelow(spectrum.evals, calc.numbering().absorbing_state != 0, kUnresolvedSpectrum);
}

void WarnIfSpectrumUnresolved(const Calc& calc, const Spectrum& spectrum,
                              [[maybe_unused]] double rate_spread, const std::vector<double>& p8,
                              bool distributed) {
  if (calc.opts.quiet || spectrum.solver == SpectrumSolver::kAccurate) return;
  const double spread = UnresolvedSpectrumSpread(calc, spectrum);
  const double equilibrium = EquilibriumSpread(p8);
  if (spread == 0.0 && !(equilibrium >= kUnresolvedEquilibrium)) return;
  char rerun[64] = "with --eigensolver accurate";
  if (distributed) {
    snprintf(rerun, sizeof rerun, "the serial zolvane with --eigensolver accurate");
  } else if (spectrum.solver == SpectrumSolver::kLapackNotReversible ||
             spectrum.solver == SpectrumSolver::kLapackGeneral) {
    // The default run propagates rates without detailed balance exactly.
    snprintf(rerun, sizeof rerun, "with --eigensolver auto");
  } else if (spectrum.solver == SpectrumSolver::kStored) {
    snprintf(rerun, sizeof rerun, "without --recoverE");
  }
  if (spread != 0.0) {
    fprintf(stderr,
            "WARNING: the slowest relaxations are below what double precision resolves "
            "(eigenvalues spread over %.0e), the table may be wrong: rerun %s\n",
            spread, rerun);
  } else {
    fprintf(stderr,
            "WARNING: the equilibrium spreads over %.0e, beyond what double precision resolves "
            "in the eigenvectors, the table may be wrong: rerun %s\n",
            equilibrium, rerun);
  }
}

double UnprotectedArithmeticLimit(Arithmetic arithmetic) {
  return arithmetic == Arithmetic::kLongDouble ? 1e15 : 1e12;
}

void WarnIfArithmeticUnprotected(const Calc& calc, double rate_spread,
                                 const std::vector<double>& p8, bool reversible) {
  const RunOptions& opts = calc.opts;
  if (opts.quiet) return;
  if (opts.mlapack_method != Arithmetic::kLongDouble &&
      opts.mlapack_method != Arithmetic::kDouble) {
    return;
  }
  const double limit = UnprotectedArithmeticLimit(opts.mlapack_method);
  if (!(rate_spread >= limit) && !(EquilibriumSpread(p8) >= limit * limit)) return;
  fprintf(stderr,
          "WARNING: the rates spread over %.0e, beyond what --mlapack-method %s resolves, the "
          "table%s may be wrong: rerun %s\n",
          rate_spread, opts.mlapack_method == Arithmetic::kLongDouble ? "LD" : "DOUBLE",
          opts.fpt ? " and the first passage times" : "",
          reversible ? "without --mlapack-method" : "with --mlapack-method QD");
}

bool LacksDetailedBalance(const Calc& calc, const std::vector<double>& U,
                          const std::vector<double>& p8, bool balanced, double& deviation) {
  const int n = calc.dim();
  const bool absorbing = calc.numbering().absorbing_state != 0;
  if (balanced || DefaultRunResolves(calc, U, p8)) return false;
  const size_t nn = static_cast<size_t>(n);
  for (size_t i = 0; i < nn; ++i) {
    if (!absorbing && !(p8[i] > 0.0 && std::isfinite(p8[i]))) return false;
    for (size_t j = 0; j < nn; ++j) {
      const double r = U[i * nn + j];
      if (i != j && !(r >= 0.0 && std::isfinite(r))) return false;
    }
  }
  deviation = absorbing ? TransientBalanceDeviation(U, n) : BalanceDeviation(U, p8, n);
  return true;
}

namespace {

// Bits of MPFR or GMP that resolve a spread of the spectrum (1e4 * eps below
// 1 over it) or of p8 (eps * its square root below 2e-8, as for double),
// with a margin of 64, in whole 64-bit words; never fewer than `at_least`.
int BitsFor(double spectrum_spread, double equilibrium_spread, int at_least) {
  double needed = std::log2(1e4 * std::fmax(spectrum_spread, 1.0));
  needed = std::fmax(needed, 0.5 * std::log2(std::fmax(equilibrium_spread, 1.0)) + 26.0);
  const double words = std::ceil((needed + 64.0) / 64.0);
  // A spread beyond every double is answered by the largest sensible ask.
  const int bits = std::isfinite(words) && words < 64.0 ? 64 * static_cast<int>(words) : 4096;
  return bits > at_least ? bits : at_least;
}

}  // namespace

void WarnIfExtendedUnresolved(const Calc& calc, const ExtendedPrecision& precision,
                              const std::vector<double>& evals, double equilibrium_spread,
                              double rate_spread) {
  const RunOptions& opts = calc.opts;
  if (opts.quiet) return;
  const double spread = SpreadBelow(evals, calc.numbering().absorbing_state != 0,
                                    kUnresolvedSpectrum / kDoubleEpsilon * precision.epsilon);
  const double relative = kDoubleEpsilon / precision.epsilon;
  const double equilibrium_limit = kUnresolvedEquilibrium * relative * relative;
  if (spread == 0.0 && !(equilibrium_spread >= equilibrium_limit)) return;
  // The measured spread of an unresolved spectrum is that of the noise; the
  // rates tell how far the true one reaches.
  const double reach = std::fmax(rate_spread, std::isfinite(spread) ? spread : 1.0);
  char rerun[96];
  if (precision.bits > 0) {
    snprintf(rerun, sizeof rerun, "with --mlapack-precision %d",
             BitsFor(reach, equilibrium_spread, 2 * precision.bits));
  } else if (opts.mlapack_method != Arithmetic::kDefault) {
    // The default run resolves rates in detailed balance with the factorised
    // solver and propagates the others exactly.
    snprintf(rerun, sizeof rerun, "without --mlapack-method");
  } else {
    // Quad-double where the factorised solver handed over.
    snprintf(rerun, sizeof rerun, "with --mlapack-method MPFR --mlapack-precision %d",
             BitsFor(reach, equilibrium_spread, 256));
  }
  if (spread != 0.0) {
    fprintf(stderr,
            "WARNING: the slowest relaxations are below what --mlapack-method %s resolves "
            "(eigenvalues spread over %.0e), the table may be wrong: rerun %s\n",
            precision.name, spread, rerun);
  } else {
    fprintf(stderr,
            "WARNING: the equilibrium spreads over %.0e, beyond what --mlapack-method %s "
            "resolves in the eigenvectors, the table may be wrong: rerun %s\n",
            equilibrium_spread, precision.name, rerun);
  }
}

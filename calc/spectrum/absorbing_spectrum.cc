#include "calc/spectrum/absorbing_spectrum.h"

#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <utility>

#include "calc/model/detailed_balance.h"
#include "matrix/dense.h"
#include "spectral/reversible_spectrum.h"

Calc::SpectrumOutcome DiagonalizeAbsorbingAccurate(Calc& calc, const std::vector<double>& U) {
  const int n = calc.dim;
  if (n < 2) return Calc::SpectrumOutcome::kUseLapack;
  const size_t nn = static_cast<size_t>(n), t = nn - 1;
  // Nothing may leave the absorbing state.
  for (size_t i = 0; i < t; ++i) {
    if (U[i * nn + t] != 0.0) return Calc::SpectrumOutcome::kUseLapack;
  }
  // Detailed balance among the transient states, against the equilibrium
  // the factor finds for them.
  auto balanced = [&U, nn, t](const std::vector<double>& weights) {
    std::vector<double> block(t * t);
    for (size_t i = 0; i < t; ++i) {
      std::copy(U.begin() + static_cast<std::ptrdiff_t>(i * nn),
                U.begin() + static_cast<std::ptrdiff_t>(i * nn + t),
                block.begin() + static_cast<std::ptrdiff_t>(i * t));
    }
    return HoldsDetailedBalance(block, weights, static_cast<int>(t));
  };
  // The solver's eigenvectors replace evecs: release it before the work copy.
  std::vector<double>().swap(calc.evecs);
  std::vector<double> work(U);
  AbsorbingSpectrum spectrum;
  const SpectrumStatus status = ComputeAbsorbingSpectrum(n, work, spectrum, balanced);
  std::vector<double>().swap(work);
  if (status == SpectrumStatus::kSweepCapHit) {
    if (!calc.opts.quiet) {
      fprintf(stderr,
              "WARNING: the accurate eigensolver did not converge in %d sweeps: falling back to "
              "--mlapack-method QD\n",
              spectrum.sweeps);
    }
    return Calc::SpectrumOutcome::kUseQuadDouble;
  }
  if (status != SpectrumStatus::kOk) return Calc::SpectrumOutcome::kUseLapack;

  calc.evals = std::move(spectrum.evals);
  calc.evecs = std::move(spectrum.evecs);
  // Checks and files see the shifted values; the time evolution gets the
  // unshifted ones back whole.
  if (calc.opts.useplusI) {
    calc.unshifted_evals_ = calc.evals;
    for (double& e : calc.evals) e += 1.0;
  }
  MxSqrtScalings(spectrum.weights, nn, calc.sqrPI_, calc._sqrPI);
  calc._sqrPI[t] = 0.0;  // not 1/0: the absorbing state takes no part in the projection
  return Calc::SpectrumOutcome::kDone;
}

#include "calc/spectrum/absorbing_spectrum.h"

#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <utility>

#include "calc/model/detailed_balance.h"
#include "matrix/dense.h"
#include "spectral/reversible_spectrum.h"

Calc::SpectrumOutcome DiagonalizeAbsorbingAccurate(const Calc& calc, const std::vector<double>& U,
                                                   Spectrum& spectrum,
                                                   std::vector<double>& unshifted) {
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
  std::vector<double>().swap(spectrum.evecs);
  std::vector<double> work(U);
  AbsorbingSpectrum solution;
  const SpectrumStatus status = ComputeAbsorbingSpectrum(n, work, solution, balanced);
  std::vector<double>().swap(work);
  if (status == SpectrumStatus::kSweepCapHit) {
    if (!calc.opts.quiet) {
      fprintf(stderr,
              "WARNING: the accurate eigensolver did not converge in %d sweeps: falling back to "
              "--mlapack-method QD\n",
              solution.sweeps);
    }
    return Calc::SpectrumOutcome::kUseQuadDouble;
  }
  if (status != SpectrumStatus::kOk) return Calc::SpectrumOutcome::kUseLapack;

  spectrum.evals = std::move(solution.evals);
  spectrum.evecs = std::move(solution.evecs);
  // Checks and files see the shifted values; the time evolution gets the
  // unshifted ones back whole.
  if (calc.opts.useplusI) {
    unshifted = spectrum.evals;
    for (double& e : spectrum.evals) e += 1.0;
  }
  MxSqrtScalings(solution.weights, nn, spectrum.sqrt_p8, spectrum.inv_sqrt_p8);
  spectrum.inv_sqrt_p8[t] = 0.0;  // not 1/0: the absorbing state takes no part in the projection
  return Calc::SpectrumOutcome::kDone;
}

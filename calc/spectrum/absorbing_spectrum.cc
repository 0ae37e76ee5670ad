#include "calc/spectrum/absorbing_spectrum.h"

#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <utility>

#include "calc/model/detailed_balance.h"
#include "calc/spectrum/diagonalize.h"
#include "matrix/dense.h"
#include "spectral/reversible_spectrum.h"

SpectrumOutcome DiagonalizeAbsorbingAccurate(const Calc& calc, const std::vector<double>& U,
                                             Spectrum& spectrum, std::vector<double>& unshifted) {
  const int n = calc.dim();
  // Two states at least, and nothing may leave the absorbing one.
  if (TransientBlock(U, n).empty()) return SpectrumOutcome::kUseLapack;
  const size_t nn = static_cast<size_t>(n), t = nn - 1;
  // Detailed balance among the transient states, against the equilibrium
  // the factor finds for them. The block is made again there rather than
  // kept: it would stand beside the solver's work space.
  auto balanced = [&U, n](const std::vector<double>& weights) {
    return HoldsDetailedBalance(TransientBlock(U, n), weights, n - 1);
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
    return SpectrumOutcome::kUseQuadDouble;
  }
  if (status != SpectrumStatus::kOk) return SpectrumOutcome::kUseLapack;

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
  return SpectrumOutcome::kDone;
}

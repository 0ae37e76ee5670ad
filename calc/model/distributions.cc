// Initial population p0, the storage allocated after the ergodicity reduction,
// and the equilibrium distribution p8: Boltzmann weights of the minima
// (method A) or local balance on U (method I), or for rates without detailed
// balance the elimination of the states one by one.
#include "calc/model/distributions.h"

#include <cmath>
#include <cstddef>
#include <cstdio>
#include <utility>
#include <vector>

#include "base/exit_status.h"
#include "base/status.h"
#include "calc/model/calc.h"
#include "calc/model/equilibrium.h"
#include "spectral/gth_factor.h"

Status MxMakeP0(const Calc& calc, std::vector<double>& p0) {
  p0.assign(calc.dim(), 0.0);
  const std::vector<double>& table = calc.opts.p0;
  if (table.empty()) {
    if (calc.dim() >= 1) p0[0] = 1.0;
  } else {
    // Element 0 holds 1 + 2m for m (state, value) pairs; later pairs for the
    // same state overwrite earlier ones.
    const int end = static_cast<int>(table[0]);
    for (int i = 1; i < end && i + 1 < static_cast<int>(table.size()); i += 2) {
      const int s = static_cast<int>(table[i]);
      if (s < 1 || s > calc.dim()) {
        return Failure(1, "ERROR: --p0 names state %d, but there are %d states\n", s, calc.dim());
      }
      p0[s - 1] = table[i + 1];
    }
  }
  if (calc.opts.verbose) MxPrint(calc, p0.data(), "p0", 'v');
  return Status{};
}

std::vector<double> MxAllocate(const Calc& calc) {
  return std::vector<double>(static_cast<size_t>(calc.dim()), 0.0);
}

namespace {

// All population ends in the absorbing state, the last one.
void AbsorbingEquilibrium(int n, std::vector<double>& p8) {
  p8.assign(n, 0.0);
  if (n >= 1) p8[n - 1] = 1.0;
}

}  // namespace

Status MxEquilibriumFromEnergies(const Calc& calc, const std::vector<QorpRecord>& records,
                                 std::vector<double>& p8) {
  const int n = calc.dim();
  if (calc.numbering().absorbing_state != 0) {
    AbsorbingEquilibrium(n, p8);
  } else {
    if (static_cast<int>(records.size()) < n) {
      return Failure(1, "ERROR: %d local minima needed for the equilibrium, %zu given\n", n,
                     records.size());
    }
    p8.assign(n, 0.0);
    if (n >= 1) BoltzmannWeights<double>(records, n, calc.kT, false, p8);
  }
  if (calc.opts.verbose) MxPrintInput(calc, p8.data(), "p8");
  return Status{};
}

Status MxEquilibriumFromBalance(const Calc& calc, const std::vector<double>& U,
                                std::vector<double>& p8) {
  const int n = calc.dim();
  // Nothing leaves the absorbing state, so no balance walk could reach it;
  // its equilibrium is known.
  if (calc.numbering().absorbing_state != 0) {
    AbsorbingEquilibrium(n, p8);
    if (calc.opts.verbose) MxPrintInput(calc, p8.data(), "p8");
    return Status{};
  }
  const size_t nn = static_cast<size_t>(n);
  return MxEquilibriumFromBalanceLines(
      calc,
      [&U, nn](int c) {
        return RatesAtState{U.data() + static_cast<size_t>(c) * nn, 1, U.data() + c, nn};
      },
      p8);
}

Status MxEquilibriumFromBalanceLines(const Calc& calc,
                                     const std::function<RatesAtState(int c)>& lines,
                                     std::vector<double>& p8) {
  const int n = calc.dim();
  p8.assign(n, 0.0);
  if (Status walked = BalanceWalk<double, true>(calc, n, lines, p8); !walked.ok()) {
    return walked;
  }

  double sum = 0.0;
  for (int i = 0; i < n; ++i) sum += p8[i];
  for (int i = 0; i < n; ++i) p8[i] /= sum;
  MxPrintInput(calc, p8.data(), "p8 (detailed balance)");
  return Status{};
}

Status MxEquilibriumByElimination(const Calc& calc, const std::vector<double>& U,
                                  std::vector<double>& p8) {
  const int n = calc.dim();
  std::vector<double> work(U.begin(), U.begin() + static_cast<std::ptrdiff_t>(n) * n);
  GthFactor factor;
  const SpectrumStatus status = GthFactorize(n, work.data(), factor);
  if (status != SpectrumStatus::kOk) {
    return Failure(1, "ERROR: the rates %s: they have no equilibrium\n",
                   status == SpectrumStatus::kNotFinite
                       ? "hold a NaN, infinite or negative value"
                       : "do not lead from every state to every other");
  }
  p8 = std::move(factor.p8);
  MxPrintInput(calc, p8.data(), "p8 (elimination)");
  return Status{};
}

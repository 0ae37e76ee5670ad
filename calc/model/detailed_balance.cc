#include "calc/model/detailed_balance.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstddef>

#include "spectral/gth_factor.h"

namespace {

bool Normal(double x) { return x >= DBL_MIN && x <= DBL_MAX; }

// |a - b| <= tol * max(a, b) for the flows a = r_ij p_j, b = r_ji p_i (all
// positive), without forming a product that could leave the normal range.
bool FlowsAgree(double r_ij, double p_j, double r_ji, double p_i) {
  const double a = r_ij * p_j, b = r_ji * p_i;
  if (Normal(a) && Normal(b)) return std::fabs(a - b) <= kBalanceTolerance * std::fmax(a, b);
  const double log_ratio = (std::log(r_ij) + std::log(p_j)) - (std::log(r_ji) + std::log(p_i));
  return std::fabs(log_ratio) <= kBalanceTolerance;
}

// |a - b| / max(a, b) for the same flows.
double FlowMismatch(double r_ij, double p_j, double r_ji, double p_i) {
  const double a = r_ij * p_j, b = r_ji * p_i;
  if (Normal(a) && Normal(b)) return std::fabs(a - b) / std::fmax(a, b);
  const double log_ratio = (std::log(r_ij) + std::log(p_j)) - (std::log(r_ji) + std::log(p_i));
  return -std::expm1(-std::fabs(log_ratio));
}

// The local-balance weights of the transient block, largest 1; empty when
// the block has no single chain of two-way rates.
std::vector<double> TransientWeights(const std::vector<double>& block, size_t t) {
  int components = 0;
  const std::vector<double> logp =
      LocalBalanceLogWeights(static_cast<int>(t), block.data(), &components);
  if (components != 1) return {};
  // Weights below the smallest double make HoldsDetailedBalance say no: the
  // conservative answer for a spread beyond 1e308.
  const double top = *std::max_element(logp.begin(), logp.end());
  std::vector<double> weights(t);
  for (size_t i = 0; i < t; ++i) weights[i] = std::exp(logp[i] - top);
  return weights;
}

}  // namespace

double BalanceDeviation(const std::vector<double>& U, const std::vector<double>& p8, int n) {
  const size_t nn = static_cast<size_t>(n);
  if (p8.size() < nn || U.size() < nn * nn) return 1.0;
  double worst = 0.0;
  for (size_t i = 0; i < nn; ++i) {
    for (size_t j = i + 1; j < nn; ++j) {
      const double r_ji = U[i * nn + j], r_ij = U[j * nn + i];
      if (r_ji == 0.0 && r_ij == 0.0) continue;
      const double mismatch = r_ji > 0.0 && r_ij > 0.0 && p8[i] > 0.0 && p8[j] > 0.0
                                  ? FlowMismatch(r_ji, p8[j], r_ij, p8[i])
                                  : 1.0;
      // NaN counts as the largest mismatch.
      worst = std::isnan(mismatch) ? 1.0 : std::fmax(worst, mismatch);
    }
  }
  return worst;
}

double TransientBalanceDeviation(const std::vector<double>& U, int n) {
  const std::vector<double> block = TransientBlock(U, n);
  if (block.empty()) return 1.0;
  const size_t t = static_cast<size_t>(n) - 1;
  const std::vector<double> weights = TransientWeights(block, t);
  if (weights.empty()) return 1.0;
  return BalanceDeviation(block, weights, static_cast<int>(t));
}

bool HoldsDetailedBalance(const std::vector<double>& U, const std::vector<double>& p8, int n) {
  const size_t nn = static_cast<size_t>(n);
  if (p8.size() < nn || U.size() < nn * nn) return false;
  for (size_t i = 0; i < nn; ++i) {
    if (!(p8[i] > 0.0) || !std::isfinite(p8[i])) return false;
  }
  for (size_t i = 0; i < nn; ++i) {
    for (size_t j = i + 1; j < nn; ++j) {
      // U(i, j) is the rate j -> i, U(j, i) the rate i -> j.
      if (!PairHoldsDetailedBalance(U[i * nn + j], p8[j], U[j * nn + i], p8[i])) return false;
    }
  }
  return true;
}

bool PairHoldsDetailedBalance(double r_ji, double p_j, double r_ij, double p_i) {
  if (!(r_ji >= 0.0) || !(r_ij >= 0.0) || !std::isfinite(r_ji) || !std::isfinite(r_ij)) {
    return false;
  }
  if ((r_ji == 0.0) != (r_ij == 0.0)) return false;
  if (r_ji == 0.0) return true;
  // Flow j -> i is r_ji p_j; flow i -> j is r_ij p_i.
  return FlowsAgree(r_ji, p_j, r_ij, p_i);
}

std::vector<double> TransientBlock(const std::vector<double>& U, int n) {
  if (n < 2 || U.size() < static_cast<size_t>(n) * n) return {};
  const size_t nn = static_cast<size_t>(n), t = nn - 1;
  for (size_t i = 0; i < t; ++i) {
    if (U[i * nn + t] != 0.0) return {};  // a rate out of the absorbing state
  }
  std::vector<double> block(t * t);
  for (size_t i = 0; i < t; ++i) {
    std::copy(U.begin() + static_cast<std::ptrdiff_t>(i * nn),
              U.begin() + static_cast<std::ptrdiff_t>(i * nn + t),
              block.begin() + static_cast<std::ptrdiff_t>(i * t));
  }
  return block;
}

bool TransientStatesHoldDetailedBalance(const std::vector<double>& U, int n) {
  const std::vector<double> block = TransientBlock(U, n);
  if (block.empty()) return false;
  const size_t t = static_cast<size_t>(n) - 1;
  const std::vector<double> weights = TransientWeights(block, t);
  return !weights.empty() && HoldsDetailedBalance(block, weights, static_cast<int>(t));
}

double EquilibriumSpread(const std::vector<double>& p8) {
  double lo = 0.0, hi = 0.0;
  for (double p : p8) {
    if (!(p > 0.0) || std::isinf(p)) continue;
    if (lo == 0.0 || p < lo) lo = p;
    if (p > hi) hi = p;
  }
  return lo > 0.0 ? hi / lo : 1.0;
}

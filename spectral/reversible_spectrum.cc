#include "spectral/reversible_spectrum.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <numeric>
#include <vector>

namespace {

// The n - 1 Jacobi columns of x (n x n column-major, rows in elimination
// order) and their norms sigma as modes: evals[1..] = -sigma^2 * scale in
// descending order (ties in column order), evecs (n x n row-major, zeros
// elsewhere) columns 1.. the matching columns of x with the rows back in
// state numbering. evals[0] = 0; column 0 is the caller's.
void PlaceModes(int n, const std::vector<double>& sigma, const std::vector<double>& x,
                const GthFactor& factor, std::vector<double>& evals, std::vector<double>& evecs) {
  const size_t nn = static_cast<size_t>(n), k = nn - 1;
  // lambda = -sigma^2 * scale, formed as a square of sigma sqrt(scale) so
  // that a tiny sigma^2 does not underflow on the way.
  const double root_scale = std::sqrt(factor.scale);
  std::vector<double> lambda(k);
  for (size_t j = 0; j < k; ++j) {
    const double y = sigma[j] * root_scale;
    lambda[j] = -(y * y);
  }
  std::vector<int> by_value(k);
  std::iota(by_value.begin(), by_value.end(), 0);
  std::stable_sort(by_value.begin(), by_value.end(),
                   [&](int a, int b) { return lambda[a] > lambda[b]; });
  evals.resize(nn);
  evals[0] = 0.0;
  for (size_t c = 0; c < k; ++c) evals[c + 1] = lambda[by_value[c]];
  // Tiles of columns keep both the reads (columns of X) and the writes
  // (rows of evecs) in cache.
  evecs.assign(nn * nn, 0.0);
  constexpr size_t kTile = 32;
  for (size_t c0 = 0; c0 < k; c0 += kTile) {
    const size_t c1 = std::min(c0 + kTile, k);
    for (size_t r = 0; r < nn; ++r) {
      double* row = evecs.data() + static_cast<size_t>(factor.order[r]) * nn + 1;
      for (size_t c = c0; c < c1; ++c) row[c] = x[static_cast<size_t>(by_value[c]) * nn + r];
    }
  }
}

}  // namespace

SpectrumStatus ComputeReversibleSpectrum(int n, std::vector<double>& u, ReversibleSpectrum& out,
                                         const SpectrumOptions& options) {
  out = ReversibleSpectrum{};
  const size_t nn = static_cast<size_t>(n);
  GthFactor factor;
  const SpectrumStatus factored = GthFactorize(n, u.data(), factor, options.gth_block);
  if (factored != SpectrumStatus::kOk) return factored;
  if (n == 0) return SpectrumStatus::kOk;

  // X is n x (n-1) column-major in u, rows in elimination order.
  const size_t k = nn - 1;
  std::vector<double> sigma(k);
  JacobiResult jacobi;
  if (k > 0) jacobi = OneSidedJacobi(n, n - 1, u.data(), n, sigma.data(), options.jacobi);

  PlaceModes(n, sigma, u, factor, out.evals, out.evecs);
  out.p8 = factor.p8;
  out.sweeps = jacobi.sweeps;
  // Column 0: the stationary mode.
  double norm = 0.0;
  for (double p : factor.p8) norm += p;  // |sqrt(p8)|^2 = sum p8
  norm = std::sqrt(norm);
  for (size_t i = 0; i < nn; ++i) out.evecs[i * nn] = std::sqrt(factor.p8[i]) / norm;
  return jacobi.converged || k == 0 ? SpectrumStatus::kOk : SpectrumStatus::kSweepCapHit;
}

SpectrumStatus ComputeAbsorbingSpectrum(
    int n, std::vector<double>& u, AbsorbingSpectrum& out,
    const std::function<bool(const std::vector<double>& weights)>& accept,
    const SpectrumOptions& options) {
  out = AbsorbingSpectrum{};
  if (n < 2) return SpectrumStatus::kReducible;
  const size_t nn = static_cast<size_t>(n), sink = nn - 1, k = nn - 1;
  // The leak, U(sink, j): the factor overwrites u.
  const std::vector<double> leak(u.begin() + static_cast<std::ptrdiff_t>(sink * nn),
                                 u.begin() + static_cast<std::ptrdiff_t>(sink * nn + k));
  GthFactor factor;
  const SpectrumStatus factored = GthFactorize(n, u.data(), factor, options.gth_block, true);
  if (factored != SpectrumStatus::kOk) return factored;
  if (accept && !accept(factor.p8)) return SpectrumStatus::kRejected;

  // X: rows 0..n-2 of the n x (n-1) factor; its sink row is zero.
  std::vector<double> sigma(k);
  const JacobiResult jacobi =
      OneSidedJacobi(n - 1, n - 1, u.data(), n, sigma.data(), options.jacobi);

  // Each column in place: v = P^1/2 w in rows 0..n-2 (elimination order),
  // the absorbing component in the sink row, then unit length. On the
  // rates divided by `scale`, lambda = -sigma^2 and a = -(l/scale)^T v /
  // sigma^2, divided by sigma twice so that no square underflows.
  std::vector<double> root_p(k);
  for (size_t r = 0; r < k; ++r) root_p[r] = std::sqrt(factor.p8[factor.order[r]]);
  const double inv_scale = 1.0 / factor.scale;
  for (size_t j = 0; j < k; ++j) {
    double* col = u.data() + j * nn;
    double into = 0.0, largest = 0.0;
    for (size_t r = 0; r < k; ++r) {
      col[r] *= root_p[r];
      const double l = leak[factor.order[r]];
      if (l != 0.0) into += (l * inv_scale) * col[r];
      largest = std::max(largest, std::fabs(col[r]));
    }
    col[sink] = sigma[j] > 0.0 ? -(into / sigma[j]) / sigma[j] : 0.0;
    largest = std::max(largest, std::fabs(col[sink]));
    if (!(largest > 0.0)) continue;
    double sum = 0.0;
    for (size_t r = 0; r < nn; ++r) {
      const double x = col[r] / largest;
      sum += x * x;
    }
    const double inv_norm = 1.0 / (largest * std::sqrt(sum));
    for (size_t r = 0; r < nn; ++r) col[r] *= inv_norm;
  }

  PlaceModes(n, sigma, u, factor, out.evals, out.evecs);
  out.evecs[sink * nn] = 1.0;  // column 0: the absorbing state
  out.weights = std::move(factor.p8);
  out.sweeps = jacobi.sweeps;
  return jacobi.converged ? SpectrumStatus::kOk : SpectrumStatus::kSweepCapHit;
}

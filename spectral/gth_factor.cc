#include "spectral/gth_factor.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <numeric>
#include <vector>

#include "base/step_hook.h"
#include "matrix/lapack.h"

namespace {

// Column-major element (i, j) of an n x n matrix.
inline double& At(double* a, size_t n, size_t i, size_t j) { return a[j * n + i]; }

// a(i, j) <- a(perm[i], perm[j]) in place: rows inside each column, then
// whole columns along the cycles of the permutation; n doubles of scratch.
void PermuteSymmetrically(int n, double* a, const std::vector<int>& perm) {
  const size_t nn = static_cast<size_t>(n);
  std::vector<double> tmp(nn);
  for (size_t j = 0; j < nn; ++j) {
    double* col = a + j * nn;
    for (size_t i = 0; i < nn; ++i) tmp[i] = col[perm[i]];
    std::copy(tmp.begin(), tmp.end(), col);
  }
  std::vector<char> done(nn, 0);
  for (size_t start = 0; start < nn; ++start) {
    if (done[start] || static_cast<size_t>(perm[start]) == start) continue;
    std::copy(a + start * nn, a + (start + 1) * nn, tmp.begin());
    size_t j = start;
    for (;;) {
      done[j] = 1;
      const size_t src = static_cast<size_t>(perm[j]);
      if (src == start) {
        std::copy(tmp.begin(), tmp.end(), a + j * nn);
        break;
      }
      std::copy(a + src * nn, a + (src + 1) * nn, a + j * nn);
      j = src;
    }
  }
}

}  // namespace

std::vector<double> LocalBalanceLogWeights(int n, const double* q, int* components) {
  const size_t nn = static_cast<size_t>(n);
  return LocalBalanceLogWeights(
      n,
      [q, n, nn](int c) {
        // Column c of q: the rates j -> c; row c: the rates c -> j.
        const size_t cc = static_cast<size_t>(c);
        return BalanceLines{q + cc * nn, 1, q + cc, n};
      },
      components);
}

std::vector<double> LocalBalanceLogWeights(int n, const std::function<BalanceLines(int c)>& lines,
                                           int* components) {
  const size_t nn = static_cast<size_t>(n);
  std::vector<double> logp(nn, 0.0);
  std::vector<char> seen(nn, 0);
  std::vector<int> queue;
  queue.reserve(nn);
  int roots = 0;
  for (size_t root = 0; root < nn; ++root) {
    if (seen[root]) continue;  // a further component (or one-way rates)
    ++roots;
    seen[root] = 1;
    queue.push_back(static_cast<int>(root));
    for (size_t head = queue.size() - 1; head < queue.size(); ++head) {
      const int c = queue[head];
      const BalanceLines line = lines(c);
      const size_t si = static_cast<size_t>(line.into_stride);
      const size_t so = static_cast<size_t>(line.out_of_stride);
      for (size_t j = 0; j < nn; ++j) {
        if (seen[j]) continue;
        const double forth = line.out_of[j * so], back = line.into[j * si];
        if (!(forth > 0.0) || !(back > 0.0)) continue;
        logp[j] = logp[static_cast<size_t>(c)] + std::log(forth) - std::log(back);
        seen[j] = 1;
        queue.push_back(static_cast<int>(j));
      }
    }
  }
  if (components != nullptr) *components = roots;
  return logp;
}

std::vector<int> EliminationOrderOf(const std::vector<double>& logp) {
  std::vector<int> order(logp.size());
  std::iota(order.begin(), order.end(), 0);
  std::stable_sort(order.begin(), order.end(), [&](int a, int b) { return logp[a] < logp[b]; });
  return order;
}

std::vector<int> EliminationOrder(int n, const double* q) {
  return EliminationOrderOf(LocalBalanceLogWeights(n, q));
}

SpectrumStatus GthFactorize(int n, double* u, GthFactor& factor, int block, bool sink) {
  const size_t nn = static_cast<size_t>(n);
  factor = GthFactor{};
  factor.n = n;
  double largest = 0.0;
  for (size_t j = 0; j < nn; ++j) {
    for (size_t i = 0; i < nn; ++i) {
      const double x = u[j * nn + i];
      if (i == j) continue;
      if (!std::isfinite(x) || x < 0.0) return SpectrumStatus::kNotFinite;
      largest = std::max(largest, x);
    }
  }
  if (n == 0) return SpectrumStatus::kOk;
  if (n == 1) {
    factor.order = {0};
    factor.p8 = {sink ? 0.0 : 1.0};
    u[0] = 0.0;
    return SpectrumStatus::kOk;
  }
  if (largest == 0.0) return SpectrumStatus::kReducible;
  factor.scale = largest;

  // The U row-major buffer read column-major is Q, q(i, j) = rate i -> j.
  double* a = u;
  factor.order = EliminationOrder(n, a);
  if (sink) {
    // The sink is never a pivot: it goes last whatever its estimate.
    factor.order.erase(std::find(factor.order.begin(), factor.order.end(), n - 1));
    factor.order.push_back(n - 1);
  }
  PermuteSymmetrically(n, a, factor.order);
  for (size_t j = 0; j < nn; ++j) {
    double* col = a + j * nn;
    for (size_t i = 0; i < nn; ++i) col[i] /= largest;
    col[j] = 0.0;  // never read; zero keeps the sums that land there finite
  }

  // Right-looking elimination in panels of `block` steps. Step s uses row s
  // (rates s -> j) and column s (rates i -> s) over the active j, i > s; they
  // are brought up to date inside the panel, the rest of the trailing matrix
  // gets the panel's updates at its end as one product:
  //   q(i, j) += sum over the panel's s of q(i, s) * b(s, j),
  // b(s, j) = q(s, j) / r_s <= 1 the branching probabilities, stored over
  // row s. Every term is non-negative.
  const size_t nb = static_cast<size_t>(std::max(1, block));
  std::vector<double> pivot(nn, 0.0);
  // With a sink: the pivots without the rate into it, for p8.
  std::vector<double> held(sink ? nn : 0, 0.0);
  for (size_t b = 0; b < nn; b += nb) {
    StepDone("factorising", static_cast<double>(b) / static_cast<double>(nn));
    const size_t e = std::min(b + nb, nn);
    for (size_t s = b; s < e; ++s) {
      // The pivot is a fresh sum of the exit rates, never an updated
      // diagonal: that is what keeps it accurate.
      double r = 0.0;
      if (sink) {
        for (size_t j = s + 1; j + 1 < nn; ++j) r += At(a, nn, s, j);
        held[s] = r;
        if (s + 1 < nn) r += At(a, nn, s, nn - 1);
      } else {
        for (size_t j = s + 1; j < nn; ++j) r += At(a, nn, s, j);
      }
      pivot[s] = r;
      if (s + 1 == nn) break;
      if (!(r > 0.0)) return SpectrumStatus::kReducible;
      for (size_t j = s + 1; j < nn; ++j) At(a, nn, s, j) /= r;
      // Rows s+1 .. e-1 of the panel, every active column.
      if (s + 1 < e) {
        for (size_t j = s + 1; j < nn; ++j) {
          const double bj = At(a, nn, s, j);
          if (bj == 0.0) continue;
          double* col = a + j * nn;
          const double* cs = a + s * nn;
          for (size_t t = s + 1; t < e; ++t) col[t] += cs[t] * bj;
        }
      }
      // Columns s+1 .. e-1 of the panel below it.
      for (size_t j = s + 1; j < e; ++j) {
        const double bj = At(a, nn, s, j);
        if (bj == 0.0) continue;
        double* col = a + j * nn;
        const double* cs = a + s * nn;
        for (size_t i = e; i < nn; ++i) col[i] += cs[i] * bj;
      }
    }
    if (e < nn) {
      const int m = static_cast<int>(nn - e), k = static_cast<int>(e - b), ld = n;
      const double one = 1.0;
      dgemm_("N", "N", &m, &m, &k, &one, a + b * nn + e, &ld, a + e * nn + b, &ld, &one,
             a + e * nn + e, &ld, 1, 1);
    }
  }

  // p8 by back-substitution, state by state from the last: the population
  // flowing into s balances what leaves it, p_s r_s = sum_{i>s} p_i q(i, s).
  // With a sink the reduced transient rates stay in detailed balance with
  // the transient equilibrium (an elimination keeps that), so the same
  // holds with the pivot less the leak; nothing flows out of the sink.
  std::vector<double> p(nn, 0.0);
  const size_t last = sink ? nn - 2 : nn - 1;
  p[last] = 1.0;
  for (size_t s = last; s-- > 0;) {
    const double* cs = a + s * nn;
    double flow = 0.0;
    for (size_t i = s + 1; i <= last; ++i) flow += p[i] * cs[i];
    const double r = sink ? held[s] : pivot[s];
    if (!(r > 0.0)) return SpectrumStatus::kReducible;
    p[s] = flow / r;
  }
  double total = 0.0;
  for (double x : p) total += x;
  factor.p8.assign(nn, 0.0);
  for (size_t s = 0; s < nn; ++s) factor.p8[factor.order[s]] = p[s] / total;

  // X(s, s) = sqrt(r_s), X(i, s) = -sqrt(q(s, i) q(i, s) / r_s) = -sqrt(b(s, i)) sqrt(q(i, s))
  // for i > s: the geometric mean of the two directions, a square root each
  // so that no product leaves the range. Tiles of columns read the rows of b
  // contiguously.
  constexpr size_t kTile = 16;
  for (size_t s0 = 0; s0 + 1 < nn; s0 += kTile) {
    const size_t s1 = std::min(s0 + kTile, nn - 1);
    for (size_t i = s0 + 1; i < nn; ++i) {
      const double* brow = a + i * nn;  // b(s, i) for s < i
      for (size_t s = s0; s < std::min(s1, i); ++s) {
        double& x = a[s * nn + i];
        x = -std::sqrt(brow[s]) * std::sqrt(x);
      }
    }
    for (size_t s = s0; s < s1; ++s) {
      double* col = a + s * nn;
      std::fill(col, col + s, 0.0);
      col[s] = std::sqrt(pivot[s]);
    }
  }
  std::fill(a + (nn - 1) * nn, a + nn * nn, 0.0);
  return SpectrumStatus::kOk;
}

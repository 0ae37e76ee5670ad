// Quasi-stationary reduction: the Schur complement of the eliminated states,
// either in blocks through a dense inverse and two BLAS products, or one state
// at a time by rank-one updates without any inverse.
#include "input/reduce.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <vector>

#include "base/fatal.h"
#include "matrix/dense.h"
#include "matrix/mx_print.h"

namespace {

// Makes every column sum to zero: the input diagonal carries no information
// the reduction may trust.
void RebuildDiagonal(std::vector<double>& mat, size_t n) {
  std::vector<double> sums(n, 0.0);
  for (size_t j = 0; j < n; ++j) mat[j * n + j] = 0.0;
  // Row by row keeps the summation order of each column (row 0 first) while
  // streaming the matrix in memory order.
  for (size_t i = 0; i < n; ++i) {
    const double* row = mat.data() + i * n;
    for (size_t j = 0; j < n; ++j) sums[j] += row[j];
  }
  for (size_t j = 0; j < n; ++j) mat[j * n + j] = -sums[j];
}

// Every eliminated rate is mixed into every kept one: a rate that is not a
// finite number would spread through the reduced matrix unseen, in whatever
// arithmetic the elimination runs. The diagonal is rebuilt from the others,
// so only they are checked. `what` names the rates in the message.
void CheckRates(const std::vector<double>& mat, size_t n, const char* what) {
  for (size_t i = 0; i < n; ++i) {
    for (size_t j = 0; j < n; ++j) {
      const double x = mat[i * n + j];
      if (i != j && !std::isfinite(x)) {
        Fatal(1, "ERROR: quasi-stationary reduction: %s from state %zu to state %zu is %g\n", what,
              j + 1, i + 1, x);
      }
    }
  }
}

// States eliminated per panel, and columns per tile of the deferred update.
constexpr size_t kPanel = 32;
constexpr size_t kTileColumns = 256;

// Eliminates the last state repeatedly down to m states; each step is the
// rank-one update a[i][j] = (a[l][j] * h) * a[i][l] + a[i][j], h = -1/a[l][l].
//
// A plain step streams the whole matrix through memory. Here the steps come
// in panels of up to kPanel states: within a panel only the panel's own rows
// and columns are updated step by step (later steps of the panel read only
// those), and the kept block receives the panel's updates afterwards, tile by
// tile while it sits in cache. Every entry still sees the same operations in
// the same order as with one step at a time.
//
// Works inside the original n x n buffer (row stride n) and compacts once at
// the end, so no step copies the matrix.
void ReduceOneByOne(const RunOptions& opts, std::vector<double>& mat, int n, int m) {
  const size_t stride = static_cast<size_t>(n);
  double* a = mat.data();
  std::vector<double> rows(kPanel * stride);  // row t: a[l][j] * h of step t
  std::vector<double> cols(stride * kPanel);  // cols[i * kPanel + t] = a[i][l] of step t

  for (int c = n; c > m;) {
    const size_t nb = std::min(kPanel, static_cast<size_t>(c - m));
    const size_t q = static_cast<size_t>(c) - nb;  // the kept block is q x q
    for (size_t t = 0; t < nb; ++t) {
      const size_t l = static_cast<size_t>(c) - 1 - t;
      // A state that nothing leaves (pivot 0) cannot be eliminated.
      const double pivot = a[l * stride + l];
      if (pivot == 0.0 || !std::isfinite(pivot)) {
        Fatal(1, "ERROR: quasi-stationary reduction: state %d cannot be eliminated (pivot %g)\n",
              static_cast<int>(l) + 1, pivot);
      }
      const double h = -1.0 / pivot;
      double* r = rows.data() + t * stride;
      for (size_t j = 0; j < l; ++j) r[j] = a[l * stride + j] * h;
      for (size_t i = 0; i < q; ++i) {
        double* row = a + i * stride;
        const double f = row[l];
        cols[i * kPanel + t] = f;
        for (size_t j = q; j < l; ++j) row[j] = r[j] * f + row[j];
      }
      for (size_t i = q; i < l; ++i) {
        double* row = a + i * stride;
        const double f = row[l];
        for (size_t j = 0; j < l; ++j) row[j] = r[j] * f + row[j];
      }
      const int dim = static_cast<int>(l);
      if (!opts.quiet && dim % 100 == 0) fprintf(stderr, "%d done...\n", dim);
    }

    for (size_t j0 = 0; j0 < q; j0 += kTileColumns) {
      const size_t j1 = std::min(q, j0 + kTileColumns);
      for (size_t i = 0; i < q; ++i) {
        double* row = a + i * stride;
        const double* f = cols.data() + i * kPanel;
        size_t t = 0;
        // Four steps per pass keep the entry in a register between them.
        for (; t + 4 <= nb; t += 4) {
          const double* r0 = rows.data() + t * stride;
          const double* r1 = r0 + stride;
          const double* r2 = r1 + stride;
          const double* r3 = r2 + stride;
          for (size_t j = j0; j < j1; ++j) {
            double v = row[j];
            v = r0[j] * f[t] + v;
            v = r1[j] * f[t + 1] + v;
            v = r2[j] * f[t + 2] + v;
            v = r3[j] * f[t + 3] + v;
            row[j] = v;
          }
        }
        for (; t < nb; ++t) {
          const double* r = rows.data() + t * stride;
          for (size_t j = j0; j < j1; ++j) row[j] = r[j] * f[t] + row[j];
        }
      }
    }
    c = static_cast<int>(q);
  }

  const size_t sm = static_cast<size_t>(m);
  for (size_t i = 1; i < sm; ++i) std::memmove(a + i * sm, a + i * stride, sm * sizeof(double));
  mat.resize(sm * sm);
  mat.shrink_to_fit();
}

}  // namespace

void MxReduceBlock(InputContext& ctx, std::vector<double>& m_mat, int n, int m) {
  const size_t sn = static_cast<size_t>(n);
  const size_t sm = static_cast<size_t>(m);
  const size_t k = sn - sm;
  const double* a = m_mat.data();

  std::vector<double> c_gb(sm * k);
  std::vector<double> c_bg(k * sm);
  std::vector<double> bb(k * k);
  for (size_t i = 0; i < sm; ++i) {
    std::memcpy(&c_gb[i * k], a + i * sn + sm, k * sizeof(double));
  }
  for (size_t i = 0; i < k; ++i) {
    std::memcpy(&c_bg[i * sm], a + (sm + i) * sn, sm * sizeof(double));
    std::memcpy(&bb[i * k], a + (sm + i) * sn + sm, k * sizeof(double));
  }

  // A singular block (an eliminated state that nothing leaves, say) has no
  // quasi-stationary elimination; going on with what the inverse left behind
  // would print a plausible wrong matrix. An exact zero first pivot passes
  // the inverse's threshold but leaves non-finite entries.
  auto finite = [](double x) { return std::isfinite(x); };
  const bool inverted = MxInverse(bb.data(), static_cast<int>(k), ctx.opts.feps) == 0 &&
                        std::all_of(bb.begin(), bb.end(), finite);
  if (!inverted) {
    Fatal(1, "ERROR: quasi-stationary reduction: the block of eliminated states is singular\n");
  }
  std::vector<double> t(sm * k);
  MxGemm(m, static_cast<int>(k), static_cast<int>(k), c_gb.data(), bb.data(), t.data());
  std::vector<double>().swap(bb);
  std::vector<double> s(sm * sm);
  MxGemm(m, m, static_cast<int>(k), t.data(), c_bg.data(), s.data());
  if (ctx.opts.verbose) MxPrintBraced(s.data(), "gb*bb-1*bg", m, m, stderr);

  std::vector<double> reduced(sm * sm);
  for (size_t i = 0; i < sm; ++i) {
    for (size_t j = 0; j < sm; ++j) reduced[i * sm + j] = a[i * sn + j] - s[i * sm + j];
  }
  m_mat.swap(reduced);
}

int MxReduce(InputContext& ctx, std::vector<double>& m_mat, int m, int n, int b) {
  if (m < 1) m = 1;  // the options never allow fewer; keeps the loops in bounds
  if (n <= m) return n;
  if (b < 1) b = 1;
  CheckRates(m_mat, static_cast<size_t>(n), "the rate");
  if (!ctx.opts.quiet) fprintf(stderr, "decreasing %d to %d\n", n, m);
  if (ctx.reduce != nullptr) {
    ctx.reduce(ctx.opts, m_mat, n, m, b);
  } else {
    RebuildDiagonal(m_mat, static_cast<size_t>(n));
    if (b == 1) {
      ReduceOneByOne(ctx.opts, m_mat, n, m);
    } else {
      while (n - b > m) {
        MxReduceBlock(ctx, m_mat, n, n - b);
        if (!ctx.opts.quiet) fprintf(stderr, "%d done...\n", n - b);
        n -= b;
      }
      MxReduceBlock(ctx, m_mat, n, m);
    }
  }
  // A nearly singular block can still overflow; no table is built from that.
  CheckRates(m_mat, static_cast<size_t>(m), "the reduced rate");
  return m;
}

#include "spectral/one_sided_jacobi.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <limits>
#include <vector>

#include "matrix/lapack.h"

namespace {

constexpr double kEps = std::numeric_limits<double>::epsilon();

// Rotates the pair (p, q) if the stopping test says so; returns whether it
// did. nrm holds the squared column norms, kept fresh after every rotation.
inline bool RotatePair(size_t m, double* xp, double* xq, double& nrm_p, double& nrm_q,
                       JacobiStop stop, double tol) {
  double g = 0.0, ga = 0.0;
  for (size_t i = 0; i < m; ++i) {
    const double t = xp[i] * xq[i];
    g += t;
    ga += std::fabs(t);
  }
  if (g == 0.0) return false;
  const double level =
      stop == JacobiStop::kComponentwise ? ga : std::sqrt(nrm_p) * std::sqrt(nrm_q);
  if (std::fabs(g) <= tol * level) return false;
  // The rotation that zeroes the pair's product, its smaller angle.
  const double zeta = (nrm_q - nrm_p) / (2.0 * g);
  const double t = std::fabs(zeta) < 1e150
                       ? std::copysign(1.0, zeta) / (std::fabs(zeta) + std::sqrt(1.0 + zeta * zeta))
                       : 0.5 / zeta;
  const double c = 1.0 / std::sqrt(1.0 + t * t), s = c * t;
  double np = 0.0, nq = 0.0;
  for (size_t i = 0; i < m; ++i) {
    const double a = xp[i], b = xq[i];
    const double u = c * a - s * b, v = s * a + c * b;
    xp[i] = u;
    xq[i] = v;
    np += u * u;
    nq += v * v;
  }
  nrm_p = np;
  nrm_q = nq;
  return true;
}

// Euclidean norm without overflow or underflow of the squares.
double Norm(size_t m, const double* x) {
  double big = 0.0;
  for (size_t i = 0; i < m; ++i) big = std::max(big, std::fabs(x[i]));
  if (big == 0.0 || !std::isfinite(big)) return big;
  double sum = 0.0;
  for (size_t i = 0; i < m; ++i) {
    const double y = x[i] / big;
    sum += y * y;
  }
  return big * std::sqrt(sum);
}

// The blocked sweep. Columns are taken in blocks of nb. A pair of blocks
// (I, J) is tested on its cross Gram matrix X_I^T X_J and, for the
// componentwise stop, |X_I|^T |X_J| (GEMMs; |X| is kept beside X). While X_I
// is unchanged, one product of X_I with all later columns tests every pair of
// its row at once. A pair that fails gets the Gram matrix G of its 2nb
// columns, a cyclic two-sided Jacobi on G accumulates the rotations W, and
// X_IJ <- X_IJ W is one GEMM. Each product in G is at its rounding level
// when G is made, so the first rotation of every pair is as accurate as the
// one-sided one; the next test is made on X again, so the stop is decided
// on X itself, never on G. A block alone is tested and rotated the same way
// once per sweep (the pairs inside it).
class BlockedSweeper {
 public:
  BlockedSweeper(size_t m, size_t k, double* x, size_t ld, const JacobiOptions& options, double tol)
      : m_(m),
        k_(k),
        x_(x),
        ld_(ld),
        nb_(static_cast<size_t>(options.block)),
        tol_(tol),
        componentwise_(options.stop == JacobiStop::kComponentwise),
        nrm_(k),
        abs_x_(componentwise_ ? m * k : 0),
        g_(4 * nb_ * nb_),
        a_(4 * nb_ * nb_),
        w_(4 * nb_ * nb_),
        t_(m * 2 * nb_),
        cross_g_(nb_ * k),
        cross_a_(nb_ * k) {
    for (size_t j = 0; j < k_; ++j) Refresh(j, 1);
    SortColumns();
  }

  // Columns in descending order of their norms, the order the converged
  // columns take anyway: two sweeps fewer on stiff landscapes. In place,
  // along the cycles of the permutation, with one column of scratch.
  void SortColumns() {
    std::vector<size_t> order(k_);
    for (size_t j = 0; j < k_; ++j) order[j] = j;
    std::stable_sort(order.begin(), order.end(),
                     [&](size_t a, size_t b) { return nrm_[a] > nrm_[b]; });
    std::vector<double> tmp(m_);
    std::vector<char> done(k_, 0);
    for (size_t start = 0; start < k_; ++start) {
      if (done[start] || order[start] == start) continue;
      std::copy(Col(start), Col(start) + m_, tmp.begin());
      for (size_t j = start;;) {
        done[j] = 1;
        const size_t src = order[j];
        if (src == start) {
          std::copy(tmp.begin(), tmp.end(), Col(j));
          break;
        }
        std::copy(Col(src), Col(src) + m_, Col(j));
        j = src;
      }
    }
    for (size_t j = 0; j < k_; ++j) Refresh(j, 1);
  }

  // One sweep; returns the number of blocks and pairs of blocks rotated.
  size_t Sweep() {
    size_t rotated = 0;
    const size_t blocks = (k_ + nb_ - 1) / nb_;
    for (size_t bi = 0; bi < blocks; ++bi) {
      const size_t i0 = bi * nb_, li = std::min(nb_, k_ - i0);
      if (Block(i0, li)) ++rotated;
      if (bi + 1 == blocks) break;
      // Cross products of X_I with all later columns: column c of the
      // li x (k - first) result belongs to column first + c of X. The
      // levels |X_I|^T |X_J| only once some pair passes the norm-wise test
      // (failing it fails the componentwise one too, as the level is at
      // most |x_p| |x_q|): early sweeps do without them.
      // The buffers hold columns first .. products_end - 1 (and levels up to
      // levels_end) as long as X_I has not moved.
      size_t first = (bi + 1) * nb_, products_end = k_, levels_end = first;
      CrossProducts(i0, li, first, k_ - first, cross_g_.data());
      for (size_t bj = bi + 1; bj < blocks; ++bj) {
        const size_t j0 = bj * nb_, lj = std::min(nb_, k_ - j0);
        if (j0 + lj > products_end) {
          // X_I moved since the row's products: this pair's own.
          first = j0;
          products_end = j0 + lj;
          levels_end = j0;
          CrossProducts(i0, li, j0, lj, cross_g_.data());
        }
        const double* cg = cross_g_.data() + (j0 - first) * li;
        const double* ca = nullptr;
        if (!NormwiseFails(i0, li, j0, lj, cg)) {
          if (!componentwise_) continue;
          if (j0 + lj > levels_end) {
            CrossLevels(i0, li, j0, products_end - j0, cross_a_.data() + (j0 - first) * li);
            levels_end = products_end;
          }
          ca = cross_a_.data() + (j0 - first) * li;
          if (!ComponentwiseFails(li, lj, cg, ca)) continue;
        }
        Pair(i0, li, j0, lj, cg, ca);
        ++rotated;
        products_end = 0;  // X_I moved
      }
    }
    return rotated;
  }

 private:
  double* Col(size_t j) { return x_ + j * ld_; }
  double* AbsCol(size_t j) { return abs_x_.data() + j * m_; }

  // |X| and the squared norms of columns j .. j+count-1.
  void Refresh(size_t j, size_t count) {
    for (size_t c = j; c < j + count; ++c) {
      const double* col = Col(c);
      double s = 0.0;
      for (size_t i = 0; i < m_; ++i) s += col[i] * col[i];
      nrm_[c] = s;
      if (componentwise_) {
        double* abs_col = AbsCol(c);
        for (size_t i = 0; i < m_; ++i) abs_col[i] = std::fabs(col[i]);
      }
    }
  }

  // g = X_I^T X_J, li x lj, ld li.
  void CrossProducts(size_t i0, size_t li, size_t j0, size_t lj, double* g) {
    const int m = static_cast<int>(m_), rows = static_cast<int>(li), cols = static_cast<int>(lj);
    const int ld = static_cast<int>(ld_);
    const double one = 1.0, zero = 0.0;
    dgemm_("T", "N", &rows, &cols, &m, &one, Col(i0), &ld, Col(j0), &ld, &zero, g, &rows, 1, 1);
  }

  // a = |X_I|^T |X_J|, li x lj, ld li: the rounding levels of the products.
  void CrossLevels(size_t i0, size_t li, size_t j0, size_t lj, double* a) {
    const int m = static_cast<int>(m_), rows = static_cast<int>(li), cols = static_cast<int>(lj);
    const double one = 1.0, zero = 0.0;
    dgemm_("T", "N", &rows, &cols, &m, &one, AbsCol(i0), &m, AbsCol(j0), &m, &zero, a, &rows, 1, 1);
  }

  bool Fails(double g, double level) const { return g != 0.0 && std::fabs(g) > tol_ * level; }

  bool NormwiseFails(size_t i0, size_t li, size_t j0, size_t lj, const double* g) const {
    for (size_t q = 0; q < lj; ++q) {
      const double nq = std::sqrt(nrm_[j0 + q]);
      for (size_t p = 0; p < li; ++p) {
        if (Fails(g[q * li + p], std::sqrt(nrm_[i0 + p]) * nq)) return true;
      }
    }
    return false;
  }

  bool ComponentwiseFails(size_t li, size_t lj, const double* g, const double* a) const {
    for (size_t q = 0; q < lj; ++q) {
      for (size_t p = 0; p < li; ++p) {
        if (Fails(g[q * li + p], a[q * li + p])) return true;
      }
    }
    return false;
  }

  // G_II (w_ columns from column c of g_, ld w) by SYRK, both triangles.
  void Diagonal(size_t i0, size_t li, size_t c, size_t w) {
    const int m = static_cast<int>(m_), ni = static_cast<int>(li), wi = static_cast<int>(w);
    const int ld = static_cast<int>(ld_);
    const double one = 1.0, zero = 0.0;
    double* g = g_.data() + c * w + c;
    dsyrk_("U", "T", &ni, &m, &one, Col(i0), &ld, &zero, g, &wi, 1, 1);
    for (size_t q = 0; q < li; ++q) {
      for (size_t p = q + 1; p < li; ++p) g[q * w + p] = g[p * w + q];
    }
  }

  // The pairs inside block I: tested on G_II and |X_I|^T |X_I|, rotated if
  // one fails.
  bool Block(size_t i0, size_t li) {
    Diagonal(i0, li, 0, li);
    if (componentwise_) {
      const int m = static_cast<int>(m_), ni = static_cast<int>(li);
      const double one = 1.0, zero = 0.0;
      dsyrk_("U", "T", &ni, &m, &one, AbsCol(i0), &m, &zero, a_.data(), &ni, 1, 1);
      for (size_t q = 0; q < li; ++q) {
        for (size_t p = q + 1; p < li; ++p) a_[q * li + p] = a_[p * li + q];
      }
    } else {
      std::fill(a_.begin(), a_.begin() + li * li, -1.0);
    }
    if (!InnerJacobi(li)) return false;
    Apply(i0, li, 0, 0);
    return true;
  }

  // A failing pair of blocks, its cross products cg and levels ca (li x lj;
  // ca null: norm-wise levels) in hand. Inside each block the inner Jacobi
  // uses the norm-wise level: those pairs are tested for themselves by Block
  // in every sweep.
  void Pair(size_t i0, size_t li, size_t j0, size_t lj, const double* cg, const double* ca) {
    const size_t w = li + lj;
    Diagonal(i0, li, 0, w);
    Diagonal(j0, lj, li, w);
    std::fill(a_.begin(), a_.begin() + w * w, -1.0);
    for (size_t q = 0; q < lj; ++q) {
      for (size_t p = 0; p < li; ++p) {
        g_[(li + q) * w + p] = g_[p * w + li + q] = cg[q * li + p];
        if (ca != nullptr) a_[(li + q) * w + p] = a_[p * w + li + q] = ca[q * li + p];
      }
    }
    if (InnerJacobi(w)) Apply(i0, li, j0, lj);
  }

  // X_IJ <- X_IJ W: T = X_I W(0:li, :) + X_J W(li:w, :), then back into X.
  void Apply(size_t i0, size_t li, size_t j0, size_t lj) {
    const size_t w = li + lj;
    const int m = static_cast<int>(m_), ld = static_cast<int>(ld_), wi = static_cast<int>(w);
    const int ni = static_cast<int>(li), nj = static_cast<int>(lj);
    const double one = 1.0, zero = 0.0;
    dgemm_("N", "N", &m, &wi, &ni, &one, Col(i0), &ld, w_.data(), &wi, &zero, t_.data(), &m, 1, 1);
    if (lj > 0) {
      dgemm_("N", "N", &m, &wi, &nj, &one, Col(j0), &ld, w_.data() + li, &wi, &one, t_.data(), &m,
             1, 1);
    }
    for (size_t c = 0; c < w; ++c) {
      const size_t j = c < li ? i0 + c : j0 + (c - li);
      std::copy(t_.data() + c * m_, t_.data() + (c + 1) * m_, Col(j));
    }
    Refresh(i0, li);
    if (lj > 0) Refresh(j0, lj);
  }

  // Cyclic Jacobi on the w x w Gram matrix g_, rotations accumulated into
  // w_. The level of pair (p, q) is a_(p, q) (fixed at its value on entry),
  // or the norm-wise one where a_ holds -1. Returns whether it rotated.
  bool InnerJacobi(size_t w) {
    double* g = g_.data();
    double* wm = w_.data();
    std::fill(wm, wm + w * w, 0.0);
    for (size_t c = 0; c < w; ++c) wm[c * w + c] = 1.0;
    bool any = false;
    for (int sweep = 0; sweep < kInnerSweeps; ++sweep) {
      bool rotated = false;
      for (size_t p = 0; p + 1 < w; ++p) {
        for (size_t q = p + 1; q < w; ++q) {
          const double gpq = g[q * w + p];
          const double app = g[p * w + p], aqq = g[q * w + q];
          const double a = a_[q * w + p];
          const double level = a >= 0.0 ? a : std::sqrt(app) * std::sqrt(aqq);
          if (!Fails(gpq, level)) continue;
          const double zeta = (aqq - app) / (2.0 * gpq);
          const double t =
              std::fabs(zeta) < 1e150
                  ? std::copysign(1.0, zeta) / (std::fabs(zeta) + std::sqrt(1.0 + zeta * zeta))
                  : 0.5 / zeta;
          const double c = 1.0 / std::sqrt(1.0 + t * t), s = c * t;
          double* gp = g + p * w;
          double* gq = g + q * w;
          for (size_t r = 0; r < w; ++r) {
            const double x = gp[r], y = gq[r];
            gp[r] = c * x - s * y;
            gq[r] = s * x + c * y;
          }
          for (size_t r = 0; r < w; ++r) {
            g[r * w + p] = gp[r];
            g[r * w + q] = gq[r];
          }
          gp[p] = app - t * gpq;
          gq[q] = aqq + t * gpq;
          gp[q] = gq[p] = 0.0;
          double* wp = wm + p * w;
          double* wq = wm + q * w;
          for (size_t r = 0; r < w; ++r) {
            const double x = wp[r], y = wq[r];
            wp[r] = c * x - s * y;
            wq[r] = s * x + c * y;
          }
          rotated = any = true;
        }
      }
      if (!rotated) break;
    }
    return any;
  }

  // G only approximates the products after its first rotations: a few
  // sweeps on it are all that pay; the next test on X says what is left.
  static constexpr int kInnerSweeps = 3;
  size_t m_, k_;
  double* x_;
  size_t ld_, nb_;
  double tol_;
  bool componentwise_;
  std::vector<double> nrm_, abs_x_, g_, a_, w_, t_, cross_g_, cross_a_;
};

// Singular values and the normalised columns.
JacobiResult Finish(size_t m, size_t k, double* x, size_t ld, double* sigma, JacobiResult result) {
  for (size_t j = 0; j < k; ++j) {
    double* col = x + j * ld;
    sigma[j] = Norm(m, col);
    if (sigma[j] > 0.0) {
      for (size_t i = 0; i < m; ++i) col[i] /= sigma[j];
    }
  }
  return result;
}

}  // namespace

JacobiResult OneSidedJacobi(int m, int k, double* x, int ld, double* sigma,
                            const JacobiOptions& options) {
  const size_t mm = static_cast<size_t>(m), kk = static_cast<size_t>(k);
  const size_t lda = static_cast<size_t>(ld);
  double tol = options.tol;
  if (tol <= 0.0) tol = options.stop == JacobiStop::kComponentwise ? m * kEps : std::sqrt(m) * kEps;
  std::vector<double> nrm(kk);
  for (size_t j = 0; j < kk; ++j) {
    const double* col = x + j * lda;
    double s = 0.0;
    for (size_t i = 0; i < mm; ++i) s += col[i] * col[i];
    nrm[j] = s;
  }
  JacobiResult result;
  const size_t nb = static_cast<size_t>(std::max(1, options.block));
  if (nb > 1 && kk > nb) {
    BlockedSweeper sweeper(mm, kk, x, lda, options, tol);
    while (result.sweeps < options.max_sweeps) {
      ++result.sweeps;
      if (sweeper.Sweep() == 0) {
        result.converged = true;
        break;
      }
    }
    return Finish(mm, kk, x, lda, sigma, result);
  }
  // Cyclic sweeps, pairs taken block by block so that the columns of two
  // blocks stay in cache while all their pairs are rotated.
  while (result.sweeps < options.max_sweeps) {
    ++result.sweeps;
    size_t rotations = 0;
    for (size_t bi = 0; bi < kk; bi += nb) {
      for (size_t bj = bi; bj < kk; bj += nb) {
        const size_t pe = std::min(bi + nb, kk), qe = std::min(bj + nb, kk);
        for (size_t p = bi; p < pe; ++p) {
          for (size_t q = bj == bi ? p + 1 : bj; q < qe; ++q) {
            if (RotatePair(mm, x + p * lda, x + q * lda, nrm[p], nrm[q], options.stop, tol)) {
              ++rotations;
            }
          }
        }
      }
    }
    if (rotations == 0) {
      result.converged = true;
      break;
    }
  }
  return Finish(mm, kk, x, lda, sigma, result);
}

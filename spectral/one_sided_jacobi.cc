#include "spectral/one_sided_jacobi.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <limits>
#include <utility>
#include <vector>

#include "base/step_hook.h"
#include "matrix/lapack.h"

#ifdef _OPENMP
#include <omp.h>
#endif

// OpenBLAS's own thread controls, when OpenBLAS is the BLAS (weak: absent
// with another vendor).
extern "C" {
int openblas_get_parallel(void) __attribute__((weak));
int openblas_get_num_threads(void) __attribute__((weak));
void openblas_set_num_threads(int) __attribute__((weak));
}

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

// (a, b) <- (c a - s b, s a + c b), element by element; a and b are
// distinct lines, which lets the loop run in SIMD lanes.
inline void RotateLines(size_t w, double* __restrict a, double* __restrict b, double c, double s) {
#pragma omp simd
  for (size_t r = 0; r < w; ++r) {
    const double x = a[r], y = b[r];
    a[r] = c * x - s * y;
    b[r] = s * x + c * y;
  }
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

// Threads of the blocked sweep: OpenMP's, no more than OpenBLAS would use
// (OPENBLAS_NUM_THREADS stays the one knob). While they run, a BLAS built on
// its own pthreads is held to one thread per call, so that two threads each
// calling it do not oversubscribe the cores; an OpenMP BLAS does that by
// itself inside a parallel region.
class SweepThreads {
 public:
  SweepThreads() {
#ifdef _OPENMP
    count_ = omp_get_max_threads();
    if (openblas_get_num_threads != nullptr) count_ = std::min(count_, openblas_get_num_threads());
    count_ = std::max(count_, 1);
    if (count_ > 1 && openblas_get_parallel != nullptr && openblas_set_num_threads != nullptr &&
        openblas_get_parallel() == 1) {
      blas_threads_ = openblas_get_num_threads();
      openblas_set_num_threads(1);
    }
#endif
  }
  ~SweepThreads() {
    if (blas_threads_ > 0) openblas_set_num_threads(blas_threads_);
  }
  SweepThreads(const SweepThreads&) = delete;
  SweepThreads& operator=(const SweepThreads&) = delete;
  int count() const { return count_; }

 private:
  int count_ = 1;
  int blas_threads_ = 0;
};

using Versions = std::pair<unsigned, unsigned>;

// Scratch of one thread of the blocked sweep.
struct GroupScratch {
  std::vector<double> g, a, w, t;        // 2nb x 2nb Gram, levels, rotations; m x 2nb product
  std::vector<double> cross_g, cross_a;  // nb x nb
  std::vector<double> abs;               // m x 2nb: |X| of the blocks under test
};

// The blocked sweep. Columns are taken in blocks of nb. A pair of blocks
// (I, J) is tested on its cross Gram matrix X_I^T X_J, and, for the
// componentwise stop once the norm-wise test passes, on |X_I|^T |X_J| (GEMMs;
// |X| of the two blocks is made for the test). A pair that fails gets the Gram matrix G of its 2nb
// columns, a cyclic two-sided Jacobi on G accumulates the rotations W, and
// X_IJ <- X_IJ W is one GEMM. Each product in G is at its rounding level
// when G is made, so the first rotation of every pair is as accurate as the
// one-sided one; the next test is made on X again, so the stop is decided on
// X itself, never on G. A block alone is tested and rotated the same way
// once per sweep (the pairs inside it). The pairs of blocks go in rounds of
// disjoint pairs (round robin), each round shared among the threads.
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
        blocks_((k + nb_ - 1) / nb_),
        version_(blocks_, 1),
        passed_at_(blocks_ * blocks_, Versions{0, 0}) {
    scratch_.resize(static_cast<size_t>(threads_.count()));
    for (GroupScratch& s : scratch_) {
      s.g.resize(4 * nb_ * nb_);
      s.a.resize(4 * nb_ * nb_);
      s.w.resize(4 * nb_ * nb_);
      s.t.resize(m * 2 * nb_);
      s.cross_g.resize(nb_ * nb_);
      s.cross_a.resize(nb_ * nb_);
      if (componentwise_) s.abs.resize(m * 2 * nb_);
    }
    for (size_t j = 0; j < k_; ++j) Refresh(j, 1);
    if (options.sort_columns) SortColumns();
  }

  // One sweep; returns the number of blocks and pairs of blocks rotated.
  size_t Sweep() {
    const long blocks = static_cast<long>(blocks_);
    long rotated = 0;
#pragma omp parallel for schedule(dynamic) reduction(+ : rotated) num_threads(threads_.count())
    for (long bi = 0; bi < blocks; ++bi) {
      if (Block(Scratch(), static_cast<size_t>(bi))) ++rotated;
    }
    StepDone("diagonalising", -1.0);
    // Round robin: player `players` - 1 stays, the others turn; in round r
    // slot 0 pairs it with r, slot s the players r + s and r - s.
    const long players = blocks + (blocks & 1), turning = players - 1;
    for (long round = 0; round < turning; ++round) {
#pragma omp parallel for schedule(dynamic) reduction(+ : rotated) num_threads(threads_.count())
      for (long slot = 0; slot < players / 2; ++slot) {
        long a = slot == 0 ? turning : (round + slot) % turning;
        long b = slot == 0 ? round : (round - slot + turning) % turning;
        if (a >= blocks || b >= blocks) continue;  // the bye of an odd count
        if (a > b) std::swap(a, b);
        if (TestPair(Scratch(), static_cast<size_t>(a), static_cast<size_t>(b))) ++rotated;
      }
      StepDone("diagonalising", -1.0);
    }
    return static_cast<size_t>(rotated);
  }

 private:
  GroupScratch& Scratch() {
#ifdef _OPENMP
    return scratch_[static_cast<size_t>(omp_get_thread_num())];
#else
    return scratch_[0];
#endif
  }
  double* Col(size_t j) { return x_ + j * ld_; }
  size_t First(size_t block) const { return block * nb_; }
  size_t Width(size_t block) const { return std::min(nb_, k_ - block * nb_); }

  // The squared norms of columns j .. j+count-1.
  void Refresh(size_t j, size_t count) {
    for (size_t c = j; c < j + count; ++c) Measure(Col(c), c);
  }

  // Column c <- from (a column of scratch), then its squared norm.
  void Store(const double* __restrict from, size_t c) {
    std::copy(from, from + m_, Col(c));
    Measure(from, c);
  }

  // The squared norm of column c, whose values `col` holds. The sum runs
  // in SIMD lanes: a sum of squares needs no particular order, and the
  // serial one made this pass cost a third of the products'.
  void Measure(const double* __restrict col, size_t c) {
    double s = 0.0;
#pragma omp simd reduction(+ : s)
    for (size_t i = 0; i < m_; ++i) s += col[i] * col[i];
    nrm_[c] = s;
  }

  // |X| of columns j .. j+count-1 into the thread's scratch from column
  // `at` on (m x count, leading dimension m). Made when a test needs it
  // rather than kept beside X: the early sweeps never do, and X alone
  // stays in memory.
  double* Absolute(GroupScratch& s, size_t j, size_t count, size_t at) {
    double* __restrict out = s.abs.data() + at * m_;
    for (size_t c = 0; c < count; ++c) {
      const double* __restrict col = Col(j + c);
      double* __restrict dst = out + c * m_;
#pragma omp simd
      for (size_t i = 0; i < m_; ++i) dst[i] = std::fabs(col[i]);
    }
    return out;
  }

  // Columns in descending order of their norms, the order the converged
  // columns take anyway: fewer sweeps on stiff landscapes. In place, along
  // the cycles of the permutation, with one column of scratch.
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

  bool Fails(double g, double level) const { return g != 0.0 && std::fabs(g) > tol_ * level; }

  // A pair of blocks (or a block, bi == bj) that passed its test and whose
  // columns have not moved since passes again: its Gram matrix is the same.
  // Skipping it saves the tests of the last sweeps, where few blocks move.
  // Safe under the threads: a round's pairs are disjoint, and only the
  // thread holding a block rotates it.
  Versions Now(size_t bi, size_t bj) const { return Versions{version_[bi], version_[bj]}; }
  bool StillPasses(size_t bi, size_t bj) const {
    const Versions& v = passed_at_[bi * blocks_ + bj];
    return v.first != 0 && v == Now(bi, bj);
  }
  bool Pass(size_t bi, size_t bj) {
    passed_at_[bi * blocks_ + bj] = Now(bi, bj);
    return false;
  }

  // Tests the pair of blocks I < J and rotates it if it fails.
  bool TestPair(GroupScratch& s, size_t bi, size_t bj) {
    if (StillPasses(bi, bj)) return false;
    const size_t i0 = First(bi), li = Width(bi), j0 = First(bj), lj = Width(bj);
    const int m = static_cast<int>(m_), rows = static_cast<int>(li), cols = static_cast<int>(lj);
    const int ld = static_cast<int>(ld_);
    const double one = 1.0, zero = 0.0;
    dgemm_("T", "N", &rows, &cols, &m, &one, Col(i0), &ld, Col(j0), &ld, &zero, s.cross_g.data(),
           &rows, 1, 1);
    // Failing the norm-wise test fails the componentwise one too (the level
    // is at most |x_p| |x_q|): early sweeps need no levels.
    bool fails = false;
    for (size_t q = 0; q < lj && !fails; ++q) {
      const double nq = std::sqrt(nrm_[j0 + q]);
      for (size_t p = 0; p < li && !fails; ++p) {
        fails = Fails(s.cross_g[q * li + p], std::sqrt(nrm_[i0 + p]) * nq);
      }
    }
    const double* levels = nullptr;
    if (!fails) {
      if (!componentwise_) return Pass(bi, bj);
      double* abs_i = Absolute(s, i0, li, 0);
      double* abs_j = Absolute(s, j0, lj, li);
      dgemm_("T", "N", &rows, &cols, &m, &one, abs_i, &m, abs_j, &m, &zero, s.cross_a.data(), &rows,
             1, 1);
      for (size_t c = 0; c < li * lj && !fails; ++c) fails = Fails(s.cross_g[c], s.cross_a[c]);
      if (!fails) return Pass(bi, bj);
      levels = s.cross_a.data();
    }
    // The whole Gram matrix: cross products in hand, each block by SYRK.
    // Inside each block the inner Jacobi uses the norm-wise level: those
    // pairs are tested for themselves by Block in every sweep.
    const size_t w = li + lj;
    Diagonal(s, i0, li, 0, w);
    Diagonal(s, j0, lj, li, w);
    std::fill(s.a.begin(), s.a.begin() + w * w, -1.0);
    for (size_t q = 0; q < lj; ++q) {
      for (size_t p = 0; p < li; ++p) {
        s.g[(li + q) * w + p] = s.g[p * w + li + q] = s.cross_g[q * li + p];
        if (levels != nullptr) s.a[(li + q) * w + p] = s.a[p * w + li + q] = levels[q * li + p];
      }
    }
    if (InnerJacobi(s, w)) Apply(s, i0, li, j0, lj);
    return true;
  }

  // G_II into the w x w Gram matrix at row and column c, both triangles.
  void Diagonal(GroupScratch& s, size_t i0, size_t li, size_t c, size_t w) {
    const int m = static_cast<int>(m_), ni = static_cast<int>(li), wi = static_cast<int>(w);
    const int ld = static_cast<int>(ld_);
    const double one = 1.0, zero = 0.0;
    double* g = s.g.data() + c * w + c;
    dsyrk_("U", "T", &ni, &m, &one, Col(i0), &ld, &zero, g, &wi, 1, 1);
    for (size_t q = 0; q < li; ++q) {
      for (size_t p = q + 1; p < li; ++p) g[q * w + p] = g[p * w + q];
    }
  }

  // The pairs inside block I: tested on G_II and |X_I|^T |X_I|, rotated if
  // one fails.
  bool Block(GroupScratch& s, size_t bi) {
    if (StillPasses(bi, bi)) return false;
    const size_t i0 = First(bi), li = Width(bi);
    Diagonal(s, i0, li, 0, li);
    if (componentwise_) {
      const int m = static_cast<int>(m_), ni = static_cast<int>(li);
      const double one = 1.0, zero = 0.0;
      dsyrk_("U", "T", &ni, &m, &one, Absolute(s, i0, li, 0), &m, &zero, s.a.data(), &ni, 1, 1);
      for (size_t q = 0; q < li; ++q) {
        for (size_t p = q + 1; p < li; ++p) s.a[q * li + p] = s.a[p * li + q];
      }
    } else {
      std::fill(s.a.begin(), s.a.begin() + li * li, -1.0);
    }
    if (!InnerJacobi(s, li)) return Pass(bi, bi);
    Apply(s, i0, li, 0, 0);
    return true;
  }

  // X_IJ <- X_IJ W: T = X_I W(0:li, :) + X_J W(li:w, :), then back into X.
  void Apply(GroupScratch& s, size_t i0, size_t li, size_t j0, size_t lj) {
    const size_t w = li + lj;
    const int m = static_cast<int>(m_), ld = static_cast<int>(ld_), wi = static_cast<int>(w);
    const int ni = static_cast<int>(li), nj = static_cast<int>(lj);
    const double one = 1.0, zero = 0.0;
    dgemm_("N", "N", &m, &wi, &ni, &one, Col(i0), &ld, s.w.data(), &wi, &zero, s.t.data(), &m, 1,
           1);
    if (lj > 0) {
      dgemm_("N", "N", &m, &wi, &nj, &one, Col(j0), &ld, s.w.data() + li, &wi, &one, s.t.data(), &m,
             1, 1);
    }
    for (size_t c = 0; c < w; ++c) Store(s.t.data() + c * m_, c < li ? i0 + c : j0 + (c - li));
    ++version_[i0 / nb_];
    if (lj > 0) ++version_[j0 / nb_];
  }

  // Cyclic Jacobi on the w x w Gram matrix s.g, rotations accumulated into
  // s.w. The level of pair (p, q) is s.a(p, q) (fixed at its value on
  // entry), or the norm-wise one where s.a holds -1. Returns whether it
  // rotated.
  bool InnerJacobi(GroupScratch& s, size_t w) {
    double* g = s.g.data();
    double* wm = s.w.data();
    std::fill(wm, wm + w * w, 0.0);
    for (size_t c = 0; c < w; ++c) wm[c * w + c] = 1.0;
    bool any = false;
    for (int sweep = 0; sweep < kInnerSweeps; ++sweep) {
      bool rotated = false;
      for (size_t p = 0; p + 1 < w; ++p) {
        for (size_t q = p + 1; q < w; ++q) {
          const double gpq = g[q * w + p];
          const double app = g[p * w + p], aqq = g[q * w + q];
          const double a = s.a[q * w + p];
          const double level = a >= 0.0 ? a : std::sqrt(app) * std::sqrt(aqq);
          if (!Fails(gpq, level)) continue;
          const double zeta = (aqq - app) / (2.0 * gpq);
          const double t =
              std::fabs(zeta) < 1e150
                  ? std::copysign(1.0, zeta) / (std::fabs(zeta) + std::sqrt(1.0 + zeta * zeta))
                  : 0.5 / zeta;
          const double c = 1.0 / std::sqrt(1.0 + t * t), sn = c * t;
          double* gp = g + p * w;
          double* gq = g + q * w;
          RotateLines(w, gp, gq, c, sn);
          for (size_t r = 0; r < w; ++r) {
            g[r * w + p] = gp[r];
            g[r * w + q] = gq[r];
          }
          gp[p] = app - t * gpq;
          gq[q] = aqq + t * gpq;
          gp[q] = gq[p] = 0.0;
          RotateLines(w, wm + p * w, wm + q * w, c, sn);
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
  std::vector<double> nrm_;
  size_t blocks_;
  std::vector<unsigned> version_;    // by block: bumped by every rotation of its columns
  std::vector<Versions> passed_at_;  // by pair (I, J): the versions when it last passed
  SweepThreads threads_;
  std::vector<GroupScratch> scratch_;
};

}  // namespace

void NormalizeJacobiColumns(int m, int k, double* x, int ld, double* sigma) {
  const size_t mm = static_cast<size_t>(m), lda = static_cast<size_t>(ld);
  for (size_t j = 0; j < static_cast<size_t>(k); ++j) {
    double* col = x + j * lda;
    sigma[j] = Norm(mm, col);
    if (sigma[j] > 0.0) {
      for (size_t i = 0; i < mm; ++i) col[i] /= sigma[j];
    }
  }
}

JacobiResult OneSidedJacobi(int m, int k, double* x, int ld, double* sigma,
                            const JacobiOptions& options) {
  const JacobiResult result = OneSidedJacobiSweeps(m, k, x, ld, options);
  NormalizeJacobiColumns(m, k, x, ld, sigma);
  return result;
}

JacobiResult OneSidedJacobiSweeps(int m, int k, double* x, int ld, const JacobiOptions& options) {
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
    return result;
  }
  // Cyclic sweeps, pairs taken block by block so that the columns of two
  // blocks stay in cache while all their pairs are rotated.
  while (result.sweeps < options.max_sweeps) {
    ++result.sweeps;
    StepDone("diagonalising", -1.0);
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
  return result;
}

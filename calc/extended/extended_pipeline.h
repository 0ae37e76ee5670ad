// The pipeline after U is built, written once over the scalar T: the
// equilibrium p8, the symmetrisation, the eigen-decomposition, the population
// table, the first passage times and the quasi-stationary reduction.
//
// Included only by the calc/extended/extended_<type>.cc files. Each of them first
// specialises ScalarTraits<T> (and Eigen's NumTraits where the type lacks them;
// libqd's types through calc/extended/extended_qd_glue.h),
// then defines its stage table with StagesFor<T>(); the dispatch is in
// calc/extended/extended.cc.
//
// Why everything, and not just the eigensolver, runs in T: on a stiff
// landscape the slow eigenvalues are differences of diagonal entries that
// are sums of rates of very different size. Forming p8 or the diagonal of S
// in double already loses them, whatever the solver's precision.
#ifndef ZOLVANE_CALC_EXTENDED_EXTENDED_PIPELINE_H_
#define ZOLVANE_CALC_EXTENDED_EXTENDED_PIPELINE_H_

#include <Eigen/Dense>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <limits>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "base/status.h"
#include "calc/extended/extended.h"
#include "calc/extended/extended_stages.h"
#include "calc/model/calc.h"
#include "calc/model/distributions.h"
#include "calc/model/equilibrium.h"
#include "calc/model/matrix_files.h"
#include "calc/model/scalar_traits.h"
#include "calc/passage/first_passage_stage.h"
#include "calc/spectrum/absorbing_evecs.h"
#include "calc/spectrum/diagonalize.h"
#include "calc/spectrum/eigen_checks.h"
#include "calc/spectrum/finish_spectrum.h"
#include "calc/spectrum/stiffness.h"
#include "calc/spectrum/symmetrize.h"
#include "calc/table/iterate.h"
#include "calc/table/populations.h"
#include "calc/table/table_walk.h"
#include "elimination/quasi_stationary.h"
#include "matrix/mx_print.h"

namespace extended {

template <class T>
using Mat = Eigen::Matrix<T, Eigen::Dynamic, Eigen::Dynamic>;  // column-major
template <class T>
using Vec = Eigen::Matrix<T, Eigen::Dynamic, 1>;

template <class T>
double ToD(const T& x) {
  return ScalarTraits<T>::ToDouble(x);
}

// Row-major doubles of a T matrix, for the printers and files that the
// LAPACK path shares.
template <class T>
std::vector<double> RowMajor(const Mat<T>& a) {
  const Eigen::Index rows = a.rows(), cols = a.cols();
  std::vector<double> out(static_cast<size_t>(rows * cols));
  for (Eigen::Index i = 0; i < rows; ++i) {
    for (Eigen::Index j = 0; j < cols; ++j) out[static_cast<size_t>(i * cols + j)] = ToD(a(i, j));
  }
  return out;
}

template <class T>
std::vector<double> ToDoubles(const Vec<T>& v) {
  std::vector<double> out(static_cast<size_t>(v.size()));
  for (Eigen::Index i = 0; i < v.size(); ++i) out[static_cast<size_t>(i)] = ToD(v(i));
  return out;
}

// The generator in T from the off-diagonal rates of U (U[i*n+j] = rate j ->
// i). The diagonal is summed again in T: it is the one entry of a column that
// mixes rates of very different size. `plus_one` adds the --useplusI shift.
template <class T>
Mat<T> Generator(const std::vector<double>& U, int n, bool plus_one) {
  Mat<T> g(n, n);
  const size_t nn = static_cast<size_t>(n);
  for (int j = 0; j < n; ++j) {
    T sum(0);
    for (int i = 0; i < n; ++i) {
      if (i == j) continue;
      g(i, j) = T(U[static_cast<size_t>(i) * nn + static_cast<size_t>(j)]);
      sum += g(i, j);
    }
    g(j, j) = (plus_one ? T(1) : T(0)) - sum;
  }
  return g;
}

// p8 in T. The LAPACK path has already computed it in double and reported
// every error of the input (unsatisfiable balance, non-ergodic chain), so
// this repeats only the arithmetic: Boltzmann weights of the minima
// `records` when given (method A), else the local-balance walk on U; the
// unit vector on the absorbing state when there is one.
template <class T>
Vec<T> Equilibrium(const Calc& calc, const std::vector<double>& U,
                   const std::vector<QorpRecord>* records) {
  const int n = calc.dim();
  Vec<T> p8 = Vec<T>::Zero(n);
  if (n == 0) return p8;
  if (calc.numbering().absorbing_state != 0) {
    p8(n - 1) = T(1);
    return p8;
  }
  if (records != nullptr && static_cast<int>(records->size()) >= n) {
    BoltzmannWeights<T>(*records, n, calc.kT, true, p8);
    return p8;
  }
  const size_t nn = static_cast<size_t>(n);
  // The repeat never fails: the double path has judged the input.
  (void)BalanceWalk<T, false>(
      calc, n,
      [&U, nn](int c) {
        const size_t k = static_cast<size_t>(c);
        return RatesAtState{U.data() + k * nn, 1, U.data() + k, nn};
      },
      p8);
  const T sum = p8.sum();
  if (!ScalarTraits<T>::kHoldsNaN && sum == T(0)) {
    // IEEE types get inf and NaN weights here, which the symmetrisation
    // refuses; no weight at all leads GMP to the same refusal.
    return Vec<T>::Zero(n);
  }
  const T inv_sum = T(1) / sum;
  p8 *= inv_sum;
  return p8;
}

// ---------------------------------------------------------------------------
// Eigen-decomposition

// The spectrum in T, shaped as the double one (calc/model/spectrum.h), for n
// states and P = diag(p8):
template <class T>
struct Spectrum {
  // Descending, the stationary ones clamped; no --useplusI shift once
  // Diagonalize has returned.
  Vec<T> evals;
  // n x n; column k belongs to evals(k): the orthonormal eigenvectors of
  // S = P^-1/2 U P^1/2, or the unit right eigenvectors of U itself with an
  // absorbing state.
  Mat<T> evecs;
  // The diagonals of P^1/2 and P^-1/2; empty with an absorbing state.
  Vec<T> sqrt_p8;
  Vec<T> inv_sqrt_p8;
  // The equilibrium in T, which the table's convergence test compares with
  // (the double path gets p8 from the driver).
  Vec<T> p8;
};

// Eigenvalues of U with an absorbing state. The transient block usually obeys
// detailed balance, so a diagonal similarity by the square roots of its own
// balance weights makes the matrix nearly symmetric before the general
// solver sees it; that keeps the slow eigenvalues well conditioned the way
// LAPACK's balancing does. Any weights give the same eigenpairs in exact
// arithmetic; they are undone on the eigenvectors.
template <class T>
Status SolveGeneral(const Calc& calc, const std::vector<double>& U, Spectrum<T>& d) {
  using std::abs;
  const int n = calc.dim();
  const RunOptions& opts = calc.opts;
  Mat<T> g = Generator<T>(U, n, opts.useplusI != 0);
  Vec<T> w = Vec<T>::Ones(n);
  {
    // Balance weights over the states connected to state 0 both ways.
    const size_t nn = static_cast<size_t>(n);
    auto u = [&U, nn](int i, int j) {
      return U[static_cast<size_t>(i) * nn + static_cast<size_t>(j)];
    };
    std::vector<char> assigned(nn, 0);
    std::vector<int> queue{0};
    if (n > 0) assigned[0] = 1;
    for (size_t front = 0; front < queue.size(); ++front) {
      const int c = queue[front];
      for (int j = 0; j < n; ++j) {
        if (assigned[j] || !(u(c, j) > 0) || !(u(j, c) > 0)) continue;
        w(j) = T(u(j, c)) * w(c) / T(u(c, j));
        assigned[j] = 1;
        queue.push_back(j);
      }
    }
  }
  Vec<T> sw(n), isw(n);
  for (int i = 0; i < n; ++i) {
    sw(i) = ScalarTraits<T>::Sqrt(w(i));
    isw(i) = T(1) / sw(i);
  }
  Mat<T> b = isw.asDiagonal() * g * sw.asDiagonal();
  if (n > 0 && b.cwiseAbs().maxCoeff() == T(0)) {
    // Nothing moves (every population sits in the absorbing state after a
    // reduction, say). Eigen's solver divides a zero matrix by its largest
    // entry unless that is below numeric_limits<T>::min(), which is 0 for
    // GMP; its answer for the other types is taken directly.
    d.evals = Vec<T>::Zero(n);
    d.evecs = sw.asDiagonal() * Mat<T>::Identity(n, n);
    return Status{};
  }
  Eigen::EigenSolver<Mat<T>> solver(b, true);
  if (solver.info() != Eigen::Success) {
    return Failure(1, "The general eigensolver did not converge in %s arithmetic\n",
                   ArithmeticName(opts.mlapack_method));
  }
  const Mat<T> values = solver.pseudoEigenvalueMatrix();
  d.evals.resize(n);
  for (int j = 0; j < n; ++j) {
    const T wr = values(j, j);
    // A complex pair is the 2 x 2 block [a b; -b a].
    T wi(0);
    if (j + 1 < n && !(values(j + 1, j) == T(0))) wi = values(j, j + 1);
    if (j > 0 && !(values(j, j - 1) == T(0))) wi = values(j, j - 1);
    d.evals(j) = wr;
    if (!(wr == T(0)) && abs(wi / wr) > T(opts.feps)) {
      fprintf(stderr, "eigenvalue %d is %g + i*%g, which is somewhat complex\n", j, ToD(wr),
              ToD(wi));
    }
  }
  d.evecs = sw.asDiagonal() * solver.pseudoEigenvectors();
  return Status{};
}

// Eigenpairs of the symmetric S. The states are first ordered by decreasing
// |S(i, i)|: Eigen's reduction to tridiagonal form and its QR sweeps then
// meet a matrix graded from large at the top to small at the bottom, the
// direction in which they keep the small (slow) eigenvalues to relative
// rather than only norm-wise accuracy. A permutation is exact, and it is
// undone on the eigenvectors.
template <class T>
Status SolveSymmetric(const Calc& calc, const Mat<T>& s, Spectrum<T>& d) {
  using std::abs;
  const int n = calc.dim();
  std::vector<int> order(static_cast<size_t>(n));
  for (int i = 0; i < n; ++i) order[static_cast<size_t>(i)] = i;
  std::stable_sort(order.begin(), order.end(),
                   [&s](int a, int b) { return abs(s(b, b)) < abs(s(a, a)); });
  Mat<T> graded(n, n);
  for (int j = 0; j < n; ++j) {
    for (int i = 0; i < n; ++i) {
      graded(i, j) = s(order[static_cast<size_t>(i)], order[static_cast<size_t>(j)]);
    }
  }
  Eigen::SelfAdjointEigenSolver<Mat<T>> solver(graded, Eigen::ComputeEigenvectors);
  if (solver.info() != Eigen::Success) {
    return Failure(1, "The symmetric eigensolver did not converge in %s arithmetic\n",
                   ArithmeticName(calc.opts.mlapack_method));
  }
  d.evals = solver.eigenvalues();
  d.evecs.resize(n, n);
  for (int i = 0; i < n; ++i)
    d.evecs.row(order[static_cast<size_t>(i)]) = solver.eigenvectors().row(i);
  return Status{};
}

// MxCompleteEvecs in T (absorbing case); -v prints the result once.
template <class T>
void CompleteEvecs(const Calc& calc, Spectrum<T>& d) {
  Mat<T>& v = d.evecs;
  CompleteAbsorbingEvecs<T>(
      calc.opts, d.evals, calc.dim(), false, [&v](int r, int j) -> T& { return v(r, j); },
      [&v](int j) { return T(v.col(j).sum()); }, [&v](int j) { return T(v.col(j).squaredNorm()); },
      [&calc, &d](bool normalised) {
        if (!normalised || !calc.opts.verbose) return;
        MxPrint(calc, ToDoubles(d.evals).data(), "evals_complete", 'v');
        MxPrint(calc, RowMajor(d.evecs).data(), "evecs_complete", 'm');
      });
}

// The stiffness test of the double paths for the spectrum `d` made in T,
// with T's own precision: an arithmetic resolves a spread of about 1 over its
// epsilon, and past it the slow modes go silently wrong as in double.
template <class T>
void WarnIfUnresolvedIn(const Calc& calc, Arithmetic arithmetic, const std::vector<double>& U,
                        const Spectrum<T>& d) {
  T lo(0), hi(0);
  for (Eigen::Index i = 0; i < d.p8.size(); ++i) {
    if (!(d.p8(i) > T(0))) continue;
    if (lo == T(0) || d.p8(i) < lo) lo = d.p8(i);
    if (d.p8(i) > hi) hi = d.p8(i);
  }
  const double equilibrium_spread = lo > T(0) ? ToD(T(hi / lo)) : 1.0;
  const bool variable = arithmetic == Arithmetic::kMpfr || arithmetic == Arithmetic::kGmp;
  const ExtendedPrecision precision{ArithmeticName(arithmetic),
                                    ToD(T(Eigen::NumTraits<T>::epsilon())),
                                    variable ? calc.opts.mlapack_precision : 0};
  WarnIfExtendedUnresolved(calc, precision, ToDoubles(d.evals), equilibrium_spread,
                           RateSpread(U, calc.dim()));
}

// MxDiagonalize in T: the same steps, messages, warnings and files, and the
// same failures. `spectrum` stays empty when --dumpX wrote the eigenvalues:
// the run stops there.
template <class T>
Status Diagonalize(Calc& calc, Arithmetic arithmetic, const std::vector<double>& U,
                   const std::vector<QorpRecord>* records, std::optional<Spectrum<T>>& spectrum) {
  const int n = calc.dim();
  const RunOptions& opts = calc.opts;
  const bool absorbing = calc.numbering().absorbing_state != 0;
  Spectrum<T> d;
  d.p8 = Equilibrium<T>(calc, U, records);

  if (opts.mathematicamatrix == 1) {
    if (Status status = MxMathematicaWrite(calc, U.data()); !status.ok()) return status;
  }
  if (!absorbing) {
    Mat<T> s = Generator<T>(U, n, opts.useplusI != 0);
    if (opts.verbose) MxPrint(calc, RowMajor(s).data(), "input U", 'm');
    d.sqrt_p8.resize(n);
    d.inv_sqrt_p8.resize(n);
    // A weight that is not positive gives NaN in every pair through its
    // state in an IEEE type (the square root of a negative number, or 0
    // times the infinite inverse of 0). GMP cannot form these: such states
    // are marked, and their pairs reported as the NaN ones are.
    std::vector<char> weightless(static_cast<size_t>(n), 0);
    for (int i = 0; i < n; ++i) {
      if (!ScalarTraits<T>::kHoldsNaN && !(d.p8(i) > T(0))) {
        weightless[static_cast<size_t>(i)] = 1;
        d.sqrt_p8(i) = T(0);
        d.inv_sqrt_p8(i) = T(0);
        continue;
      }
      d.sqrt_p8(i) = ScalarTraits<T>::Sqrt(d.p8(i));
      d.inv_sqrt_p8(i) = T(1) / d.sqrt_p8(i);
    }
    // S = P^-1/2 U P^1/2, entry by entry.
    for (int j = 0; j < n; ++j) {
      for (int i = 0; i < n; ++i) s(i, j) = d.inv_sqrt_p8(i) * s(i, j) * d.sqrt_p8(j);
    }
    if (opts.verbose) {
      MxPrint(calc, RowMajor(s).data(),
              "U = _sqrPI*U*sqrPI_ (this should be symmetric, but still uncorrected)", 'm');
    }
    if (Status status = SymmetrizeAndReport<T>(
            opts, n, [&s](int i, int j) -> T& { return s(i, j); }, weightless);
        !status.ok()) {
      return status;
    }
    if (opts.verbose) MxPrint(calc, RowMajor(s).data(), "force symmetrized U", 'm');

    if (Status status = SolveSymmetric<T>(calc, s, d); !status.ok()) return status;
  } else {
    if (Status status = SolveGeneral<T>(calc, U, d); !status.ok()) return status;
  }
  SpectrumFinishing steps;
  steps.solver = std::string("--mlapack-method ") + ArithmeticName(arithmetic);
  steps.complete_absorbing = [&calc, &d] { CompleteEvecs(calc, d); };
  steps.after_dump = [&opts]() -> Status {
    if (!opts.quiet && opts.mlapack_method != Arithmetic::kDouble) {
      fprintf(stderr,
              "WARNING: the stored eigen-decomposition holds doubles: the precision of "
              "--mlapack-method %s is lost in it\n",
              ArithmeticName(opts.mlapack_method));
    }
    return Status{};
  };
  steps.remove_plus_i = [&d, n] {
    for (int k = 0; k < n; ++k) d.evals(k) -= T(1);
  };
  bool dumped_only = false;
  if (Status status = FinishSpectrum(calc, absorbing, steps, d.evals, d.evecs, dumped_only);
      !status.ok() || dumped_only) {
    return status;
  }
  // LD and DOUBLE, no wider than the default run, have their own test, on
  // the rates before any work.
  if (arithmetic != Arithmetic::kLongDouble && arithmetic != Arithmetic::kDouble) {
    WarnIfUnresolvedIn<T>(calc, arithmetic, U, d);
  }
  spectrum = std::move(d);
  return Status{};
}

// ---------------------------------------------------------------------------
// Population table

// Time points handled together: one product in T turns a block of
// coefficient vectors into populations (Eigen's blocked GEMM).
constexpr int kTimeBlock = 64;

template <class T>
Status Iterate(Calc& calc, const Spectrum<T>& d, std::vector<double>& p0) {
  using std::exp;
  using std::isnan;
  const int n = calc.dim();
  const RunOptions& opts = calc.opts;
  const bool absorbing = calc.numbering().absorbing_state != 0;

  Vec<T> p0_t(n);
  for (int i = 0; i < n; ++i) p0_t(i) = T(p0[static_cast<size_t>(i)]);
  Mat<T> cl;
  Vec<T> c;
  if (!absorbing) {
    // CL = P^1/2 evecs, CR = evecs^T P^-1/2 (evecs orthonormal).
    Vec<T> scaled(n);
    for (int i = 0; i < n; ++i) scaled(i) = p0_t(i) / d.sqrt_p8(i);
    c = d.evecs.transpose() * scaled;
    cl = d.sqrt_p8.asDiagonal() * d.evecs;
  } else {
    cl = d.evecs;
    // c = cl^-1 p0 through the LU factors. The back substitution is spelled
    // out to meet a zero pivot as Eigen's does: an unknown whose right-hand
    // side is exactly 0 stays 0 (every population in the absorbing state,
    // say) without a division. Any other zero pivot, or a coefficient that
    // is not finite, ends the run as on the LAPACK path (GMP would throw,
    // the other types print a table of NaN).
    const Eigen::PartialPivLU<Mat<T>> lu(cl);
    const Mat<T>& f = lu.matrixLU();
    c = lu.permutationP() * p0_t;
    f.template triangularView<Eigen::UnitLower>().solveInPlace(c);
    bool singular = false;
    for (int i = n - 1; i >= 0 && !singular; --i) {
      T r = c(i);
      for (int k = i + 1; k < n; ++k) r -= f(i, k) * c(k);
      if (r == T(0)) {
        c(i) = T(0);
      } else if (f(i, i) == T(0)) {
        singular = true;
      } else {
        c(i) = r / f(i, i);
      }
    }
    // x - x is NaN exactly when x is inf or NaN, in any range of exponents.
    for (int i = 0; i < n; ++i) singular = singular || isnan(c(i) - c(i));
    if (singular) {
      return Failure(
          1, "ERROR: MxIterate: the eigenvector matrix is singular and cannot be inverted\n");
    }
    if (opts.verbose) MxPrint(calc, ToDoubles(d.evals).data(), "evals in MxIterate", 'v');
  }
  if (opts.verbose) {
    MxPrint(calc, ToDoubles(c).data(), "CR*p0 should start with 1", 'v');
    MxPrint(calc, RowMajor(cl).data(), "CL", 'm');
  }

  MxOutputHeader(calc);
  // The eigenvalues in the unscaled time unit: dividing them, not the time,
  // by --times keeps a tiny factor from overflowing t / T.
  Vec<T> rate(n);
  for (int i = 0; i < n; ++i) rate(i) = d.evals(i) / T(opts.times);

  Mat<T> w(n, kTimeBlock), pops(n, kTimeBlock);
  std::vector<int> live(kTimeBlock);
  // One block: the exponentials in T, each mode out of range told to the
  // walk at once (for every time of the block), and one product in T.
  auto evaluate = [&](const std::vector<double>& times, TableWalk& walk) {
    const int k_count = static_cast<int>(times.size());
    // evals are descending, so once an exponential underflows to exactly 0
    // every later one does: the rows beyond `live` contribute nothing.
    int rows = 0;
    for (int k = 0; k < k_count; ++k) {
      const T t(times[static_cast<size_t>(k)]);
      const double scaled = times[static_cast<size_t>(k)] / opts.times;
      int i = 0;
      for (; i < n; ++i) {
        const T e = exp(rate(i) * t);
        if (e == T(0) || isnan(e)) {
          walk.OutOfRange(static_cast<size_t>(i), scaled);
          if (e == T(0)) break;
        }
        w(i, k) = e * c(i);
      }
      for (int r = i; r < n; ++r) walk.OutOfRange(static_cast<size_t>(r), scaled);
      live[static_cast<size_t>(k)] = i;
      rows = std::max(rows, i);
    }
    for (int k = 0; k < k_count; ++k) {
      for (int i = live[static_cast<size_t>(k)]; i < rows; ++i) w(i, k) = T(0);
    }
    if (rows > 0) {
      pops.leftCols(k_count).noalias() = cl.leftCols(rows) * w.topLeftCorner(rows, k_count);
    } else {
      pops.leftCols(k_count).setZero();
    }
    // Column k of pops is line k.
    return PopulationBlock<T>{pops.data(), nullptr};
  };
  const TableWalk::Line line = [&calc, n](double t, double* p) {
    Status printed = MxOutputLine(calc, p, n, t);
    if (printed.ok()) fflush(stdout);
    return printed;
  };
  int count = 0;
  if (Status status =
          WalkTableBlocks<T>(calc, n, line, p0.data(), d.p8.data(), kTimeBlock, evaluate, count);
      !status.ok()) {
    return status;
  }
  EndPopulationTable(count);
  return Status{};
}

// ---------------------------------------------------------------------------
// First passage times

// Solves A^T x = b, A the m x m matrix; false when a pivot is exactly zero or
// the solution is not finite.
template <class T>
bool SolveTransposed(const Mat<T>& a, Vec<T>& x, const Vec<T>& b) {
  if (a.rows() == 0) {
    x = b;
    return true;
  }
  Eigen::PartialPivLU<Mat<T>> lu(a.transpose());
  for (Eigen::Index i = 0; i < a.rows(); ++i) {
    if (lu.matrixLU()(i, i) == T(0)) return false;
  }
  x = lu.solve(b);
  for (Eigen::Index i = 0; i < x.size(); ++i) {
    if (!std::isfinite(ToD(x(i)))) return false;
  }
  return true;
}

template <class T>
void FirstPassageTimes(const Calc& calc, const std::vector<double>& U,
                       const std::vector<QorpRecord>* records, int bits, FILE* out) {
  ScalarTraits<T>::SetPrecision(bits);
  const int n = calc.dim();
  const Mat<T> g = Generator<T>(U, n, false);
  const double nan = std::numeric_limits<double>::quiet_NaN();

  auto all = [&](std::vector<double>& times) {
    // A = -G^T + 1 p8^T; Z = A^-1 is the fundamental matrix and
    // T(i, j) = (Z(j, j) - Z(i, j)) / p8[j].
    const Vec<T> p8 = Equilibrium<T>(calc, U, records);
    Mat<T> a = -g.transpose();
    for (int r = 0; r < n; ++r) a.row(r) += p8.transpose();
    Eigen::PartialPivLU<Mat<T>> lu(a);
    bool ok = true;
    for (int i = 0; i < n; ++i) ok = ok && !(lu.matrixLU()(i, i) == T(0));
    Mat<T> z;
    if (ok && n > 0) z = lu.inverse();
    times.assign(static_cast<size_t>(n) * static_cast<size_t>(n), nan);
    for (int i = 0; i < n && ok; ++i) {
      for (int j = 0; j < n; ++j) {
        // A weight of 0: inf or NaN in an IEEE type, a throw in GMP.
        const double v = p8(j) == T(0) ? nan : ToD((z(j, j) - z(i, j)) / p8(j));
        times[static_cast<size_t>(i) * static_cast<size_t>(n) + static_cast<size_t>(j)] = v;
        if (!std::isfinite(v)) ok = false;
      }
    }
    if (!ok) std::fill(times.begin(), times.end(), nan);
    return ok;
  };
  auto absorbing = [&](std::vector<double>& times) {
    // Over the m transient states: sum_i -G(i, j) x_i = 1.
    const int m = n > 0 ? n - 1 : 0;
    const Mat<T> a = -g.topLeftCorner(m, m);
    Vec<T> x;
    times.assign(static_cast<size_t>(m), nan);
    if (!SolveTransposed<T>(a, x, Vec<T>::Ones(m))) return false;
    const int absorbed = calc.numbering().absorbed_minimum;
    if (absorbed >= 0 && absorbed < m) {
      const T xa = x(absorbed);
      for (int k = 0; k < m; ++k) x(k) -= xa;
    }
    for (int k = 0; k < m; ++k) times[static_cast<size_t>(k)] = ToD(x(k));
    return true;
  };
  FirstPassageStage(calc, all, absorbing, out);
}

template <class T>
std::optional<std::vector<double>> FirstPassageTo(const Calc& calc, const std::vector<double>& U,
                                                  int bits, int target) {
  ScalarTraits<T>::SetPrecision(bits);
  return FirstPassageToStage(calc, target, [&](std::vector<double>& times) {
    const int n = calc.dim();
    const Mat<T> g = Generator<T>(U, n, false);
    const int m = n - 1;
    // G without the target's row and column.
    Mat<T> a(m, m);
    for (int j = 0; j < m; ++j) {
      const int jj = j < target ? j : j + 1;
      for (int i = 0; i < m; ++i) a(i, j) = g(i < target ? i : i + 1, jj);
    }
    Vec<T> x;
    if (!SolveTransposed<T>(a, x, Vec<T>::Constant(m, T(-1)))) return false;
    times.assign(static_cast<size_t>(n), 0.0);
    for (int i = 0; i < m; ++i) times[static_cast<size_t>(i < target ? i : i + 1)] = ToD(x(i));
    return true;
  });
}

// ---------------------------------------------------------------------------
// Quasi-stationary reduction

// The elimination of the double path (elimination/quasi_stationary.h) in T.
template <class T>
Status Reduce(const RunOptions& opts, std::vector<double>& mat, int n, int m, int b, int bits) {
  ScalarTraits<T>::SetPrecision(bits);
  return ReduceQuasiStationary<T, ScalarTraits<T>>(opts, mat, n, m, b, MxPrintBraced);
}

// ---------------------------------------------------------------------------

template <class T, Arithmetic kArithmetic>
ExtendedStages StagesFor() {
  ExtendedStages stages;
  stages.first_passage_times = &FirstPassageTimes<T>;
  stages.first_passage_to = &FirstPassageTo<T>;
  stages.diagonalize = [](Calc& calc, const std::vector<double>& U,
                          const std::vector<QorpRecord>* records, int bits,
                          ::Spectrum& out) -> Status {
    ScalarTraits<T>::SetPrecision(bits);
    std::optional<Spectrum<T>> spectrum;
    if (Status status = Diagonalize<T>(calc, kArithmetic, U, records, spectrum); !status.ok()) {
      return status;
    }
    if (!spectrum) {
      out.dumped_only = true;
      return Status{};
    }
    out.solver = SpectrumSolver::kExtended;
    out.extended = {kArithmetic, bits, std::make_shared<const Spectrum<T>>(std::move(*spectrum))};
    return Status{};
  };
  stages.table = [](Calc& calc, const void* decomposition, int bits,
                    std::vector<double>& p0) -> Status {
    ScalarTraits<T>::SetPrecision(bits);
    return Iterate<T>(calc, *static_cast<const Spectrum<T>*>(decomposition), p0);
  };
  stages.reduce = &Reduce<T>;
  return stages;
}

}  // namespace extended

#endif  // ZOLVANE_CALC_EXTENDED_EXTENDED_PIPELINE_H_

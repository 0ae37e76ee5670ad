#include "distributed/distributed_run.h"

#include <mpi.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <functional>
#include <limits>
#include <optional>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "app/equilibrium_file.h"
#include "app/kept_records.h"
#include "base/exit_status.h"
#include "base/fatal.h"
#include "calc/model/calc.h"
#include "calc/model/detailed_balance.h"
#include "calc/model/distributions.h"
#include "calc/model/ergodicity.h"
#include "calc/model/matrix_files.h"
#include "calc/model/rescale.h"
#include "calc/model/spectrum.h"
#include "calc/spectrum/eigen_checks.h"
#include "calc/spectrum/eigen_order.h"
#include "calc/spectrum/stiffness.h"
#include "calc/table/iterate.h"
#include "calc/table/populations.h"
#include "calc/table/table_walk.h"
#include "distributed/dist_input.h"
#include "distributed/dist_matrix.h"
#include "distributed/exact_spectrum.h"
#include "distributed/process_grid.h"
#include "distributed/scalapack.h"
#include "matrix/dense.h"
#include "matrix/lapack.h"

namespace {

double SecondsSince(clock_t start) { return static_cast<double>(clock() - start) / CLOCKS_PER_SEC; }

void Refuse(const char* option) {
  Fatal(kExitError, "ERROR: --%s is not available in the distributed run\n", option);
}

// Diagonal of U = -(column sum), or 1 - (column sum) with --useplusI; in
// A = U^T that is the row sum.
void SetDiagonal(DistMatrix& a, bool useplusI) {
  std::vector<double> sum(a.n, 0.0);
  for (int jl = 0; jl < a.local_cols; ++jl) {
    const int c = a.GlobalCol(jl);
    for (int il = 0; il < a.local_rows; ++il) {
      const int r = a.GlobalRow(il);
      if (r == c) a.At(il, jl) = 0.0;
      sum[r] += a.At(il, jl);
    }
  }
  MPI_Allreduce(MPI_IN_PLACE, sum.data(), a.n, MPI_DOUBLE, MPI_SUM, MPI_COMM_WORLD);
  const double base = useplusI ? 1.0 : 0.0;
  for (int j = 0; j < a.n; ++j) {
    if (a.OwnsRow(j) && a.OwnsCol(j)) a.At(a.LocalRow(j), a.LocalCol(j)) = base - sum[j];
  }
}

template <typename F>
void ForEachRate(DistMatrix& a, F f) {
  for (int jl = 0; jl < a.local_cols; ++jl) {
    const int c = a.GlobalCol(jl);
    for (int il = 0; il < a.local_rows; ++il) {
      if (a.GlobalRow(il) != c) a.At(il, jl) = f(a.At(il, jl));
    }
  }
}

// The serial rescaling (calc/model/rescale.h), element by element on the local
// blocks; the smallest rate is reduced over every process. Returns whether
// the rates were reshaped (a power, not just a factor).
bool Rescale(const RunOptions& opts, DistMatrix& a) {
  RateAccess access;
  access.smallest_rate = [&a] {
    double m = 1.0;
    ForEachRate(a, [&m](double x) {
      if (x > 0 && x < m) m = x;
      return x;
    });
    MPI_Allreduce(MPI_IN_PLACE, &m, 1, MPI_DOUBLE, MPI_MIN, MPI_COMM_WORLD);
    return m;
  };
  access.map_rates = [&a, &opts](RateMap f) {
    ForEachRate(a, f);
    SetDiagonal(a, opts.useplusI);
  };
  return RescaleRates(opts, a.n, access);
}

// The serial ergodicity reduction: the breadth-first search over positive
// rates fetches one line of U per state it expands; a reduction moves the
// kept states to the front by swaps and keeps the leading block.
int Ergodicity(Calc& calc, DistMatrix& a, std::vector<double>& p0) {
  const int n = a.n;
  std::vector<char> reached;
  std::vector<double> out_of;
  StateNumbering numbering = calc.numbering();
  const Status status = MxFindUnreached(
      p0, n,
      [&](int d) {
        FetchRow(a, d, out_of);  // row d of A: U(k, d), the rates d -> k
        return RatesOutOf{out_of.data(), 1};
      },
      reached, numbering.kept);
  if (!status.ok()) Fatal(status);
  if (numbering.kept.empty()) return n;
  const int m = static_cast<int>(numbering.kept.size());
  // Swapping l with kept[l] in increasing l brings every kept state to its
  // new place: kept[l] >= l, and no earlier swap touched position kept[l].
  const int one = 1;
  for (int l = 0; l < m; ++l) {
    const int from = numbering.kept[l];
    if (from == l) continue;
    const int row_l = l + 1, row_from = from + 1;
    pdswap_(&n, a.local.data(), &row_l, &one, a.desc, &n, a.local.data(), &row_from, &one, a.desc,
            &n);
    pdswap_(&n, a.local.data(), &one, &row_l, a.desc, &one, a.local.data(), &one, &row_from, a.desc,
            &one);
    p0[l] = p0[from];
  }
  a = LeadingPart(a, m);
  p0.resize(m);
  // Replicated data: every process takes the same decisions, rank 0 prints.
  EndErgodicityReduction(calc, n, std::move(numbering));
  if (Status status = PrintOneStateTable(calc, p0); !status.ok()) Fatal(status);
  return m;
}

// Eigen-decomposition of the symmetrised matrix, the serial checks and
// warnings on its result. Leaves the eigenvectors in z (columns in LAPACK's
// ascending order), the sorted eigenvalues (replicated) and the scalings in
// `spectrum` (whose evecs stay empty: z holds them, distributed), and in
// `order` the column of z that belongs to each sorted eigenvalue.
void Diagonalize(const Calc& calc, DistMatrix& a, const std::vector<double>& p8, Spectrum& spectrum,
                 DistMatrix& z, std::vector<int>& order) {
  const RunOptions& opts = calc.opts;
  const int n = a.n;
  const size_t nn = static_cast<size_t>(n);
  MxSqrtScalings(p8, nn, spectrum.sqrt_p8, spectrum.inv_sqrt_p8);
  // S = P^-1/2 U P^1/2; in A = U^T, A(r, c) = U(c, r) is scaled by
  // inv_sqrt_p8[c] first and sqrt_p8[r] second, as the serial scalings do.
  for (int jl = 0; jl < a.local_cols; ++jl) {
    const double left = spectrum.inv_sqrt_p8[a.GlobalCol(jl)];
    for (int il = 0; il < a.local_rows; ++il) {
      double& x = a.At(il, jl);
      const double y = 0.0 + left * x;
      x = 0.0 + y * spectrum.sqrt_p8[a.GlobalRow(il)];
    }
  }

  // The transpose goes into z's storage, which is free until the solver.
  z = MakeDistMatrix(n, a.nb, a.grid);
  const int one = 1;
  const double alpha = 1.0, beta = 0.0;
  if (n > 0)
    pdtran_(&n, &n, &alpha, a.local.data(), &one, &one, a.desc, &beta, z.local.data(), &one, &one,
            z.desc);
  double err = 0.0;
  std::vector<double> weird;  // (i, j, S(i, j), S(j, i)) of every pair that gives NaN
  for (int jl = 0; jl < a.local_cols; ++jl) {
    const int c = a.GlobalCol(jl);
    for (int il = 0; il < a.local_rows; ++il) {
      const int r = a.GlobalRow(il);
      // In U's orientation: S(r, c) is the transpose's entry, S(c, r) ours.
      const double uij = z.At(il, jl), uji = a.At(il, jl);
      const double mean = (uij + uji) * 0.5;
      if (r <= c) {
        const double f = mean - uij;
        if (std::isnan(f)) weird.insert(weird.end(), {double(r), double(c), uij, uji});
        err += std::fabs(f);
      }
      a.At(il, jl) = mean;
    }
  }
  MPI_Allreduce(MPI_IN_PLACE, &err, 1, MPI_DOUBLE, MPI_SUM, MPI_COMM_WORLD);
  if (n > 0 && std::isnan(err)) {
    // Rank 0 lists the pairs in the serial order.
    int mine = static_cast<int>(weird.size());
    std::vector<int> counts(a.grid.size), offsets(a.grid.size, 0);
    MPI_Gather(&mine, 1, MPI_INT, counts.data(), 1, MPI_INT, 0, MPI_COMM_WORLD);
    for (int p = 1; p < a.grid.size; ++p) offsets[p] = offsets[p - 1] + counts[p - 1];
    std::vector<double> all(IsRoot() ? offsets.back() + counts.back() : 0);
    MPI_Gatherv(weird.data(), mine, MPI_DOUBLE, all.data(), counts.data(), offsets.data(),
                MPI_DOUBLE, 0, MPI_COMM_WORLD);
    std::vector<std::tuple<int, int, double, double>> pairs;
    for (size_t k = 0; k + 3 < all.size(); k += 4) {
      pairs.emplace_back(static_cast<int>(all[k]), static_cast<int>(all[k + 1]), all[k + 2],
                         all[k + 3]);
    }
    std::sort(pairs.begin(), pairs.end(), [](const auto& x, const auto& y) {
      return std::tie(std::get<0>(x), std::get<1>(x)) < std::tie(std::get<0>(y), std::get<1>(y));
    });
    for (const auto& [i, j, uij, uji] : pairs) WarnWeirdRates(i, j, uij, uji);
  }
  if (Status status = EndSymmetryCorrection(opts, n, err, std::isnan(err)); !status.ok()) {
    Fatal(status);
  }

  // pdsyevd: workspace query, then the solve; a destroyed as work space.
  std::vector<double> w(nn);
  int info = 0;
  int lwork = -1, liwork = -1;
  double work_size = 0.0;
  int iwork_size = 0;
  pdsyevd_("V", "L", &n, a.local.data(), &one, &one, a.desc, w.data(), z.local.data(), &one, &one,
           z.desc, &work_size, &lwork, &iwork_size, &liwork, &info);
  if (info == 0) {
    // The query is known to come out a little short on some grids.
    lwork = static_cast<int>(work_size * 1.05) + 1024;
    liwork = std::max(iwork_size, 1) + 64;
    std::vector<double> work;
    std::vector<int> iwork;
    int failed = 0;
    try {
      work.resize(static_cast<size_t>(lwork));
      iwork.resize(static_cast<size_t>(liwork));
    } catch (const std::bad_alloc&) {
      failed = 1;
    }
    MPI_Allreduce(MPI_IN_PLACE, &failed, 1, MPI_INT, MPI_MAX, MPI_COMM_WORLD);
    if (failed) Fatal(kExitError, "ERROR: out of memory\n");
    pdsyevd_("V", "L", &n, a.local.data(), &one, &one, a.desc, w.data(), z.local.data(), &one, &one,
             z.desc, work.data(), &lwork, iwork.data(), &liwork, &info);
  }
  std::vector<double>().swap(a.local);
  if (info != 0) {
    const double val =
        (info >= 1 && info <= n) ? w[info - 1] : std::numeric_limits<double>::quiet_NaN();
    Fatal(kExitError,
          "pdsyevd exited with value %d (val=%20.10g) (Cannot compute eigenvalues) Try to:\n"
          " - lower --feps value (try --feps=-1.0)\n"
          " - try using --useplusI option (sometimes the eigenvalues are better computed like "
          "that)\n\n\n",
          info, val);
  }

  // The serial order (equal values keep the solver's ascending order); here
  // it orders column numbers instead of moving columns.
  order = DescendingOrder(w);
  spectrum.evals.resize(nn);
  for (size_t k = 0; k < nn; ++k) spectrum.evals[k] = w[static_cast<size_t>(order[k])];
}

}  // namespace

void RefuseSerialOnlyOptions(const CommandLineArgs& args) {
  // The first given, in help order.
  for (const OptionSpec& o : kOptionTable) {
    if (o.distributed == InDistributedRun::kAccepted || o.count == nullptr || args.*o.count == 0) {
      continue;
    }
    if (o.distributed == InDistributedRun::kRefusedWithBinaryInput && args.bin_count == 0) continue;
    Refuse(o.long_name);
  }
}

namespace {

// RateSpread of the distributed U (A = U^T has the same off-diagonal rates).
double DistributedRateSpread(const DistMatrix& a) {
  // {-smallest, largest} positive finite rate: one MPI_MAX reduces both.
  double bounds[2] = {-std::numeric_limits<double>::infinity(), 0.0};
  for (int jl = 0; jl < a.local_cols; ++jl) {
    const int c = a.GlobalCol(jl);
    for (int il = 0; il < a.local_rows; ++il) {
      const double r = a.At(il, jl);
      if (a.GlobalRow(il) == c || !(r > 0) || std::isinf(r)) continue;
      bounds[0] = std::max(bounds[0], -r);
      bounds[1] = std::max(bounds[1], r);
    }
  }
  MPI_Allreduce(MPI_IN_PLACE, bounds, 2, MPI_DOUBLE, MPI_MAX, MPI_COMM_WORLD);
  return std::isinf(bounds[0]) ? 1.0 : bounds[1] / -bounds[0];
}

// HoldsDetailedBalance (calc/model/detailed_balance.h) on the distributed
// U: every pair tested where A and its transpose put it side by side, the
// answers agreed by one reduction. `symmetry_error` receives what the
// symmetrisation of S = P^-1/2 U P^1/2 would correct, summed as the serial
// program sums it for its factorised solver. Collective; a transpose of A's
// size meanwhile.
bool DistributedDetailedBalance(const DistMatrix& a, const std::vector<double>& p8,
                                double& symmetry_error) {
  const size_t nn = static_cast<size_t>(a.n);
  double checks[2] = {0.0, 0.0};  // {fails, error}
  for (double p : p8) {
    if (!(p > 0.0) || !std::isfinite(p)) checks[0] = 1.0;
  }
  std::vector<double> sqrt_p, inv_sqrt_p;
  MxSqrtScalings(p8, nn, sqrt_p, inv_sqrt_p);
  DistMatrix t = MakeDistMatrix(a.n, a.nb, a.grid);
  const int one = 1;
  const double alpha = 1.0, beta = 0.0;
  if (a.n > 0) {
    pdtran_(&a.n, &a.n, &alpha, a.local.data(), &one, &one, a.desc, &beta, t.local.data(), &one,
            &one, t.desc);
  }
  for (int jl = 0; jl < a.local_cols; ++jl) {
    const int j = a.GlobalCol(jl);
    for (int il = 0; il < a.local_rows; ++il) {
      const int i = a.GlobalRow(il);
      if (i > j) continue;
      // A(i, j) = U(j, i), the rate i -> j; its transpose holds U(i, j).
      const double u_ij = t.At(il, jl), u_ji = a.At(il, jl);
      if (i < j && !PairHoldsDetailedBalance(u_ij, p8[j], u_ji, p8[i])) checks[0] = 1.0;
      const double s_ij = 0.0 + (0.0 + inv_sqrt_p[i] * u_ij) * sqrt_p[j];
      const double s_ji = 0.0 + (0.0 + inv_sqrt_p[j] * u_ji) * sqrt_p[i];
      checks[1] += std::fabs((s_ij + s_ji) * 0.5 - s_ij);
    }
  }
  double fails = 0.0;
  MPI_Allreduce(&checks[0], &fails, 1, MPI_DOUBLE, MPI_MAX, MPI_COMM_WORLD);
  MPI_Allreduce(&checks[1], &symmetry_error, 1, MPI_DOUBLE, MPI_SUM, MPI_COMM_WORLD);
  return fails == 0.0;
}

// Each process's part of the eigenvectors of S, whichever solver made them:
// local rows and columns of `data` (column-major, leading dimension ld),
// the state of each row and the sorted mode of each column (-1: none).
struct ModeView {
  int n = 0;
  int rows = 0, cols = 0, ld = 1;
  double* data = nullptr;
  std::vector<int> row_state;
  std::vector<int> col_mode;
  double& At(int il, int jl) { return data[static_cast<size_t>(jl) * ld + il]; }
};

// pdsyevd's eigenvectors: column order[k] of z is mode k.
ModeView ViewOf(DistMatrix& z, const std::vector<int>& order) {
  ModeView v;
  v.n = z.n;
  v.rows = z.local_rows;
  v.cols = z.local_cols;
  v.ld = z.lld;
  v.data = z.local.data();
  std::vector<int> rank_of(static_cast<size_t>(z.n));
  for (int k = 0; k < z.n; ++k) rank_of[order[k]] = k;
  for (int il = 0; il < v.rows; ++il) v.row_state.push_back(z.GlobalRow(il));
  for (int jl = 0; jl < v.cols; ++jl) v.col_mode.push_back(rank_of[z.GlobalCol(jl)]);
  return v;
}

// The factorised solver's: whole columns, rows in elimination order.
ModeView ViewOf(DistributedModes& modes) {
  ModeView v;
  v.n = modes.n;
  v.rows = modes.n;
  v.cols = modes.cols;
  v.ld = std::max(1, modes.n);
  v.data = modes.x.data();
  v.row_state = modes.row_state;
  v.col_mode = modes.col_mode;
  return v;
}

// Row h of the sorted eigenvector matrix (state h over every mode) and its
// column k (mode k over every state) on every process, by one sum of
// vectors to which each entry's one holder alone contributes.
class ModeLines {
 public:
  explicit ModeLines(ModeView& v)
      : v_(v),
        local_row_(static_cast<size_t>(v.n), -1),
        local_col_(static_cast<size_t>(v.n), -1),
        lines_(2 * static_cast<size_t>(v.n)) {
    for (int il = 0; il < v.rows; ++il) local_row_[v.row_state[il]] = il;
    for (int jl = 0; jl < v.cols; ++jl) {
      if (v.col_mode[jl] >= 0) local_col_[v.col_mode[jl]] = jl;
    }
  }
  // Returns {row h, column k}, n values each, valid until the next call.
  std::pair<const double*, const double*> Fetch(int h, int k) {
    const int n = v_.n;
    std::fill(lines_.begin(), lines_.end(), 0.0);
    if (const int il = local_row_[h]; il >= 0) {
      for (int jl = 0; jl < v_.cols; ++jl) {
        if (v_.col_mode[jl] >= 0) lines_[v_.col_mode[jl]] = v_.At(il, jl);
      }
    }
    if (const int jl = local_col_[k]; jl >= 0) {
      for (int il = 0; il < v_.rows; ++il) lines_[n + v_.row_state[il]] = v_.At(il, jl);
    }
    MPI_Allreduce(MPI_IN_PLACE, lines_.data(), 2 * n, MPI_DOUBLE, MPI_SUM, MPI_COMM_WORLD);
    return {lines_.data(), lines_.data() + n};
  }

 private:
  ModeView& v_;
  std::vector<int> local_row_, local_col_;
  std::vector<double> lines_;
};

// The serial checks on the sorted eigen-decomposition: reachability in the
// eigenvector graph, the largest eigenvalue, the clamp of the stationary
// eigenvalues.
void CheckEigenvectors(const Calc& calc, Spectrum& spectrum, ModeView& view) {
  const RunOptions& opts = calc.opts;
  const int n = view.n;
  std::vector<double>& evals = spectrum.evals;
  ModeLines lines(view);

  // States h and i are adjacent when evecs(i, h) and evecs(h, i) are both
  // non-zero; dense eigenvectors connect state 0 to all others at once.
  {
    auto reached = EvecsReachability(
        [&](int h) {
          const auto [row, column] = lines.Fetch(h, h);
          return EvecsLines{column, 1, row, 1};
        },
        n);
    if (reached) WarnUnreachedEigenstates(*reached);
  }

  if (WarnLargestEigenvalue<double>(opts, evals, n)) {
    RootOnly([&]() -> int64_t {
      if (Status status = MxASCIIWriteV(calc, evals.data(), "evals.txt"); !status.ok()) {
        Fatal(status);
      }
      return 0;
    });
    // evecs.txt holds one eigenvector per line; rank 0 gets them one by one.
    FILE* f = nullptr;
    RootOnly([&]() -> int64_t {
      f = fopen("evecs.txt", "w");
      if (f == nullptr) Fatal(kExitError, "could not open file pointer 4 ASCII outfile\n");
      return 0;
    });
    for (int k = 0; k < n; ++k) {
      const double* column = lines.Fetch(0, k).second;
      if (f != nullptr) {
        for (int i = 0; i < n; ++i) fprintf(f, "%15.10g ", column[i]);
        fputc('\n', f);
      }
    }
    RootOnly([&]() -> int64_t {
      if (!opts.quiet) fprintf(stderr, "matrix written to ASCII file\n");
      bool failed = ferror(f) != 0;
      if (fclose(f) != 0) failed = true;
      if (failed) Fatal(kExitError, "ERROR: could not write %s %s\n", "ASCII outfile", "evecs.txt");
      return 0;
    });
  }

  ClampStationaryEigenvalues<double>(opts, evals, n);
}

// The population table: p(t) = CL exp(evals t / T) c with CL = P^1/2 Z and
// c = Z^T P^-1/2 p0. Each block of time points is one product of every
// process's part of CL with its rows of the replicated coefficient block,
// one n-vector per time point summed onto rank 0, which checks and prints
// the lines as the serial program does.
void Iterate(const Calc& calc, const Spectrum& spectrum, ModeView& z, std::vector<double>& p0,
             const std::vector<double>& p8) {
  const RunOptions& opts = calc.opts;
  const int n = z.n;
  const size_t nn = static_cast<size_t>(n);

  // c = Z^T x, x = P^-1/2 p0: the one distributed matrix-vector product.
  std::vector<double> c(nn, 0.0);
  {
    std::vector<double> x(std::max(1, z.rows));
    for (int il = 0; il < z.rows; ++il) {
      const int i = z.row_state[il];
      x[il] = spectrum.inv_sqrt_p8[i] * p0[i];
    }
    std::vector<double> part(std::max(1, z.cols), 0.0);
    if (z.rows > 0 && z.cols > 0) {
      const int inc = 1;
      const double alpha = 1.0, beta = 0.0;
      dgemv_("T", &z.rows, &z.cols, &alpha, z.data, &z.ld, x.data(), &inc, &beta, part.data(), &inc,
             1);
    }
    for (int jl = 0; jl < z.cols; ++jl) {
      if (z.col_mode[jl] >= 0) c[z.col_mode[jl]] = part[jl];
    }
    MPI_Allreduce(MPI_IN_PLACE, c.data(), n, MPI_DOUBLE, MPI_SUM, MPI_COMM_WORLD);
  }
  // CL in place of Z.
  for (int jl = 0; jl < z.cols; ++jl) {
    for (int il = 0; il < z.rows; ++il)
      z.At(il, jl) = spectrum.sqrt_p8[z.row_state[il]] * z.At(il, jl);
  }

  // Rank 0 prints; the others walk the same axis and learn from it when the
  // table has converged. A line that fails ends every process at once
  // (Fatal's hook), as the others cannot learn it in their walk.
  RootOnly([&]() -> int64_t {
    MxOutputHeader(calc);
    return 0;
  });
  const TableWalk::Line line = [&calc, n](double t, double* p) {
    if (Status status = MxOutputLine(calc, p, n, t); !status.ok()) Fatal(status);
    fflush(stdout);
    return Status{};
  };

  constexpr size_t kBlock = 64;
  // Eigenvalues in the unscaled time unit, as the serial table computes them.
  std::vector<double> rate(nn);
  for (size_t i = 0; i < nn; ++i) rate[i] = spectrum.evals[i] / opts.times;

  std::vector<double> w(kBlock * nn);
  std::vector<double> w_local(kBlock * std::max(1, z.cols));
  std::vector<double> part(kBlock * std::max(1, z.rows));
  std::vector<double> pops(kBlock * nn);  // summed onto rank 0
  std::vector<double> sums(kBlock * nn);
  std::vector<char> out_of_range(kBlock * nn);
  // One block on every process: its part of the product, summed onto rank
  // 0, which alone reads the block.
  auto evaluate = [&](const std::vector<double>& times, TableWalk&) {
    const int k_count = static_cast<int>(times.size());
    for (int k = 0; k < k_count; ++k) {
      for (size_t i = 0; i < nn; ++i) {
        errno = 0;
        const double d = std::exp(rate[i] * times[k]);
        out_of_range[k * nn + i] = errno == ERANGE || std::isnan(d);
        w[k * nn + i] = d * c[i];
      }
      for (int jl = 0; jl < z.cols; ++jl) {
        const int mode = z.col_mode[jl];
        w_local[static_cast<size_t>(k) * z.cols + jl] = mode >= 0 ? w[k * nn + mode] : 0.0;
      }
    }
    std::fill(pops.begin(), pops.begin() + k_count * nn, 0.0);
    if (z.rows > 0 && z.cols > 0) {
      const double alpha = 1.0, beta = 0.0;
      const int ldw = z.cols;
      dgemm_("N", "N", &z.rows, &k_count, &z.cols, &alpha, z.data, &z.ld, w_local.data(), &ldw,
             &beta, part.data(), &z.rows, 1, 1);
      for (int k = 0; k < k_count; ++k) {
        for (int il = 0; il < z.rows; ++il) {
          pops[k * nn + z.row_state[il]] = part[static_cast<size_t>(k) * z.rows + il];
        }
      }
    }
    MPI_Reduce(pops.data(), sums.data(), static_cast<int>(k_count * nn), MPI_DOUBLE, MPI_SUM, 0,
               MPI_COMM_WORLD);
    return PopulationBlock<double>{sums.data(), out_of_range.data()};
  };
  int count = 0;
  // Every failing line has ended the run already (above).
  if (Status status = WalkTableBlocks<double>(
          calc, n, line, p0.data(), p8.data(), kBlock, evaluate, count,
          [](const std::function<int64_t()>& work) { return RootOnly(work); });
      !status.ok()) {
    Fatal(status);
  }
  RootOnly([&]() -> int64_t {
    EndPopulationTable(count);
    return 0;
  });
}

}  // namespace

int RunDistributed(ProgramRecord& record) {
  const RunOptions& opts = record.opts;
  const clock_t start = clock();
  const ProcessGrid grid = MakeProcessGrid();

  std::vector<QorpRecord> records;
  DistMatrix a;  // U^T
  std::optional<std::string> sequence;
  const int n = opts.method == 'A' ? ReadDistributedQorp(record, records, sequence)
                                   : ReadDistributedRates(record, grid, a);
  Calc calc(n, opts);
  calc.sequence = std::move(sequence);
  if (opts.method == 'A') a = MethodAMatrix(calc, records, grid, BlockSize(n, grid));
  SetDiagonal(a, opts.useplusI);
  const bool reshaped = Rescale(opts, a);

  std::vector<double> p0;
  if (Status status = MxMakeP0(calc, p0); !status.ok()) Fatal(status);
  const int d = Ergodicity(calc, a, p0);
  std::vector<double> p8(d, 0.0);
  if (!opts.quiet) fprintf(stderr, "Time to initialize: %.2f secs.\n", SecondsSince(start));

  clock_t t = clock();
  // After a reshaping rescale the Boltzmann weights are no longer U's
  // equilibrium, whatever the method.
  if (opts.method == 'A' && !reshaped) {
    KeepRecords(calc, records);
    if (Status status = MxEquilibriumFromEnergies(calc, records, p8); !status.ok()) Fatal(status);
  } else {
    // U(c, j) is column c of A, U(j, c) row c.
    std::vector<double> row, column;
    const Status status = MxEquilibriumFromBalanceLines(
        calc,
        [&](int c) {
          FetchRowAndColumn(a, c, c, row, column);
          return RatesAtState{column.data(), 1, row.data(), 1};
        },
        p8);
    if (!status.ok()) Fatal(status);
  }
  // The factorised solver needs detailed balance. Without it pdsyevd would
  // print a table that may be wrong without a word, so such rates go to the
  // serial run, which has a solver for them.
  const bool exact = opts.eigensolver != Eigensolver::kLapack;
  double symmetry_error = 0.0;
  if (!opts.just_shorten && exact && !DistributedDetailedBalance(a, p8, symmetry_error)) {
    Fatal(kExitError,
          "ERROR: the rates do not obey detailed balance, which the distributed run needs: run "
          "the serial zolvane on them\n");
  }
  if (opts.equil_file != nullptr) {
    RootOnly([&]() -> int64_t {
      if (Status status = WriteEquilibriumFile(calc, opts.equil_file, p8); !status.ok()) {
        Fatal(status);
      }
      return 0;
    });
  }
  if (opts.just_shorten) return kExitSuccess;

  t = clock();
  Spectrum spectrum;
  DistMatrix z;
  std::vector<int> order;
  DistributedModes modes;
  ModeView view;
  const double spread = DistributedRateSpread(a);
  // The factorised solver's eigenvalues while evals carry the --useplusI
  // shift: the time evolution gets them back whole.
  std::vector<double> unshifted;
  if (exact) {
    if (Status status = EndSymmetryCorrection(opts, d, symmetry_error, false); !status.ok()) {
      Fatal(status);
    }
    const SpectrumStatus solved = DistributedReversibleSpectrum(a, modes);
    if (solved == SpectrumStatus::kSweepCapHit) {
      Fatal(kExitError,
            "ERROR: the accurate eigensolver did not converge in %d sweeps: run the serial "
            "zolvane, which falls back to --mlapack-method QD\n",
            modes.sweeps);
    }
    if (solved != SpectrumStatus::kOk) {
      Fatal(kExitError,
            "ERROR: the accurate eigensolver cannot take these rates: rerun with --eigensolver "
            "lapack\n");
    }
    spectrum.solver = SpectrumSolver::kAccurate;
    spectrum.evals = modes.evals;
    MxSqrtScalings(p8, static_cast<size_t>(d), spectrum.sqrt_p8, spectrum.inv_sqrt_p8);
    if (opts.useplusI) {
      unshifted = spectrum.evals;
      for (double& e : spectrum.evals) e += 1.0;
    }
    view = ViewOf(modes);
  } else {
    Diagonalize(calc, a, p8, spectrum, z, order);
    view = ViewOf(z, order);
  }
  CheckEigenvectors(calc, spectrum, view);
  if (opts.dumpX) {
    RootOnly([&]() -> int64_t {
      if (Status status = MxASCIIWriteV(calc, spectrum.evals.data(), "evals.txt"); !status.ok()) {
        Fatal(status);
      }
      return 0;
    });
    return kExitSuccess;  // the eigenvalues file is the whole product
  }
  if (opts.useplusI) {
    if (exact) {
      spectrum.evals = unshifted;
    } else {
      MxRemovePlusIShift(spectrum.evals);
    }
  }
  WarnIfSpectrumUnresolved(calc, spectrum, spread, p8, true);  // the evals are replicated
  if (!opts.quiet) fprintf(stderr, "Time to diagonalize: %.2f secs.\n", SecondsSince(t));

  if (calc.ReducedToOneState()) return kExitSuccess;
  t = clock();
  Iterate(calc, spectrum, view, p0, p8);
  if (!opts.quiet) fprintf(stderr, "Time to iterate: %.2f secs.\n", SecondsSince(t));
  return kExitSuccess;
}

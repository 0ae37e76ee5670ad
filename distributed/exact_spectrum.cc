#include "distributed/exact_spectrum.h"

#include <mpi.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstddef>
#include <new>
#include <numeric>
#include <utility>
#include <vector>

#include "base/exit_status.h"
#include "base/fatal.h"
#include "calc/model/distributions.h"
#include "distributed/scalapack.h"
#include "matrix/lapack.h"
#include "spectral/jacobi_ordering.h"
#include "spectral/one_sided_jacobi.h"

namespace {

// Steps of the elimination whose updates of the columns beyond them are
// gathered into one product, as the serial panels.
constexpr int kPanel = 64;

// The n x n matrix in ScaLAPACK's one-dimensional layout over a 1 x P grid:
// column blocks of w, block b on process b mod P. With w = ceil(n / 2P)
// every process holds at most two blocks, stored one after the other (the
// second one padded with zero columns where n runs out): its two slots in
// the tournament, positions p and 2P-1-p.
struct Columns {
  int n = 0, procs = 1, rank = 0, w = 1;
  int context = -1;
  int desc[9] = {};
  int local_cols = 0;  // columns of the n x n matrix held here, <= 2w
  int Global(int jl) const { return (jl / w) * procs * w + rank * w + jl % w; }
  int Owner(int j) const { return (j / w) % procs; }
  int Local(int j) const { return (j / (w * procs)) * w + j % w; }
  // The local columns of block k (0 or 1) as global start and count.
  std::pair<int, int> Run(int k) const {
    const int first = (k * procs + rank) * w;
    return {first, std::max(0, std::min(w, local_cols - k * w))};
  }
};

Columns MakeColumns(int n, const ProcessGrid& grid) {
  Columns c;
  c.n = n;
  c.procs = grid.size;
  c.rank = grid.rank;
  c.w = std::max(1, (n + 2 * c.procs - 1) / (2 * c.procs));
  Cblacs_get(-1, 0, &c.context);
  Cblacs_gridinit(&c.context, "Row", 1, c.procs);
  const int zero = 0, lld = std::max(1, n);
  int info = 0;
  descinit_(c.desc, &n, &n, &c.w, &c.w, &zero, &zero, &c.context, &lld, &info);
  c.local_cols = numroc_(&n, &c.w, &c.rank, &zero, &c.procs);
  return c;
}

// n x cols zeros, or the end of the run on every process when one cannot
// allocate them.
std::vector<double> Allocate(size_t count) {
  std::vector<double> v;
  int failed = 0;
  try {
    v.assign(count, 0.0);
  } catch (const std::bad_alloc&) {
    failed = 1;
  }
  MPI_Allreduce(MPI_IN_PLACE, &failed, 1, MPI_INT, MPI_MAX, MPI_COMM_WORLD);
  if (failed) Fatal(kExitError, "ERROR: out of memory\n");
  return v;
}

// Whether every off-diagonal rate is finite and non-negative, and the
// largest of them; agreed over the processes.
bool CheckRates(const DistMatrix& a, double& largest) {
  double bounds[2] = {0.0, 0.0};  // {bad, largest}
  for (int jl = 0; jl < a.local_cols; ++jl) {
    const int c = a.GlobalCol(jl);
    for (int il = 0; il < a.local_rows; ++il) {
      if (a.GlobalRow(il) == c) continue;
      const double x = a.At(il, jl);
      if (!std::isfinite(x) || x < 0.0)
        bounds[0] = 1.0;
      else
        bounds[1] = std::max(bounds[1], x);
    }
  }
  MPI_Allreduce(MPI_IN_PLACE, bounds, 2, MPI_DOUBLE, MPI_MAX, MPI_COMM_WORLD);
  largest = bounds[1];
  return bounds[0] == 0.0;
}

// A(i, j) <- A(order[i], order[j]): the columns by swaps between their
// holders, then the rows inside each local column.
void Permute(const Columns& c, std::vector<double>& x, const std::vector<int>& order) {
  const int n = c.n, one = 1;
  std::vector<int> at(static_cast<size_t>(n)), where(static_cast<size_t>(n));
  std::iota(at.begin(), at.end(), 0);
  std::iota(where.begin(), where.end(), 0);
  for (int l = 0; l < n; ++l) {
    const int from = where[order[l]];
    if (from == l) continue;
    const int jl = l + 1, jf = from + 1;
    pdswap_(&n, x.data(), &one, &jl, c.desc, &one, x.data(), &one, &jf, c.desc, &one);
    std::swap(at[l], at[from]);
    where[at[l]] = l;
    where[at[from]] = from;
  }
  const size_t nn = static_cast<size_t>(n);
  std::vector<double> tmp(nn);
  for (int jl = 0; jl < c.local_cols; ++jl) {
    double* col = x.data() + static_cast<size_t>(jl) * nn;
    for (size_t i = 0; i < nn; ++i) tmp[i] = col[order[i]];
    std::copy(tmp.begin(), tmp.end(), col);
  }
}

// The serial right-looking elimination (spectral/gth_factor.cc) on the
// columns held here. Step s needs row s, whose entries lie with every
// process (the pivot: their sum, reduced), and column s, which its holder
// sends to all. Returns false on a zero pivot before the last step.
bool Eliminate(const Columns& c, std::vector<double>& x, std::vector<double>& pivot) {
  const int n = c.n;
  const size_t nn = static_cast<size_t>(n);
  auto col = [&x, nn](int jl) { return x.data() + static_cast<size_t>(jl) * nn; };
  std::vector<double> panel(nn * kPanel);
  pivot.assign(nn, 0.0);
  for (int b = 0; b < n; b += kPanel) {
    const int e = std::min(b + kPanel, n);
    for (int s = b; s < e; ++s) {
      // The pivot: a fresh sum of the remaining exit rates of s.
      double part = 0.0;
      for (int jl = 0; jl < c.local_cols; ++jl) {
        if (c.Global(jl) > s) part += col(jl)[s];
      }
      double r = 0.0;
      MPI_Allreduce(&part, &r, 1, MPI_DOUBLE, MPI_SUM, MPI_COMM_WORLD);
      pivot[s] = r;
      if (s + 1 == n) break;
      if (!(r > 0.0)) return false;
      for (int jl = 0; jl < c.local_cols; ++jl) {
        if (c.Global(jl) > s) col(jl)[s] /= r;
      }
      double* cs = panel.data() + static_cast<size_t>(s - b) * nn;
      if (c.Owner(s) == c.rank) std::copy(col(c.Local(s)) + s + 1, col(c.Local(s)) + n, cs + s + 1);
      MPI_Bcast(cs + s + 1, n - s - 1, MPI_DOUBLE, c.Owner(s), MPI_COMM_WORLD);
      for (int jl = 0; jl < c.local_cols; ++jl) {
        const int j = c.Global(jl);
        if (j <= s) continue;
        double* cj = col(jl);
        const double bj = cj[s];
        if (bj == 0.0) continue;
        // Rows s+1 .. e-1 of every active column; rows from e on of the
        // panel's own columns.
        for (int t = s + 1; t < e; ++t) cj[t] += cs[t] * bj;
        if (j < e) {
          for (int i = e; i < n; ++i) cj[i] += cs[i] * bj;
        }
      }
    }
    if (e >= n) continue;
    // The rest of the trailing matrix: q(i, j) += sum_s q(i, s) b(s, j).
    for (int k = 0; k < 2; ++k) {
      const auto [first, count] = c.Run(k);
      const int from = std::max(first, e), cols = first + count - from;
      if (cols <= 0) continue;
      const int m = n - e, depth = e - b, ld = n;
      const double one = 1.0;
      double* cj = col(c.Local(from));
      dgemm_("N", "N", &m, &cols, &depth, &one, panel.data() + e, &ld, cj + b, &ld, &one, cj + e,
             &ld, 1, 1);
    }
  }
  return true;
}

// p by back-substitution, block of columns by block from the last:
// p_s r_s = sum_{i>s} p_i q(i, s), each block's holder solving its steps and
// sending their values to all.
std::vector<double> BackSubstitute(const Columns& c, const std::vector<double>& x,
                                   const std::vector<double>& pivot) {
  const int n = c.n;
  const size_t nn = static_cast<size_t>(n);
  std::vector<double> p(nn, 0.0);
  p[nn - 1] = 1.0;
  const int blocks = (n + c.w - 1) / c.w;
  for (int blk = blocks - 1; blk >= 0; --blk) {
    const int lo = blk * c.w, hi = std::min(lo + c.w, n - 1);
    if (lo >= hi) continue;
    if (c.Owner(lo) == c.rank) {
      for (int s = hi; s-- > lo;) {
        const double* cs = x.data() + static_cast<size_t>(c.Local(s)) * nn;
        double flow = 0.0;
        for (size_t i = static_cast<size_t>(s) + 1; i < nn; ++i) flow += p[i] * cs[i];
        p[s] = flow / pivot[s];
      }
    }
    MPI_Bcast(p.data() + lo, hi - lo, MPI_DOUBLE, c.Owner(lo), MPI_COMM_WORLD);
  }
  return p;
}

// X(s, s) = sqrt(r_s), X(i, s) = -sqrt(b(s, i)) sqrt(q(i, s)) for i > s, as
// the serial factor; b(s, i) lies in column i, which the transpose brings
// to column s. The last column is zero.
void FormFactor(const Columns& c, std::vector<double>& x, const std::vector<double>& pivot) {
  const int n = c.n, one = 1;
  const size_t nn = static_cast<size_t>(n);
  std::vector<double> t = Allocate(nn * static_cast<size_t>(std::max(1, c.local_cols)));
  const double alpha = 1.0, beta = 0.0;
  pdtran_(&n, &n, &alpha, x.data(), &one, &one, c.desc, &beta, t.data(), &one, &one, c.desc);
  for (int jl = 0; jl < c.local_cols; ++jl) {
    const int s = c.Global(jl);
    double* col = x.data() + static_cast<size_t>(jl) * nn;
    const double* brow = t.data() + static_cast<size_t>(jl) * nn;
    if (s == n - 1) {
      std::fill(col, col + nn, 0.0);
      continue;
    }
    for (int i = s + 1; i < n; ++i) col[i] = -std::sqrt(brow[i]) * std::sqrt(col[i]);
    std::fill(col, col + s, 0.0);
    col[s] = std::sqrt(pivot[s]);
  }
}

// The parallel sweeps. Each round every process runs one serial sweep on
// its two blocks side by side (the pairs inside each and across them, the
// same componentwise test), then hands its blocks on along the tournament.
// A sweep with no rotation anywhere, agreed by one reduction, ends it.
// One serial sweep per round, not a pair solved to the end: at n = 1000
// that took 1.9 times the processor time on 2 processes (5 sweeps against
// 7, but each several times dearer).
JacobiResult ParallelJacobi(const Columns& c, std::vector<double>& x) {
  const int n = c.n, procs = c.procs, w = c.w;
  const int positions = TournamentPositions(2 * procs), rounds = TournamentRounds(2 * procs);
  const int mine[2] = {c.rank, positions - 1 - c.rank};
  auto table = [positions](int q) { return std::min(q, positions - 1 - q); };
  auto slot = [procs](int q) { return q < procs ? 0 : 1; };
  const size_t block = static_cast<size_t>(n) * static_cast<size_t>(w);
  std::vector<double> y = procs > 1 ? Allocate(x.size()) : std::vector<double>();
  JacobiOptions inner;
  const int cap = inner.max_sweeps;
  inner.max_sweeps = 1;
  JacobiResult result;
  while (result.sweeps < cap) {
    ++result.sweeps;
    // The serial start, columns by descending norm, inside each pair of the
    // first sweep only: a sweep that ends the iteration must leave every
    // column in its block, or some pairs of columns would go untested.
    inner.sort_columns = result.sweeps == 1;
    int rotated = 0;
    for (int round = 0; round < rounds; ++round) {
      const JacobiResult pair = OneSidedJacobiSweeps(n, 2 * w, x.data(), n, inner);
      if (!pair.converged || pair.sweeps > 1) rotated = 1;
      if (procs == 1) continue;
      MPI_Request requests[4];
      int count = 0;
      for (int s = 0; s < 2; ++s) {
        const int from = table(TournamentPreviousPosition(positions, mine[s]));
        if (from == c.rank) continue;
        MPI_Irecv(y.data() + s * block, static_cast<int>(block), MPI_DOUBLE, from, s,
                  MPI_COMM_WORLD, &requests[count++]);
      }
      for (int s = 0; s < 2; ++s) {
        const int to = TournamentNextPosition(positions, mine[s]);
        const double* from = x.data() + s * block;
        if (table(to) == c.rank) {
          std::copy(from, from + block, y.data() + slot(to) * block);
        } else {
          MPI_Isend(from, static_cast<int>(block), MPI_DOUBLE, table(to), slot(to), MPI_COMM_WORLD,
                    &requests[count++]);
        }
      }
      MPI_Waitall(count, requests, MPI_STATUSES_IGNORE);
      std::swap(x, y);
    }
    MPI_Allreduce(MPI_IN_PLACE, &rotated, 1, MPI_INT, MPI_MAX, MPI_COMM_WORLD);
    if (rotated == 0) {
      result.converged = true;
      break;
    }
  }
  return result;
}

}  // namespace

SpectrumStatus DistributedReversibleSpectrum(DistMatrix& a, DistributedModes& out) {
  out = DistributedModes{};
  const int n = a.n;
  const size_t nn = static_cast<size_t>(n);
  const ProcessGrid grid = a.grid;
  double largest = 0.0;
  const bool finite = CheckRates(a, largest);
  if (!finite || n == 0 || (n > 1 && largest == 0.0)) {
    std::vector<double>().swap(a.local);
    return !finite  ? SpectrumStatus::kNotFinite
           : n == 0 ? SpectrumStatus::kOk
                    : SpectrumStatus::kReducible;
  }
  out.n = n;
  if (n == 1) {
    std::vector<double>().swap(a.local);
    out.evals = {0.0};
    out.p8 = {1.0};
    out.row_state = {0};
    out.cols = 1;
    out.x = {grid.rank == 0 ? 1.0 : 0.0};
    out.col_mode = {grid.rank == 0 ? 0 : -1};
    return SpectrumStatus::kOk;
  }

  // The serial static order, its breadth-first search fetching the rates
  // into and out of each state it expands: column c of A = U^T holds the
  // rates into c, row c those out of it.
  std::vector<int> order;
  {
    std::vector<double> row, column;
    order = EliminationOrderOf(LocalBalanceLogWeights(n, [&](int c) {
      FetchRowAndColumn(a, c, c, row, column);
      return BalanceLines{column.data(), 1, row.data(), 1};
    }));
  }

  // A read column-major is the serial factor's q; a change of layout puts
  // it in whole columns, kPanel columns at a time so that the copy's
  // buffers stay small beside the two matrices.
  const Columns cols = MakeColumns(n, grid);
  // A block travels as one message, whose count MPI takes as an int.
  if (grid.size > 1 && nn * static_cast<size_t>(cols.w) > static_cast<size_t>(INT_MAX)) {
    Fatal(kExitError,
          "ERROR: %d states are too many for %d processes: a block of columns would exceed one "
          "message; run on more processes\n",
          n, grid.size);
  }
  std::vector<double> x = Allocate(nn * static_cast<size_t>(2 * cols.w + 1));
  const int one = 1;
  for (int first = 0; first < n; first += kPanel) {
    const int width = std::min(kPanel, n - first), j = first + 1;
    pdgemr2d_(&n, &width, a.local.data(), &one, &j, a.desc, x.data(), &one, &j, cols.desc,
              &grid.context);
  }
  std::vector<double>().swap(a.local);
  Permute(cols, x, order);
  for (int jl = 0; jl < cols.local_cols; ++jl) {
    double* col = x.data() + static_cast<size_t>(jl) * nn;
    for (size_t i = 0; i < nn; ++i) col[i] /= largest;
    col[cols.Global(jl)] = 0.0;  // never read; zero keeps the sums that land there finite
  }

  std::vector<double> pivot;
  if (!Eliminate(cols, x, pivot)) {
    Cblacs_gridexit(cols.context);
    return SpectrumStatus::kReducible;
  }
  const std::vector<double> p = BackSubstitute(cols, x, pivot);
  double total = 0.0;
  for (double v : p) total += v;
  out.p8.assign(nn, 0.0);
  for (size_t s = 0; s < nn; ++s) out.p8[order[s]] = p[s] / total;
  FormFactor(cols, x, pivot);
  Cblacs_gridexit(cols.context);

  const JacobiResult jacobi = ParallelJacobi(cols, x);
  out.sweeps = jacobi.sweeps;

  // The modes: every column but the zero ones (X's last and the padding;
  // rotations never touch a zero column), sorted by eigenvalue over all
  // processes, ties in process and column order.
  const int k = 2 * cols.w;
  std::vector<double> sigma(static_cast<size_t>(k));
  NormalizeJacobiColumns(n, k, x.data(), n, sigma.data());
  std::vector<double> all(static_cast<size_t>(k) * grid.size);
  MPI_Allgather(sigma.data(), k, MPI_DOUBLE, all.data(), k, MPI_DOUBLE, MPI_COMM_WORLD);
  std::vector<int> modes;
  for (size_t i = 0; i < all.size(); ++i) {
    if (all[i] > 0.0) modes.push_back(static_cast<int>(i));
  }
  if (modes.size() != nn - 1) {
    out = DistributedModes{};
    return SpectrumStatus::kReducible;
  }
  // lambda = -sigma^2 * scale, formed as a square of sigma sqrt(scale) so
  // that a tiny sigma^2 does not underflow on the way.
  const double root_scale = std::sqrt(largest);
  std::vector<double> lambda(all.size());
  for (size_t i = 0; i < all.size(); ++i) {
    const double y = all[i] * root_scale;
    lambda[i] = -(y * y);
  }
  std::stable_sort(modes.begin(), modes.end(), [&](int u, int v) { return lambda[u] > lambda[v]; });
  out.evals.assign(nn, 0.0);
  out.col_mode.assign(static_cast<size_t>(k) + 1, -1);
  for (size_t m = 0; m < modes.size(); ++m) {
    out.evals[m + 1] = lambda[modes[m]];
    if (modes[m] / k == grid.rank) out.col_mode[modes[m] % k] = static_cast<int>(m + 1);
  }
  // The stationary mode in the extra column of rank 0.
  if (grid.rank == 0) {
    double norm = 0.0;
    for (double v : out.p8) norm += v;  // |sqrt(p8)|^2 = sum p8
    norm = std::sqrt(norm);
    double* col = x.data() + static_cast<size_t>(k) * nn;
    for (size_t r = 0; r < nn; ++r) col[r] = std::sqrt(out.p8[order[r]]) / norm;
    out.col_mode[k] = 0;
  }
  out.x = std::move(x);
  out.cols = k + 1;
  out.row_state = std::move(order);
  return jacobi.converged ? SpectrumStatus::kOk : SpectrumStatus::kSweepCapHit;
}

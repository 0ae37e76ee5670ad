// Mean first passage times of the Markov process defined by U: between all
// pairs of states (through the fundamental matrix), to one target state, and
// the times until absorption when an absorbing state exists.
#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "calc/calc.h"
#include "matrix/dense.h"
#include "matrix/lapack.h"

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

// A singular system has no finite answer for at least one state; the
// solvers' leftovers would read as plausible (even negative) times, so the
// caller reports NaN instead and says why.
void WarnSingular(const RunOptions& opts) {
  if (!opts.quiet) {
    fprintf(stderr, "WARNING: singular system, first passage times are undefined\n");
  }
}

// Appends x as "%15.7g " would print it. std::to_chars in general format
// with precision 7 is specified to give exactly printf's %.7g, and it is
// several times faster, which matters for the n*n values of the full matrix.
void AppendG(std::string& line, double x) {
  char buf[32];
  const auto result = std::to_chars(buf, buf + sizeof buf, x, std::chars_format::general, 7);
  const size_t len = static_cast<size_t>(result.ptr - buf);
  if (len < 15) line.append(15 - len, ' ');
  line.append(buf, len);
  line.push_back(' ');
}

// Solves A^T x = b for the row-major m x m matrix `a` (LAPACK reads our rows as
// its columns): for every column j, sum_i a(i, j) * x_i = b_j. `a` is
// destroyed and `b` receives x. Returns false when the system is singular.
bool SolveTransposed(std::vector<double>& a, std::vector<double>& b, int m) {
  if (m == 0) return true;
  const int nrhs = 1;
  std::vector<int> ipiv(m);
  int info = 0;
  dgesv_(&m, &nrhs, a.data(), &m, ipiv.data(), b.data(), &m, &info);
  if (info < 0) LapackArgumentBug("dgesv", info);
  return info == 0;
}

}  // namespace

void Calc::MxFirstPassageTimes(const std::vector<double>& U, const std::vector<double>& p8,
                               FILE* out) const {
  const int n = dim;
  // The generator G is U without the --useplusI shift; `shift` takes it off
  // the diagonal so that the times do not depend on that option.
  const double shift = opts.useplusI ? 1.0 : 0.0;

  if (absorbing_state == 0) {
    // A = -G^T + 1 p8^T; its inverse Z is the fundamental matrix and
    // T(i, j) = (Z(j, j) - Z(i, j)) / p8[j].
    std::vector<double> z(static_cast<size_t>(n) * n);
    for (int r = 0; r < n; ++r) {
      double* row = &z[static_cast<size_t>(r) * n];
      for (int c = 0; c < n; ++c) row[c] = p8[c] - U[static_cast<size_t>(c) * n + r];
      row[r] += shift;
    }
    const bool ok = n == 0 || MxInverse(z.data(), n, opts.feps) == 0;
    if (!ok) WarnSingular(opts);
    std::vector<double> zdiag(n);
    for (int j = 0; j < n; ++j) zdiag[j] = z[static_cast<size_t>(j) * n + j];

    // The times replace Z in place, row by row.
    for (int i = 0; i < n; ++i) {
      double* zi = &z[static_cast<size_t>(i) * n];
      for (int j = 0; j < n; ++j) zi[j] = ok ? (zdiag[j] - zi[j]) / p8[j] : kNaN;
    }
    MxWriteFirstPassageTimes(z, out);
    return;
  }

  // Absorbing times: the absorbing state is the last one; over the m
  // transient states sum_i -G(i, j) x_i = 1, x_j the mean time to absorption
  // from j.
  const int m = n > 0 ? n - 1 : 0;
  std::vector<double> a(static_cast<size_t>(m) * m);
  for (int i = 0; i < m; ++i) {
    for (int j = 0; j < m; ++j) {
      a[static_cast<size_t>(i) * m + j] = -U[static_cast<size_t>(i) * n + j];
    }
    a[static_cast<size_t>(i) * m + i] += shift;
  }
  std::vector<double> x(m, 1.0);
  if (SolveTransposed(a, x, m)) {
    // Every path to absorption passes through the absorbed minimum, so the
    // time from k to that minimum is x_k - x_a.
    const int absorbed = absorbed_minimum;
    if (absorbed >= 0 && absorbed < m) {
      const double xa = x[absorbed];
      for (double& v : x) v -= xa;
    }
  } else {
    WarnSingular(opts);
    x.assign(m, kNaN);
  }

  MxWriteAbsorbingTimes(x, out);
}

void Calc::MxWriteFirstPassageTimes(const std::vector<double>& times, FILE* out) const {
  const int n = dim;
  if (out == stderr) {
    fprintf(out, "%s:\n",
            "First passage times (i-th row, j-th column represents fpt from i-th to j-th "
            "state)");
  }
  // One row and column per input state: a state removed by the ergodicity
  // reduction is not part of the system (nan from it) and is never reached
  // from a kept state (inf to it).
  const std::vector<int> index = ReducedIndices();
  std::string line;
  for (int r : index) {
    line.clear();
    if (r < 0) {
      for (size_t j = 0; j < index.size(); ++j) AppendG(line, kNaN);
    } else {
      const double* row = &times[static_cast<size_t>(r) * n];
      for (int c : index) AppendG(line, c < 0 ? kInf : row[c]);
    }
    line.push_back('\n');
    fwrite(line.data(), 1, line.size(), out);
  }
  if (out == stderr) fputs("---\n", out);
}

void Calc::MxWriteAbsorbingTimes(const std::vector<double>& times, FILE* out) const {
  const bool framed = out == stderr;
  if (framed) fprintf(out, "%s:\n", "Absorbing times: ");
  // In input numbering: the absorbing state stays last, so the transient
  // states are all input states but that one; removed ones print nan.
  std::vector<double> x(times);
  x.push_back(0.0);
  const std::vector<double> input_x = ToInputNumbering(x.data(), kNaN);
  std::string line;
  for (size_t k = 0; k + 1 < input_x.size(); ++k) AppendG(line, input_x[k]);
  line += framed ? "\n---\n" : "\n";
  fwrite(line.data(), 1, line.size(), out);
}

std::optional<std::vector<double>> Calc::MxFirstPassageTo(const std::vector<double>& U,
                                                          int target) const {
  const int n = dim;
  if (target < 0 || target >= n) {
    fprintf(stderr, "State %d does not exist (--fpt %d)", target + 1, target + 1);
    return std::nullopt;
  }
  const int m = n - 1;
  const double shift = opts.useplusI ? 1.0 : 0.0;

  // G without the row and column of the target; row i stands for state i if
  // i < target, else for state i + 1, and likewise for columns.
  std::vector<double> a(static_cast<size_t>(m) * m);
  for (int i = 0; i < m; ++i) {
    const double* src = &U[static_cast<size_t>(i < target ? i : i + 1) * n];
    double* dst = &a[static_cast<size_t>(i) * m];
    for (int j = 0; j < target; ++j) dst[j] = src[j];
    for (int j = target; j < m; ++j) dst[j] = src[j + 1];
    dst[i] -= shift;
  }
  // For every state j' other than the target: sum_i' G(i', j') x_i' = -1.
  std::vector<double> x(m, -1.0);
  if (!SolveTransposed(a, x, m)) {
    WarnSingular(opts);
    x.assign(m, kNaN);
  }

  std::vector<double> times(n, 0.0);
  for (int i = 0; i < m; ++i) times[i < target ? i : i + 1] = x[i];
  return times;
}

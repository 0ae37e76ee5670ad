// The population table: p(t) = CL * exp(evals * t / T) * CR * p0 on a
// geometric time axis, with its header block and per-line probability checks;
// the evaluation itself (calc/table/populations.h) is shared with the Python module.
#include "calc/table/iterate.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <string>

#include "base/fatal.h"
#include "calc/model/calc.h"
#include "calc/table/populations.h"
#include "calc/table/table_walk.h"
#include "matrix/dense.h"
#include "matrix/lapack.h"
#include "matrix/number_text.h"

namespace {

// Time points evaluated together: one dgemm turns a block of coefficient
// vectors into populations.
constexpr size_t kBlock = 64;

// y = A x for row-major n x n A (column-major view: A^T, hence "T").
void RowMajorTimesVector(const double* a, const double* x, double* y, int n) {
  const int ld = std::max(n, 1);
  const int one = 1;
  const double alpha = 1.0, beta = 0.0;
  dgemv_("T", &n, &n, &alpha, a, &ld, x, &one, &beta, y, &one, 1);
}

// y = A^T x for row-major n x n A.
void RowMajorTransposeTimesVector(const double* a, const double* x, double* y, int n) {
  const int ld = std::max(n, 1);
  const int one = 1;
  const double alpha = 1.0, beta = 0.0;
  dgemv_("N", &n, &n, &alpha, a, &ld, x, &one, &beta, y, &one, 1);
}

// Column k of the column-major n x cols result is CL * w_k, where w_k is the
// k-th contiguous n-vector of `w`.
void ApplyToColumns(const double* cl, const double* w, double* out, int n, int cols) {
  const int ld = std::max(n, 1);
  const double alpha = 1.0, beta = 0.0;
  dgemm_("T", "N", &n, &cols, &n, &alpha, cl, &ld, w, &ld, &beta, out, &ld, 1, 1);
}

}  // namespace

Status MakeEvolution(const Calc& calc, const Spectrum& spectrum, std::vector<double>&& evecs,
                     const std::vector<double>& p0, Evolution& e) {
  const RunOptions& opts = calc.opts;
  const int n = calc.dim();
  const size_t nn = static_cast<size_t>(n);
  e = Evolution{};
  e.n = n;
  // CL takes coefficients to populations and is formed in place of evecs;
  // CR never exists as a matrix on the default path, only c = CR * p0.
  e.CL = std::move(evecs);
  std::vector<double>& CL = e.CL;
  std::vector<double>& c = e.c;
  c.assign(nn, 0.0);

  if (calc.numbering().absorbing_state == 0) {
    // Eigenvectors of U are P^1/2 * evecs, those of U^T are P^-1/2 * evecs,
    // and evecs is orthonormal: CL = P^1/2 evecs, CR = evecs^T P^-1/2.
    std::vector<double> scaled_p0(nn);
    for (size_t i = 0; i < nn; ++i) scaled_p0[i] = spectrum.inv_sqrt_p8[i] * p0[i];
    RowMajorTransposeTimesVector(CL.data(), scaled_p0.data(), c.data(), n);
    std::vector<double> CR;
    if (opts.verbose) {
      CR.assign(nn * nn, 0.0);
      for (size_t k = 0; k < nn; ++k) {
        for (size_t i = 0; i < nn; ++i) CR[k * nn + i] = CL[i * nn + k] * spectrum.inv_sqrt_p8[i];
      }
    }
    for (size_t i = 0; i < nn; ++i) {
      for (size_t j = 0; j < nn; ++j) CL[i * nn + j] = spectrum.sqrt_p8[i] * CL[i * nn + j];
    }
    if (opts.verbose) {
      std::vector<double> identity(nn * nn);
      MxGemm(n, n, n, CL.data(), CR.data(), identity.data());
      MxPrint(calc, identity.data(), "CL*CR should be I", 'm');
      std::vector<double> c_from_cr(nn);
      RowMajorTimesVector(CR.data(), p0.data(), c_from_cr.data(), n);
      MxPrint(calc, c_from_cr.data(), "CR*p0 should start with 1", 'v');
      MxPrint(calc, c.data(), "CR*p0 should start with 1", 'v');
      MxPrint(calc, CL.data(), "CL", 'm');
      MxPrint(calc, CR.data(), "CR", 'm');
    }
  } else if (spectrum.solver == SpectrumSolver::kAccurate) {
    // CL = evecs of U itself. The factorised solver's left eigenvectors are
    // (v_k / p, 0) on the transient states (their eigenvectors are orthogonal
    // in the 1/p-weighted product) and all ones for the absorbing mode, so
    // c_k = <v_k, p0>_{1/p} / <v_k, v_k>_{1/p}: no inverse, no cancellation
    // beyond that of p0 itself. The weights are inv_sqrt_p8, 0 at the
    // absorbing state.
    if (opts.verbose) MxPrint(calc, spectrum.evals.data(), "evals in MxIterate", 'v');
    std::vector<double> norm(nn, 0.0);
    for (size_t i = 0; i < nn; ++i) {
      const double* row = CL.data() + i * nn;
      const double s = spectrum.inv_sqrt_p8[i], x = s * p0[i];
      for (size_t k = 0; k < nn; ++k) {
        const double w = s * row[k];
        c[k] += w * x;
        norm[k] += w * w;
      }
    }
    for (size_t k = 0; k < nn; ++k) c[k] = norm[k] > 0.0 ? c[k] / norm[k] : 0.0;
    c[0] = 0.0;
    for (size_t i = 0; i < nn; ++i) c[0] += p0[i];
  } else {
    // Detailed balance fails with an absorbing state: CL = evecs of U itself
    // and CR its inverse, which every line of the table uses.
    std::vector<double> CR(CL);
    if (MxInverse(CR.data(), n, opts.feps) != 0 ||
        !std::all_of(CR.begin(), CR.end(), [](double x) { return std::isfinite(x); })) {
      // LAPACK's general solver on stiff rates: the run that resolves them.
      const char* rerun =
          spectrum.solver == SpectrumSolver::kLapackInPlaceOfAccurate ? ": rerun with "
                                                                        "--eigensolver accurate"
          : spectrum.solver == SpectrumSolver::kLapackGeneral ? ": rerun with --eigensolver auto"
                                                              : "";
      return Failure(1,
                     "ERROR: MxIterate: the eigenvector matrix is singular and cannot be "
                     "inverted%s\n",
                     rerun);
    }
    if (opts.verbose) MxPrint(calc, spectrum.evals.data(), "evals in MxIterate", 'v');
    RowMajorTimesVector(CR.data(), p0.data(), c.data(), n);
  }

  // The eigenvalues in the unscaled time unit. Dividing them, not the time,
  // by --times keeps a tiny factor from overflowing t/T (exp(inf * 0) would
  // turn the equilibrium term into NaN).
  e.rate.resize(nn);
  for (size_t i = 0; i < nn; ++i) e.rate[i] = spectrum.evals[i] / opts.times;
  return Status{};
}

void EvolveBlock(const Evolution& e, const double* times, size_t count, double* w, double* pops,
                 char* out_of_range) {
  const size_t nn = static_cast<size_t>(e.n);
  for (size_t k = 0; k < count; ++k) {
    for (size_t i = 0; i < nn; ++i) {
      errno = 0;
      double d = std::exp(e.rate[i] * times[k]);
      out_of_range[k * nn + i] = errno == ERANGE || std::isnan(d);
      w[k * nn + i] = d * e.c[i];
    }
  }
  if (e.n > 0 && count > 0) {
    ApplyToColumns(e.CL.data(), w, pops, e.n, static_cast<int>(count));
  }
}

Status WalkPopulationTable(const Calc& calc, const Evolution& e, std::vector<double>& p0,
                           const std::vector<double>& p8, const TableWalk::Line& line, int& count) {
  const size_t nn = static_cast<size_t>(e.n);
  std::vector<double> w(kBlock * nn), pops(kBlock * nn);
  std::vector<char> out_of_range(kBlock * nn);
  return WalkTableBlocks<double>(
      calc, e.n, line, p0.data(), p8.data(), kBlock,
      [&](const std::vector<double>& times, TableWalk&) {
        EvolveBlock(e, times.data(), times.size(), w.data(), pops.data(), out_of_range.data());
        return PopulationBlock<double>{pops.data(), out_of_range.data()};
      },
      count);
}

Status MxIterate(const Calc& calc, Spectrum& spectrum, std::vector<double>& p0,
                 const std::vector<double>& p8) {
  Evolution e;
  if (Status status = MakeEvolution(calc, spectrum, std::move(spectrum.evecs), p0, e);
      !status.ok()) {
    return status;
  }
  MxOutputHeader(calc);
  const int n = calc.dim();
  int count = 0;
  Status status = WalkPopulationTable(
      calc, e, p0, p8,
      [&calc, n](double t, double* p) {
        Status printed = MxOutputLine(calc, p, n, t);
        if (printed.ok()) FlushTable();
        return printed;
      },
      count);
  if (!status.ok()) return status;
  EndPopulationTable(count);
  return Status{};
}

double FirstTableTime(const Calc& calc) { return calc.opts.t0 == 0.0 ? 1e-4 : calc.opts.t0; }

void MxOutputHeader(const Calc& calc) {
  time_t now = time(nullptr);
  const char* date = ctime(&now);
  printf(
      "# Date: %s# Sequence: %s\n# Method: %c\n# Start time: %.2f\n# Stop time: %.2f\n"
      "# Temperature: %.2f\n",
      date != nullptr ? date : "?\n", calc.sequence ? calc.sequence->c_str() : "(null)",
      calc.opts.method, calc.opts.t0, calc.opts.t8, calc.opts.Temp);
  printf("# Basename: <stdin>\n");
  printf("# Time increment: %.2f\n", calc.opts.tinc);
  printf("# Degeneracy:  %s\n", calc.opts.degeneracy == 1 ? "on" : "off");
  if (calc.numbering().absorbing_state > 0) {
    printf("# Absorbing state: %d\n", calc.numbering().absorbing_state);
  } else {
    printf("# Absorbing state: none\n");
  }
  printf("# States limit: %d\n", calc.opts.nstates);
}

Status CheckPopulationLine(const RunOptions& opts, double* p, int n, double t, double& sum) {
  const char mode = opts.num_err;
  sum = 0.0;
  for (int i = 0; i < n; ++i) {
    double x = p[i];
    if (x < -0.01) {
      if (mode == 'H') {
        return Failure(1, "prob of lmin %i at time %e has become negative: %e \n", i + 1, t, x);
      }
      fprintf(stderr, "prob of lmin %i at time %e has become negative: %e \n", i + 1, t, x);
      if (mode == 'R') {
        p[i] = 0.0;
        x = 0.0;
      }
    }
    sum += std::fabs(x);
  }
  // Written so that a NaN sum counts as lost probability: a table of "nan"
  // must not pass for a result.
  if (!(std::fabs(sum - 1.0) <= 0.05)) {
    // Nothing can be rescaled from a zero or non-finite sum, and a line of
    // non-finite populations must never reach the table.
    const bool fatal = mode == 'H' || sum == 0.0 || !std::isfinite(sum);
    const char* word = (mode == 'R' && !fatal) ? "rescaling" : "exiting";
    if (fatal) {
      return Failure(1, "overall probability at time %e is %e != 1.0 %s!\n", t, sum, word);
    }
    fprintf(stderr, "overall probability at time %e is %e != 1.0 %s!\n", t, sum, word);
  }
  return Status{};
}

Status MxOutputLine(const Calc& calc, double* p, int n, double t) {
  const char mode = calc.opts.num_err;
  double sum = 0.0;
  if (Status status = CheckPopulationLine(calc.opts, p, n, t, sum); !status.ok()) return status;

  // The whole line is formatted first and written at once.
  const std::vector<int>& kept = calc.numbering().kept;
  const int kept_columns = calc.numbering().kept_columns;
  const size_t columns = kept.empty() ? static_cast<size_t>(std::max(n, 0))
                                      : static_cast<size_t>(std::max(kept_columns, 0));
  std::string line(FormatBound(22, 20) + 1 + columns * (FormatBound(0, 6) + 1) + 1, '\0');
  char* out = FormatE(line.data(), t, 22, 20);
  *out++ = ' ';
  auto value = [&](double x) { return TableValue(mode, x, sum); };
  if (kept.empty()) {
    for (int i = 0; i < n; ++i) {
      out = FormatE(out, value(p[i]), 0, 6);
      *out++ = ' ';
    }
  } else {
    // States removed by the ergodicity reduction keep their column, at 0.
    size_t j = 0;
    for (int column = 0; column < kept_columns; ++column) {
      if (j < kept.size() && static_cast<int>(j) < n && kept[j] == column) {
        out = FormatE(out, value(p[j]), 0, 6);
        ++j;
      } else {
        out = FormatE(out, 0.0, 0, 6);
      }
      *out++ = ' ';
    }
  }
  *out++ = '\n';
  fwrite(line.data(), 1, static_cast<size_t>(out - line.data()), stdout);
  return Status{};
}

Status PrintOneStateTable(const Calc& calc, const std::vector<double>& p0) {
  if (!calc.ReducedToOneState()) return Status{};
  MxOutputHeader(calc);
  double p = p0[0];
  if (Status status = MxOutputLine(calc, &p, 1, calc.opts.t0); !status.ok()) return status;
  p = p0[0];
  return MxOutputLine(calc, &p, 1, calc.opts.t8);
}

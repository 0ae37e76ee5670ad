// Eigen-decomposition of the transition matrix. Without an absorbing state U
// obeys detailed balance with respect to p8, so P^-1/2 U P^1/2 is symmetric
// and goes to the symmetric solver; with one, the transient block does when
// its rates obey detailed balance (calc/spectrum/absorbing_spectrum.h), and U goes to
// the general solver otherwise.
#include "calc/spectrum/diagonalize.h"

#include <Eigen/Core>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <new>
#include <utility>

#include "base/status.h"
#include "calc/model/calc.h"
#include "calc/model/matrix_files.h"
#include "calc/spectrum/absorbing_evecs.h"
#include "calc/spectrum/absorbing_spectrum.h"
#include "calc/spectrum/eigen_checks.h"
#include "calc/spectrum/finish_spectrum.h"
#include "calc/spectrum/symmetrize.h"
#include "matrix/dense.h"
#include "matrix/lapack.h"
#include "spectral/reversible_spectrum.h"

namespace {

// The eigensolvers' guard: a matrix holding NaN is refused before LAPACK
// sees it.
Status RefuseNaN(const std::vector<double>& a) {
  for (double x : a) {
    if (std::isnan(x)) return Failure(1, "Cannot compute eigenvalues: the matrix holds NaN\n");
  }
  return Status{};
}

// Full n x n matrix with `diag` on its diagonal; only for verbose prints.
std::vector<double> DiagonalMatrix(const std::vector<double>& diag) {
  size_t n = diag.size();
  std::vector<double> m(n * n, 0.0);
  for (size_t i = 0; i < n; ++i) m[i * n + i] = diag[i];
  return m;
}

// a = diag(d) * a, or a = a * diag(d) when `columns`, in O(n^2). The result
// matches the dense product with a diagonal matrix, including its NaNs: there
// every entry of a line picks up 0 * x from the other entries of its row
// (or column) of `a`, which is NaN as soon as one of those is infinite or NaN.
void ScaleLikeDenseProduct(double* a, const std::vector<double>& d, int n, bool columns) {
  size_t nn = static_cast<size_t>(n);
  // bad[k]: non-finite entries in the line of `a` that the k-th result line sums over.
  std::vector<int> bad(nn, 0);
  for (size_t i = 0; i < nn; ++i) {
    for (size_t j = 0; j < nn; ++j) {
      if (!std::isfinite(a[i * nn + j])) ++bad[columns ? i : j];
    }
  }
  const double nan = std::numeric_limits<double>::quiet_NaN();
  for (size_t i = 0; i < nn; ++i) {
    for (size_t j = 0; j < nn; ++j) {
      double& x = a[i * nn + j];
      size_t line = columns ? i : j;
      int others = bad[line] - (std::isfinite(x) ? 0 : 1);
      // The dense sum starts at 0.0; adding it keeps the sign of zero alike.
      x = others > 0 ? nan : 0.0 + (columns ? x * d[j] : d[i] * x);
    }
  }
}

// dsyevr (relatively robust representations) on the symmetric S: for when
// the work space of dsyevd cannot be had. Eigenvalues ascending into `evals`,
// eigenvectors column-major into `evecs`.
Status SolveRelativelyRobust(std::vector<double>& S, int n, double abstol,
                             std::vector<double>& evals, std::vector<double>& evecs) {
  const size_t nn = static_cast<size_t>(n);
  evecs.resize(nn * nn);
  const int ld = n > 0 ? n : 1;
  const double vl = 0.0, vu = 0.0;
  const int il = 0, iu = 0;
  int found = 0;
  int info = 0;
  std::vector<int> isuppz(2 * nn + 2);
  // Workspace query first: dsyevr's needs are small (O(n)) and exact.
  int lwork = -1, liwork = -1;
  double work_size = 0.0;
  int iwork_size = 0;
  dsyevr_("V", "A", "U", &n, S.data(), &ld, &vl, &vu, &il, &iu, &abstol, &found, evals.data(),
          evecs.data(), &ld, isuppz.data(), &work_size, &lwork, &iwork_size, &liwork, &info, 1, 1,
          1);
  if (info == 0) {
    lwork = static_cast<int>(work_size) + 1;
    liwork = iwork_size > 0 ? iwork_size : 1;
    std::vector<double> work(static_cast<size_t>(lwork));
    std::vector<int> iwork(static_cast<size_t>(liwork));
    dsyevr_("V", "A", "U", &n, S.data(), &ld, &vl, &vu, &il, &iu, &abstol, &found, evals.data(),
            evecs.data(), &ld, isuppz.data(), work.data(), &lwork, iwork.data(), &liwork, &info, 1,
            1, 1);
  }
  if (info < 0) LapackArgumentBug("dsyevr", info);
  if (info > 0) {
    // W(INFO) only exists for 1 <= INFO <= n.
    double val = info <= n ? evals[info - 1] : std::numeric_limits<double>::quiet_NaN();
    fprintf(stderr,
            "dsyevr exited with value %d (val=%20.10g) (Cannot compute eigenvalues) Try to:\n"
            " - lower --feps value (try --feps=-1.0)\n"
            " - try using --useplusI option (sometimes the eigenvalues are better computed like "
            "that)\n",
            info, val);
    if (info < n) {
      // Column INFO of LAPACK's column-major output.
      for (size_t r = 0; r < nn; ++r) fprintf(stderr, "%20.10g ", evecs[info * nn + r]);
    }
    return Failure(1, "\n\n");
  }
  return Status{};
}

// The symmetry correction that the LAPACK path applies to S, computed
// without forming S: its report is part of every run's output, whichever
// solver runs. Bit for bit the sum MxDiagonalize forms (the same products
// in the same order); only called on finite rates and a positive p8.
double SymmetryCorrectionOf(const std::vector<double>& U, const std::vector<double>& p8, int n) {
  const size_t nn = static_cast<size_t>(n);
  std::vector<double> sqrt_p, inv_sqrt_p;
  MxSqrtScalings(p8, nn, sqrt_p, inv_sqrt_p);
  auto s = [&](size_t i, size_t j) {
    return 0.0 + (0.0 + inv_sqrt_p[i] * U[i * nn + j]) * sqrt_p[j];
  };
  double err = 0.0;
  for (size_t i = 0; i < nn; ++i) {
    for (size_t j = i; j < nn; ++j) {
      const double uij = s(i, j), uji = s(j, i);
      err += std::fabs((uij + uji) * 0.5 - uij);
    }
  }
  return err;
}

}  // namespace

Status MxDiagonalizeAccurate(Calc& calc, std::vector<double>& U, const std::vector<double>& p8,
                             Spectrum& spectrum, std::vector<double>& unshifted,
                             SpectrumOutcome& outcome) {
  const int n = calc.dim();
  const size_t nn = static_cast<size_t>(n);
  // The solver never reads the diagonal, where a NaN rate to a state that
  // the ergodicity reduction removed is left: such rates are refused the
  // LAPACK way, by its symmetrisation.
  if (!RefuseNaN(U).ok()) {
    outcome = SpectrumOutcome::kUseLapack;
    return Status{};
  }
  // The solver takes its input as work space; U stays whole for a fallback.
  // evecs is replaced by the solver's: release it first, so that U, the work
  // copy and the Jacobi's |X| are the only n x n buffers at the peak.
  std::vector<double>().swap(spectrum.evecs);
  std::vector<double> work(U);
  ReversibleSpectrum solution;
  const SpectrumStatus solved = ComputeReversibleSpectrum(n, work, solution);
  std::vector<double>().swap(work);
  // A chain the solver cannot take (which the checks before it should have
  // kept away) goes the LAPACK way, with that path's messages.
  if (solved == SpectrumStatus::kReducible || solved == SpectrumStatus::kNotFinite) {
    outcome = SpectrumOutcome::kUseLapack;
    return Status{};
  }

  if (calc.opts.verbose) {
    // The LAPACK path's prints of the symmetrisation, on a copy.
    std::vector<double> S(U);
    std::vector<double> sqrt_p, inv_sqrt_p;
    MxSqrtScalings(p8, nn, sqrt_p, inv_sqrt_p);
    MxPrint(calc, S.data(), "input U", 'm');
    ScaleLikeDenseProduct(S.data(), inv_sqrt_p, n, false);
    MxPrint(calc, DiagonalMatrix(inv_sqrt_p).data(), "_sqrPI", 'm');
    MxPrint(calc, S.data(), "tmpMx = _sqrPI*U", 'm');
    ScaleLikeDenseProduct(S.data(), sqrt_p, n, true);
    MxPrint(calc, DiagonalMatrix(sqrt_p).data(), "sqrPI_", 'm');
    MxPrint(calc, S.data(), "U = _sqrPI*U*sqrPI_ (this should be symmetric, but still uncorrected)",
            'm');
  }
  if (Status status = EndSymmetryCorrection(calc.opts, n, SymmetryCorrectionOf(U, p8, n), false);
      !status.ok()) {
    return status;
  }
  if (solved == SpectrumStatus::kSweepCapHit) {
    if (!calc.opts.quiet) {
      fprintf(stderr,
              "WARNING: the accurate eigensolver did not converge in %d sweeps: falling back to "
              "--mlapack-method QD\n",
              solution.sweeps);
    }
    outcome = SpectrumOutcome::kUseQuadDouble;
    return Status{};
  }

  spectrum.evals = std::move(solution.evals);
  spectrum.evecs = std::move(solution.evecs);
  // With --useplusI the checks and files see the stationary eigenvalue at 1,
  // as the shifted U has it; the time evolution gets the unshifted values
  // back whole (1 + lambda - 1 would lose every slow lambda).
  if (calc.opts.useplusI) {
    unshifted = spectrum.evals;
    for (double& e : spectrum.evals) e += 1.0;
  }
  // The time evolution scales with the run's p8, as after --recoverE: for
  // rates in detailed balance the solver's own equilibrium is the same to a
  // few ulps.
  MxSqrtScalings(p8, nn, spectrum.sqrt_p8, spectrum.inv_sqrt_p8);
  outcome = SpectrumOutcome::kDone;
  return Status{};
}

Status MxDiagonalize(Calc& calc, std::vector<double>& U, const std::vector<double>& p8,
                     const SolverChoice& choice, Spectrum& spectrum, SpectrumOutcome& outcome) {
  const int n = calc.dim();
  const size_t nn = static_cast<size_t>(n);
  const bool absorbing = calc.numbering().absorbing_state != 0;
  outcome = SpectrumOutcome::kDone;
  Status status;
  std::vector<double>& evals = spectrum.evals;
  std::vector<double>& evecs = spectrum.evecs;
  // The factorised solvers' eigenvalues while evals carry the --useplusI
  // shift.
  std::vector<double> unshifted;

  if (calc.opts.mathematicamatrix == 1) {
    if (status = MxMathematicaWrite(calc, U.data()); !status.ok()) return status;
  }

  spectrum.solver = choice.solver;
  if (choice.solver == SpectrumSolver::kAccurate) {
    SpectrumOutcome accurate = SpectrumOutcome::kDone;
    if (absorbing) {
      accurate = DiagonalizeAbsorbingAccurate(calc, U, spectrum, unshifted);
    } else if (status = MxDiagonalizeAccurate(calc, U, p8, spectrum, unshifted, accurate);
               !status.ok()) {
      return status;
    }
    if (accurate == SpectrumOutcome::kUseQuadDouble) {
      outcome = accurate;
      return status;
    }
    if (accurate != SpectrumOutcome::kDone) spectrum.solver = choice.declined;
  }

  if (spectrum.solver != SpectrumSolver::kAccurate && !absorbing) {
    if (calc.opts.verbose) MxPrint(calc, U.data(), "input U", 'm');
    MxSqrtScalings(p8, nn, spectrum.sqrt_p8, spectrum.inv_sqrt_p8);
    // S = P^-1/2 U P^1/2 as two diagonal scalings; a zero in p8 makes an
    // infinite scale and thus NaNs, which the symmetry check below reports.
    ScaleLikeDenseProduct(U.data(), spectrum.inv_sqrt_p8, n, false);
    if (calc.opts.verbose) {
      MxPrint(calc, DiagonalMatrix(spectrum.inv_sqrt_p8).data(), "_sqrPI", 'm');
      MxPrint(calc, U.data(), "tmpMx = _sqrPI*U", 'm');
    }
    ScaleLikeDenseProduct(U.data(), spectrum.sqrt_p8, n, true);
    if (calc.opts.verbose) {
      MxPrint(calc, DiagonalMatrix(spectrum.sqrt_p8).data(), "sqrPI_", 'm');
      MxPrint(calc, U.data(),
              "U = _sqrPI*U*sqrPI_ (this should be symmetric, but still uncorrected)", 'm');
    }

    status = SymmetrizeAndReport<double>(
        calc.opts, n,
        [&U, nn](int i, int j) -> double& {
          return U[static_cast<size_t>(i) * nn + static_cast<size_t>(j)];
        },
        {});
    if (!status.ok()) return status;
    if (calc.opts.verbose) MxPrint(calc, U.data(), "force symmetrized U", 'm');
  }

  // Each solver sizes evals and evecs itself, so that no n x n buffer
  // waits beside its work space.
  if (spectrum.solver == SpectrumSolver::kAccurate) {
    // evals and evecs are filled.
  } else if (absorbing) {
    status = MxEigenGeneral(calc, U, spectrum);
  } else {
    status = MxEigenSymmetric(calc, U, spectrum);
  }
  if (!status.ok()) return status;

  // The steps after the solver, shared with the extended arithmetics, run
  // on the buffers in place.
  Eigen::Map<Eigen::VectorXd> values(evals.data(), n);
  Eigen::Map<Eigen::Matrix<double, Eigen::Dynamic, Eigen::Dynamic, Eigen::RowMajor>> vectors(
      evecs.data(), n, n);
  SpectrumFinishing steps;
  steps.solver =
      spectrum.solver == SpectrumSolver::kAccurate ? "factorised solver" : spectrum.routine;
  steps.complete_absorbing = [&calc, &spectrum] { MxCompleteEvecs(calc, spectrum); };
  steps.after_dump = [&calc, &spectrum, absorbing, nn]() -> Status {
    if (!calc.opts.verbose || absorbing) return Status{};
    // R = P^1/2 * evecs: the eigenvectors of U itself.
    std::vector<double> R(spectrum.evecs);
    for (size_t i = 0; i < nn; ++i) {
      for (size_t j = 0; j < nn; ++j) R[i * nn + j] = 0.0 + spectrum.sqrt_p8[i] * R[i * nn + j];
    }
    if (Status status = MxASCIIWrite(calc, R.data(), "evecR.txt"); !status.ok()) return status;
    std::vector<double> sums(nn, 0.0);
    for (size_t i = 0; i < nn; ++i) {
      for (size_t j = 0; j < nn; ++j) sums[j] += R[i * nn + j];
    }
    fprintf(stderr, "Sums of EVs of rate matrix R\n");
    for (size_t c = 0; c < nn; ++c) fprintf(stderr, "%d %15.8g  ", static_cast<int>(c), sums[c]);
    fprintf(stderr, "\n");
    return Status{};
  };
  steps.remove_plus_i = [&spectrum, &unshifted] {
    if (spectrum.solver == SpectrumSolver::kAccurate) {
      // The clamp only ever set evals[0], which is 0 here as well. Copied,
      // not swapped, so that evals keeps its buffer.
      std::copy(unshifted.begin(), unshifted.end(), spectrum.evals.begin());
    } else {
      MxRemovePlusIShift(spectrum.evals);
    }
  };
  return FinishSpectrum(calc, absorbing, steps, values, vectors, spectrum.dumped_only);
}

Status MxEigenSymmetric(const Calc& calc, std::vector<double>& S, Spectrum& spectrum) {
  const int n = calc.dim();
  const size_t nn = static_cast<size_t>(n);
  std::vector<double>& evals = spectrum.evals;
  std::vector<double>& evecs = spectrum.evecs;
  evals.resize(nn);
  if (calc.opts.verbose) fprintf(stderr, "FEPS precision %20.10g\n", calc.opts.feps);

  // The solvers do not return on NaN input. MxDiagonalize never passes NaN
  // (its symmetry check stops first); keep direct callers from hanging.
  if (Status status = RefuseNaN(S); !status.ok()) return status;
  // evecs is about to be replaced: release it so that the solver's work
  // space does not come on top of it.
  std::vector<double>().swap(evecs);
  // S is symmetric, so its row-major buffer is also its column-major form.
  const int ld = n > 0 ? n : 1;
  int info = 0;

  // Divide and conquer: on our graded spectra faster than the alternatives,
  // and the eigenvectors come back in place of S. Its work space is about
  // 2 n^2 doubles; when that cannot be had, dsyevr below needs only O(n).
  std::vector<double> work;
  std::vector<int> iwork;
  int lwork = -1, liwork = -1;
  double work_size = 0.0;
  int iwork_size = 0;
  dsyevd_("V", "U", &n, S.data(), &ld, evals.data(), &work_size, &lwork, &iwork_size, &liwork,
          &info, 1, 1);
  if (info < 0) LapackArgumentBug("dsyevd", info);
  bool have_work = work_size < static_cast<double>(std::numeric_limits<int>::max());
  if (have_work) {
    lwork = std::max(1, static_cast<int>(work_size));
    liwork = std::max(1, iwork_size);
    try {
      work.resize(static_cast<size_t>(lwork));
      iwork.resize(static_cast<size_t>(liwork));
    } catch (const std::bad_alloc&) {
      have_work = false;
    }
  }
  if (have_work) {
    dsyevd_("V", "U", &n, S.data(), &ld, evals.data(), work.data(), &lwork, iwork.data(), &liwork,
            &info, 1, 1);
    std::vector<double>().swap(work);
    if (info < 0) LapackArgumentBug("dsyevd", info);
    if (info > 0) {
      // INFO encodes the submatrix that did not converge: rows and columns
      // INFO / (n + 1) to INFO mod (n + 1).
      return Failure(1,
                     "dsyevd exited with value %d (no convergence on rows and columns %d to %d) "
                     "(Cannot compute eigenvalues) Try to:\n"
                     " - try using --useplusI option (sometimes the eigenvalues are better "
                     "computed like that)\n",
                     info, info / (n + 1), info % (n + 1));
    }
    evecs.swap(S);
    MxTransposeInPlace(evecs.data(), n);
    spectrum.routine = "LAPACK dsyevd";
    return Status{};
  }
  std::vector<double>().swap(work);
  std::vector<int>().swap(iwork);
  if (!calc.opts.quiet)
    fprintf(stderr, "Not enough memory for dsyevd's work space, using dsyevr\n");
  if (Status status = SolveRelativelyRobust(S, n, calc.opts.feps, evals, evecs); !status.ok()) {
    return status;
  }
  MxTransposeInPlace(evecs.data(), n);
  spectrum.routine = "LAPACK dsyevr";
  return Status{};
}

Status MxEigenGeneral(const Calc& calc, std::vector<double>& U, Spectrum& spectrum) {
  const int n = calc.dim();
  const size_t nn = static_cast<size_t>(n);
  std::vector<double>& evals = spectrum.evals;
  std::vector<double>& evecs = spectrum.evecs;
  evals.resize(nn);
  evecs.resize(nn * nn);
  // LAPACK's balancing refuses NaN and infinities with a message on standard
  // output, in the middle of the population table; stop with our own
  // message instead.
  if (Status status = RefuseNaN(U); !status.ok()) return status;
  for (double x : U) {
    if (std::isinf(x)) return Failure(1, "Cannot compute eigenvalues: the matrix holds inf\n");
  }
  // Column-major view of the transposed buffer is U itself.
  MxTransposeInPlace(U.data(), n);

  const size_t m = std::max<size_t>(nn, 1);
  std::vector<double> wr(m), wi(m), scale(m), rconde(m), rcondv(m);
  std::vector<int> iwork(std::max<size_t>(2 * m, 2) - 2 + 1);
  const int ld = n > 0 ? n : 1;
  const int ldvl = 1;
  double vl_dummy = 0.0;
  int ilo = 0, ihi = 0, info = 0;
  double abnrm = 0.0;
  // SENSE "N": the condition numbers are never read, and skipping them gives
  // the same eigenpairs several times faster. The work space is what LAPACK
  // asks for, about n * 34 doubles rather than a second matrix.
  double work_size = 0.0;
  int lwork = -1;
  dgeevx_("B", "N", "V", "N", &n, U.data(), &ld, wr.data(), wi.data(), &vl_dummy, &ldvl,
          evecs.data(), &ld, &ilo, &ihi, scale.data(), &abnrm, rconde.data(), rcondv.data(),
          &work_size, &lwork, iwork.data(), &info, 1, 1, 1, 1);
  if (info < 0) LapackArgumentBug("dgeevx", info);
  lwork = std::max(static_cast<int>(work_size), std::max(1, 3 * n));
  std::vector<double> work(static_cast<size_t>(lwork));
  dgeevx_("B", "N", "V", "N", &n, U.data(), &ld, wr.data(), wi.data(), &vl_dummy, &ldvl,
          evecs.data(), &ld, &ilo, &ihi, scale.data(), &abnrm, rconde.data(), rcondv.data(),
          work.data(), &lwork, iwork.data(), &info, 1, 1, 1, 1);
  if (info < 0) LapackArgumentBug("dgeevx", info);
  if (info > 0) {
    // The QR algorithm failed: eigenvalues INFO+1..n converged, no
    // eigenvectors were computed.
    return Failure(1, "ERROR: dgeevx could not compute all eigenvalues of U (INFO = %d)\n", info);
  }

  for (size_t j = 0; j < nn; ++j) {
    evals[j] = wr[j];
    if (!(wr[j] == 0.0) && std::fabs(wi[j] / wr[j]) > calc.opts.feps) {
      fprintf(stderr, "eigenvalue %d is %g + i*%g, which is somewhat complex\n",
              static_cast<int>(j), wr[j], wi[j]);
    }
  }
  MxTransposeInPlace(evecs.data(), n);
  spectrum.routine = "LAPACK dgeevx";
  return Status{};
}

void MxCompleteEvecs(const Calc& calc, Spectrum& spectrum) {
  const size_t nn = static_cast<size_t>(calc.dim());
  const std::vector<double>& evals = spectrum.evals;
  const std::vector<double>& evecs = spectrum.evecs;
  double* v = spectrum.evecs.data();
  auto entry = [v, nn](int r, int j) -> double& {
    return v[static_cast<size_t>(r) * nn + static_cast<size_t>(j)];
  };
  auto column_sum = [v, nn](int j) {
    double c = 0.0;
    for (size_t r = 0; r < nn; ++r) c += v[r * nn + static_cast<size_t>(j)];
    return c;
  };
  auto squared_norm = [v, nn](int j) {
    double q = 0.0;
    for (size_t r = 0; r < nn; ++r)
      q += v[r * nn + static_cast<size_t>(j)] * v[r * nn + static_cast<size_t>(j)];
    return q;
  };
  // -v shows the columns after the move and after the normalisation, with
  // their sums.
  auto report = [&](bool normalised) {
    if (!calc.opts.verbose) return;
    MxPrint(calc, evals.data(), "evals_complete", 'v');
    MxPrint(calc, evecs.data(), "evecs_complete", 'm');
    fflush(stdout);
    fflush(stderr);
    if (!normalised) return;
    fprintf(stderr, "colsums: ");
    for (size_t j = 0; j < nn; ++j) fprintf(stderr, "%g ", column_sum(static_cast<int>(j)));
    fprintf(stderr, "\n");
  };
  // The factorised solver's columns are complete already (and slow modes
  // shifted by 1 may round to 1 without being stationary).
  const bool complete = spectrum.solver == SpectrumSolver::kAccurate;
  CompleteAbsorbingEvecs<double>(calc.opts, evals, calc.dim(), complete, entry, column_sum,
                                 squared_norm, report);
}

// Diagonalisation: eigenpairs of U through the symmetrised matrix and the
// general solver, sorting and clamping with their warnings, the eigenvector
// reachability graph, the absorbing-state completion and the dumps.
#include "calc/spectrum/diagonalize.h"

#include <gtest/gtest.h>
#include <malloc.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <limits>
#include <regex>
#include <string>
#include <vector>

#include "calc/backend/solver_choice.h"
#include "calc/model/calc.h"
#include "calc/spectrum/eigen_checks.h"
#include "tests/calc/spectral_fixture.h"
#include "tests/test_util.h"

namespace {

using spectral_test::Landscape;
using spectral_test::ReversibleLandscape;

// Runs MxDiagonalize on a copy of U and returns what it printed on stderr.
std::string Diagonalize(Calc& calc, Spectrum& spectrum, std::vector<double> U,
                        const std::vector<double>& p8) {
  testing::internal::CaptureStderr();
  SpectrumOutcome outcome = SpectrumOutcome::kDone;
  const Status status = MxDiagonalize(calc, U, p8, ChooseSolver(calc, U, p8), spectrum, outcome);
  std::string err = testing::internal::GetCapturedStderr();
  EXPECT_TRUE(status.ok()) << status.message;
  return err;
}

std::string Format(const char* fmt, const std::vector<double>& values) {
  std::string s;
  char buf[64];
  for (double v : values) {
    snprintf(buf, sizeof buf, fmt, v);
    s += buf;
  }
  return s;
}

TEST(MxDiagonalize, SymmetricPathGivesEigenpairsOfU) {
  for (int useplusI : {0, 1}) {
    SCOPED_TRACE(useplusI);
    Landscape l = ReversibleLandscape(60, 3);
    const int n = l.n;
    std::vector<double> U = l.U;
    if (useplusI) {
      for (int i = 0; i < n; ++i) U[i * n + i] += 1.0;
    }
    RunOptions opts;
    opts.useplusI = useplusI;
    Calc calc(n, opts);
    Spectrum spectrum;
    std::string err = Diagonalize(calc, spectrum, U, l.p8);
    EXPECT_EQ(err.rfind("Corrected numerical error: ", 0), 0u) << err;

    ASSERT_EQ(spectrum.evals.size(), static_cast<size_t>(n));
    EXPECT_EQ(spectrum.evals[0], 0.0);  // exactly, whatever the solver gave
    for (int k = 1; k < n; ++k) EXPECT_GE(spectrum.evals[k - 1], spectrum.evals[k]);
    double scale = 0.0;
    for (double x : l.U) scale = std::max(scale, std::fabs(x));
    for (int k = 0; k < n; ++k) {
      // P^1/2 v_k is an eigenvector of the unshifted U for evals[k].
      std::vector<double> v(n);
      for (int i = 0; i < n; ++i) v[i] = spectrum.sqrt_p8[i] * spectrum.evecs[i * n + k];
      double residual = 0.0;
      for (int i = 0; i < n; ++i) {
        double uv = 0.0;
        for (int j = 0; j < n; ++j) uv += l.U[i * n + j] * v[j];
        residual = std::max(residual, std::fabs(uv - spectrum.evals[k] * v[i]));
      }
      EXPECT_LT(residual, 1e-12 * scale) << "eigenpair " << k;
      double norm = 0.0;
      for (int i = 0; i < n; ++i) norm += spectrum.evecs[i * n + k] * spectrum.evecs[i * n + k];
      EXPECT_NEAR(norm, 1.0, 1e-12);
    }
    for (int i = 0; i < n; ++i) {
      EXPECT_DOUBLE_EQ(spectrum.sqrt_p8[i], std::sqrt(l.p8[i]));
      EXPECT_DOUBLE_EQ(spectrum.inv_sqrt_p8[i], 1.0 / std::sqrt(l.p8[i]));
    }
  }
}

TEST(MxDiagonalize, ExactDetailedBalanceNeedsNoCorrection) {
  RunOptions opts;
  Calc calc(2, opts);
  Spectrum spectrum;
  std::string err = Diagonalize(calc, spectrum, {-1, 1, 1, -1}, {0.5, 0.5});
  EXPECT_EQ(err, "Corrected numerical error: 0.000000e+00 (0.000000e+00 per number)\n");
  ASSERT_EQ(spectrum.evals.size(), 2u);
  EXPECT_EQ(spectrum.evals[0], 0.0);
  EXPECT_NEAR(spectrum.evals[1], -2.0, 1e-15);
}

TEST(MxDiagonalize, TrapsAndUnreachableStatesAreReported) {
  // States 0 and 1 exchange; state 2 is isolated and grows slowly (a column
  // that does not sum to 0). Eigenvalues 1e-3, 0, -2: two traps, and the
  // eigenvector graph does not reach state 2 from state 1.
  const std::vector<double> U = {-1, 1, 0, 1, -1, 0, 0, 0, 1e-3};
  const std::string unreachable =
      "WARNING: Eigenvector matrix is non-ergodic (unreachable states from 1st state):    2\n"
      "         the overall probability can start to decrease if this state(s) is(are) "
      "populated!!!";
  const std::string traps =
      "WARNING: There are multiple evals=0.0 (   2) (multiple population traps -- maybe we "
      "compute crap)\n";
  for (int quiet : {0, 1}) {
    SCOPED_TRACE(quiet);
    ScopedTempDir dir;
    RunOptions opts;
    opts.quiet = quiet;
    Calc calc(3, opts);
    Spectrum spectrum;
    std::string err = Diagonalize(calc, spectrum, U, {0.25, 0.25, 0.5});
    std::string expected =
        quiet
            ? unreachable + traps
            : "Corrected numerical error: 0.000000e+00 (0.000000e+00 per number)\n" + unreachable +
                  "WARNING largest eigenvalue is 0.001, see evals.txt and evecs.txt\n"
                  "vector written to ASCII file\nmatrix written to ASCII file\n" +
                  traps;
    EXPECT_EQ(err, expected);
    EXPECT_EQ(spectrum.evals[0], 0.0);
    EXPECT_EQ(spectrum.evals[1], 0.0);
    EXPECT_NEAR(spectrum.evals[2], -2.0, 1e-14);
    // The files show the eigenvalues before clamping; quiet skips the check.
    EXPECT_EQ(ReadFile("evals.txt"), quiet ? "" : Format("%15.10g ", {1e-3, 0.0, -2.0}));
    EXPECT_EQ(std::filesystem::exists("evecs.txt"), quiet == 0);
  }
}

// Rates without detailed balance have no symmetric form for the factorised
// solver: whatever --eigensolver asks, they take the symmetrised LAPACK
// path. A 3-cycle driven one way (rates 2 forward, 1 back) has the uniform
// equilibrium; its symmetrised matrix (off-diagonal 1.5, diagonal -3) has
// the eigenvalues 0, -4.5, -4.5.
TEST(MxDiagonalize, RatesWithoutDetailedBalanceTakeTheLapackPath) {
  const std::vector<double> U = {-3, 1, 2, 2, -3, 1, 1, 2, -3};
  const std::vector<double> p8(3, 1.0 / 3);
  for (Eigensolver solver : {Eigensolver::kAuto, Eigensolver::kAccurate}) {
    RunOptions opts;
    opts.quiet = 1;
    opts.eigensolver = solver;
    Calc calc(3, opts);
    Spectrum spectrum;
    Diagonalize(calc, spectrum, U, p8);
    EXPECT_EQ(spectrum.solver, SpectrumSolver::kLapackNotReversible);
    ASSERT_EQ(spectrum.evals.size(), 3u);
    EXPECT_EQ(spectrum.evals[0], 0.0);
    EXPECT_NEAR(spectrum.evals[1], -4.5, 1e-14);
    EXPECT_NEAR(spectrum.evals[2], -4.5, 1e-14);
  }
}

// With an absorbing state (the last), the factorised solver takes the run
// when the other rates obey detailed balance and --eigensolver allows it;
// --eigensolver lapack and a transient block driven round a cycle keep the
// general solver (chosen, or because nothing else takes the rates). Two transient states (0 -> 1 at
// 2, back at 1, leak 3 out of 0) have the eigenvalues 0 and -3 +- sqrt(6) either way.
TEST(MxDiagonalize, AbsorbingRunsTakeTheFactorisedSolverOnlyOnReversibleRates) {
  const std::vector<double> reversible = {-5, 1, 0, 2, -1, 0, 3, 0, 0};
  const std::vector<double> cycle = {-4, 1, 2, 0, 2, -3, 1, 0, 1, 2, -3, 0, 1, 0, 0, 0};
  struct Case {
    const char* name;
    const std::vector<double>& U;
    Eigensolver solver;
    SpectrumSolver expected;
  };
  const Case cases[] = {
      {"auto", reversible, Eigensolver::kAuto, SpectrumSolver::kAccurate},
      {"accurate", reversible, Eigensolver::kAccurate, SpectrumSolver::kAccurate},
      {"lapack", reversible, Eigensolver::kLapack, SpectrumSolver::kLapackInPlaceOfAccurate},
      {"cycle, lapack", cycle, Eigensolver::kLapack, SpectrumSolver::kLapackGeneral},
      {"cycle, auto", cycle, Eigensolver::kAuto, SpectrumSolver::kLapackGeneral},
      {"cycle, accurate", cycle, Eigensolver::kAccurate, SpectrumSolver::kLapackGeneral},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const int n = static_cast<int>(std::lround(std::sqrt(c.U.size())));
    RunOptions opts;
    opts.quiet = 1;
    opts.eigensolver = c.solver;
    Calc calc(n, opts);
    Spectrum spectrum;
    SetAbsorbingState(calc, n);
    std::vector<double> p8(n, 0.0);
    p8[n - 1] = 1.0;
    Diagonalize(calc, spectrum, c.U, p8);
    EXPECT_EQ(spectrum.solver, c.expected);
    ASSERT_EQ(spectrum.evals.size(), static_cast<size_t>(n));
    EXPECT_EQ(spectrum.evals[0], 0.0);
    if (&c.U == &reversible) {
      EXPECT_NEAR(spectrum.evals[1], -3.0 + std::sqrt(6.0), 1e-14);
      EXPECT_NEAR(spectrum.evals[2], -3.0 - std::sqrt(6.0), 1e-14);
    }
  }
}

TEST(MxDiagonalize, OneState) {
  for (int useplusI : {0, 1}) {
    SCOPED_TRACE(useplusI);
    RunOptions opts;
    opts.quiet = 1;
    opts.useplusI = useplusI;
    Calc calc(1, opts);
    Spectrum spectrum;
    EXPECT_EQ(Diagonalize(calc, spectrum, {useplusI ? 1.0 : 0.0}, {1.0}), "");
    EXPECT_EQ(spectrum.evals, (std::vector<double>{0.0}));
    EXPECT_EQ(std::fabs(spectrum.evecs[0]), 1.0);
  }
}

// The ways the stage fails: the status the run ends with and what was
// printed before it.
TEST(MxDiagonalize, FailuresComeBackAsStatus) {
  struct Case {
    const char* name;
    std::function<void(RunOptions&)> set;
    const char* blocked;  // made a directory, so that it cannot be written
    std::vector<double> p8;
    int exit_status;
    std::string message;
    const char* err;  // regular expression for stderr
  };
  const std::string rates_not_good =
      "Rates are not good -- check your rates (maybe the equilibrium was not computed "
      "correctly? rerun with --equil-file or -v set)!!!... (";
  const Case cases[] = {
      // p8[1] = 0 makes P^-1/2 infinite: row 1 of the scaled matrix is NaN.
      {"empty equilibrium entry",
       [](RunOptions&) {},
       nullptr,
       {1.0, 0.0},
       kExitInconsistentRates,
       rates_not_good,
       "^Weird rates! r\\(    0,    1\\)=\\(0.000000e\\+00, -?nan\\)\n"
       "Weird rates! r\\(    1,    1\\)=\\(-?nan, -?nan\\)\n$"},
      {"Mathematica file",
       [](RunOptions& o) { o.mathematicamatrix = 1; },
       "mxMat.txt",
       {1.0 / 3, 2.0 / 3},
       kExitError,
       "could not open file pointer 4 Matematica outfile\n",
       "^$"},
      {"eigenvalues of --dumpX",
       [](RunOptions& o) { o.dumpX = 1; },
       "evals.txt",
       {1.0 / 3, 2.0 / 3},
       kExitError,
       "could not open file pointer 4 ASCII outfile\n",
       "^$"},
      {"eigenvectors of --dumpE",
       [](RunOptions& o) { o.dumpE = 1; },
       "evecs.bin",
       {1.0 / 3, 2.0 / 3},
       kExitError,
       "ERROR: could not open file pointer for binary outfile evecs.bin\n",
       "^$"},
  };
  for (const Case& c : cases) {
    for (Eigensolver solver : {Eigensolver::kAuto, Eigensolver::kLapack}) {
      SCOPED_TRACE(std::string(c.name) + (solver == Eigensolver::kLapack ? " (lapack)" : ""));
      ScopedTempDir dir;
      if (c.blocked != nullptr) std::filesystem::create_directory(c.blocked);
      RunOptions opts;
      opts.quiet = 1;
      opts.eigensolver = solver;
      c.set(opts);
      Calc calc(2, opts);
      Spectrum spectrum;
      std::vector<double> U = {-2, 1, 2, -1};
      SpectrumOutcome outcome = SpectrumOutcome::kDone;
      testing::internal::CaptureStderr();
      const Status status =
          MxDiagonalize(calc, U, c.p8, ChooseSolver(calc, U, c.p8), spectrum, outcome);
      const std::string err = testing::internal::GetCapturedStderr();
      EXPECT_EQ(c.exit_status, status.exit_status);
      EXPECT_EQ(c.message, status.message.substr(0, c.message.size()));
      EXPECT_TRUE(std::regex_match(err, std::regex(c.err))) << err;
    }
  }
}

// The files of --dumpE and --mathematicamatrix, and the values they hold.
TEST(MxDiagonalize, DumpsAndMathematicaFile) {
  ScopedTempDir dir;
  const std::vector<double> U = {-2, 1, 2, -1};  // plus I on the diagonal below
  const std::vector<double> p8 = {1.0 / 3, 2.0 / 3};
  RunOptions opts;
  opts.quiet = 1;
  opts.verbose = 1;
  opts.useplusI = 1;
  opts.dumpE = 1;
  opts.mathematicamatrix = 1;
  Calc calc(2, opts);
  Spectrum spectrum;
  std::string err = Diagonalize(calc, spectrum, {-1, 1, 2, 0}, p8);

  // mxMat.txt holds U as passed in, one column per inner list.
  EXPECT_EQ(ReadFile("mxMat.txt"),
            "{{-1.0000000000000000000000,  2.0000000000000000000000},\n"
            "{ 1.0000000000000000000000,  0.0000000000000000000000}}\n");
  // Stored eigenvalues keep the +1 of --useplusI; the Calc's have it removed.
  ExpectArrayNear({0.0, -3.0}, spectrum.evals, 1e-14);
  EXPECT_EQ(ReadFile("evals.txt"), Format("%15.10g ", {1.0, -2.0}));
  std::string evecs_txt = ReadFile("evecs.txt");
  EXPECT_EQ(std::count(evecs_txt.begin(), evecs_txt.end(), '\n'), 2);
  EXPECT_EQ(ReadFile("evals.bin").size(), 4u + 2 * 8);
  EXPECT_EQ(ReadFile("evecs.bin").size(), 4u + 4 * 8);
  // Verbose adds the eigenvectors of U itself, whose stationary one sums to
  // +-1 and the decaying one to 0.
  EXPECT_TRUE(std::filesystem::exists("evecR.txt"));
  size_t sums = err.find("Sums of EVs of rate matrix R\n0 ");
  ASSERT_NE(sums, std::string::npos) << err;
  double s0 = 0, s1 = 1;
  ASSERT_EQ(sscanf(err.c_str() + sums + 29, "0 %lf  1 %lf", &s0, &s1), 2);
  EXPECT_NEAR(std::fabs(s0), 1.0, 1e-12);
  EXPECT_NEAR(s1, 0.0, 1e-12);
  // The diagonal scalings are printed as full matrices.
  EXPECT_NE(err.find("_sqrPI:\n" + Format("%15.7g ", {std::sqrt(3.0), 0.0}) + "\n" +
                     Format("%15.7g ", {0.0, std::sqrt(1.5)}) + "\n---\n"),
            std::string::npos)
      << err;
}

TEST(MxDiagonalize, DumpXWritesEigenvaluesAndStops) {
  ScopedTempDir dir;
  RunOptions opts;
  opts.quiet = 1;
  opts.dumpX = 1;
  opts.useplusI = 1;
  // Both solvers: the factorised one keeps its own unshifted values.
  for (Eigensolver solver : {Eigensolver::kAuto, Eigensolver::kLapack}) {
    opts.eigensolver = solver;
    Calc calc(2, opts);
    Spectrum spectrum;
    std::vector<double> U = {0, 1, 1, 0};
    const std::vector<double> p8 = {0.5, 0.5};
    SpectrumOutcome outcome = SpectrumOutcome::kDone;
    EXPECT_TRUE(MxDiagonalize(calc, U, p8, ChooseSolver(calc, U, p8), spectrum, outcome).ok());
    EXPECT_TRUE(spectrum.dumped_only);
    // Written with the --useplusI shift, which the stages after it remove.
    EXPECT_EQ(ReadFile("evals.txt"), Format("%15.10g ", {1.0, -1.0}));
    std::filesystem::remove("evals.txt");
  }
}

// Largest residual |S v - lambda v| over every 10th eigenpair of `spectrum`
// (evecs in our layout: column k belongs to evals[k]).
[[maybe_unused]] double SymmetricResidual(const std::vector<double>& S, const Spectrum& spectrum,
                                          int n) {
  double residual = 0.0;
  for (int k = 0; k < n; k += 10) {
    for (int i = 0; i < n; ++i) {
      double sv = 0.0;
      for (int j = 0; j < n; ++j) sv += S[i * n + j] * spectrum.evecs[j * n + k];
      residual = std::max(residual, std::fabs(sv - spectrum.evals[k] * spectrum.evecs[i * n + k]));
    }
  }
  return residual;
}

TEST(MxEigenSymmetric, FallsBackWhenTheDivideAndConquerWorkSpaceIsMissing) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "the address sanitizer reserves more address space than the limit allows";
#else
  const int n = 500;
  const double row_bytes = 8.0 * n;
  Landscape l = ReversibleLandscape(n, 9);
  // S = P^-1/2 U P^1/2 as the symmetric path forms it.
  std::vector<double> S(l.U.size());
  for (int i = 0; i < n; ++i) {
    for (int j = 0; j < n; ++j) {
      S[i * n + j] = l.U[i * n + j] * std::sqrt(l.p8[j] / l.p8[i]);
    }
  }
  for (int i = 0; i < n; ++i) {
    for (int j = i + 1; j < n; ++j) S[j * n + i] = S[i * n + j];
  }
  RunOptions opts;
  {
    Calc calc(n, opts);
    Spectrum spectrum;
    std::vector<double> work = S;
    testing::internal::CaptureStderr();
    EXPECT_TRUE(MxEigenSymmetric(calc, work, spectrum).ok());
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_LT(SymmetricResidual(S, spectrum, n), 1e-10);
  }
  EXPECT_EXIT(
      {
        Calc calc(n, opts);
        Spectrum spectrum;
        std::vector<double> work = S;
        // Room for one more n x n matrix (dsyevr's eigenvectors) but not for
        // the 2 n^2 doubles of dsyevd's work space. Free heap memory kept from
        // before would count as room; hand it back first.
        malloc_trim(0);
        long pages = 0;
        std::ifstream("/proc/self/statm") >> pages;
        rlimit limit{};
        limit.rlim_cur = limit.rlim_max =
            static_cast<rlim_t>(pages * sysconf(_SC_PAGESIZE) + 1.5 * n * row_bytes);
        if (setrlimit(RLIMIT_AS, &limit) != 0) exit(3);
        if (!MxEigenSymmetric(calc, work, spectrum).ok()) exit(6);
        for (int k = 1; k < n; ++k) {
          if (!(spectrum.evals[k - 1] <= spectrum.evals[k])) exit(4);
        }
        exit(SymmetricResidual(S, spectrum, n) < 1e-10 ? 0 : 5);
      },
      testing::ExitedWithCode(0), "^Not enough memory for dsyevd's work space, using dsyevr\n$");
#endif
}

TEST(EigenSolvers, RefuseNotANumber) {
  // LAPACK either does not return on NaN input or complains on standard
  // output; never hand it over.
  RunOptions opts;
  Calc calc(2, opts);
  Spectrum spectrum;
  const std::string message = "Cannot compute eigenvalues: the matrix holds NaN\n";
  std::vector<double> S = {1, std::nan(""), std::nan(""), 1};
  Status status = MxEigenSymmetric(calc, S, spectrum);
  EXPECT_EQ(kExitError, status.exit_status);
  EXPECT_EQ(message, status.message);
  std::vector<double> U = {-1, std::nan(""), 1, 0};
  status = MxEigenGeneral(calc, U, spectrum);
  EXPECT_EQ(kExitError, status.exit_status);
  EXPECT_EQ(message, status.message);
}

TEST(MxEigenGeneral, RightEigenpairsAndComplexWarning) {
  RunOptions opts;
  {
    // Rates with a sink (state 2): eigenvalues 0, -1, -3.
    const std::vector<double> U = {-2, 1, 0, 1, -2, 0, 1, 1, 0};
    Calc calc(3, opts);
    Spectrum spectrum;
    std::vector<double> work = U;
    testing::internal::CaptureStderr();
    EXPECT_TRUE(MxEigenGeneral(calc, work, spectrum).ok());
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    for (int k = 0; k < 3; ++k) {
      SCOPED_TRACE(k);
      for (int i = 0; i < 3; ++i) {
        double uv = 0.0;
        for (int j = 0; j < 3; ++j) uv += U[i * 3 + j] * spectrum.evecs[j * 3 + k];
        EXPECT_NEAR(uv, spectrum.evals[k] * spectrum.evecs[i * 3 + k], 1e-14);
      }
    }
    std::vector<double> sorted = spectrum.evals;
    std::sort(sorted.begin(), sorted.end());
    ExpectArrayNear({-3.0, -1.0, 0.0}, sorted, 1e-14);
  }
  {
    Calc calc(2, opts);
    Spectrum spectrum;
    std::vector<double> rotation = {1, -1, 1, 1};  // eigenvalues 1 +- i
    testing::internal::CaptureStderr();
    EXPECT_TRUE(MxEigenGeneral(calc, rotation, spectrum).ok());
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "eigenvalue 0 is 1 + i*1, which is somewhat complex\n"
              "eigenvalue 1 is 1 + i*-1, which is somewhat complex\n");
  }
}

TEST(MxCompleteEvecs, UnitColumnsForAbsorbingStates) {
  // Columns are eigenvectors: (0.1, 0.9, 0.2), (0.8, -0.3, 0.1), (0.5, 0.25, 0.75).
  const std::vector<double> evecs = {0.1, 0.8, 0.5, 0.9, -0.3, 0.25, 0.2, 0.1, 0.75};
  const double r = 1.0 / std::sqrt(0.875);
  struct Case {
    const char* name;
    std::vector<double> evals;
    int quiet;
    std::vector<double> expected;
    std::string err;
  };
  const Case cases[] = {
      {"two stationary columns",
       {1.0, 1.0, 0.5},
       0,
       // Column 2 loses its sum 1.5 from rows 0 and 1, then is normalised.
       {0, 1, -0.25 * r, 1, 0, -0.5 * r, 0, 0, 0.75 * r},
       "\nWARNING: found 1 additional absorbing state(s):      1\n"},
      {"the list is printed also when quiet",
       {1.0, 1.0, 0.5},
       1,
       {0, 1, -0.25 * r, 1, 0, -0.5 * r, 0, 0, 0.75 * r},
       "     1\n"},
      {"no stationary value 1: only normalised",
       {0.0, -1.0, -2.0},
       0,
       {0.1 / std::sqrt(0.86), 0.8 / std::sqrt(0.74), 0.5 / std::sqrt(0.875), 0.9 / std::sqrt(0.86),
        -0.3 / std::sqrt(0.74), 0.25 / std::sqrt(0.875), 0.2 / std::sqrt(0.86),
        0.1 / std::sqrt(0.74), 0.75 / std::sqrt(0.875)},
       ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    RunOptions opts;
    opts.quiet = c.quiet;
    Calc calc(3, opts);
    Spectrum spectrum;
    spectrum.evals = c.evals;
    spectrum.evecs = evecs;
    testing::internal::CaptureStderr();
    MxCompleteEvecs(calc, spectrum);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), c.err);
    ExpectArrayNear(c.expected, spectrum.evecs, 1e-15);
  }
}

TEST(MxEvecsReachability, BreadthFirstOverMutualEntries) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  struct Case {
    const char* name;
    int n;
    std::vector<double> evecs;
    std::vector<int> expected;  // empty: every state reached
  };
  const Case cases[] = {
      {"one state", 1, {0.0}, {}},
      {"full matrix", 2, {1, 1, 1, 1}, {}},
      {"chain 0 - 1 - 2", 3, {1, 1, 0, 1, 1, 1, 0, 1, 1}, {}},
      {"one-sided entry is no edge", 3, {1, 1, 0, 0, 1, 1, 0, 1, 1}, {1, 0, 0}},
      {"NaN counts as an entry", 2, {1, nan, nan, 1}, {}},
      {"isolated last state", 3, {1, 1, 0, 1, 1, 0, 0, 0, 1}, {1, 1, 0}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    auto result = MxEvecsReachability(c.evecs.data(), c.n);
    if (c.expected.empty()) {
      EXPECT_FALSE(result.has_value());
    } else {
      ASSERT_TRUE(result.has_value());
      EXPECT_EQ(*result, c.expected);
    }
  }
}

}  // namespace

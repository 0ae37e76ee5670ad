// Calc: the computation object of a run and its operations (the Mx* stages).
//
// Matrix convention for every operation: a matrix of order n is n*n doubles,
// row-major, element (i, j) at i*n + j. In U, element (i, j) with i != j is
// the rate of the transition j -> i (column j holds the rates out of j); the
// diagonal makes every column sum to 0, or to 1 with --useplusI. States are
// 0-based here and 1-based in options, messages and output.
//
// The driver owns U, p0 and p8 and passes them in, and the Spectrum that
// the diagonalisation derives (calc/model/spectrum.h), which the later
// stages take as an argument. Calc keeps the run's options, kT, the current
// dimension and the state numbering that goes with it.
#ifndef ZOLVANE_CALC_MODEL_CALC_H_
#define ZOLVANE_CALC_MODEL_CALC_H_

#include <cstdio>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "base/run_options.h"
#include "base/status.h"
#include "calc/model/spectrum.h"
#include "calc/model/state_numbering.h"
#include "input/qorp_file.h"

struct Calc {
  // dim = number of states read; kT from opts.Temp. No arrays yet.
  Calc(int dim, const RunOptions& opts);

  int dim;
  double kT;
  std::vector<double> D;  // degeneracy matrix, dim x dim, only with --degeneracy
  const RunOptions& opts;
  // Sequence of the qorp file's first line, for the table header; none when
  // no qorp file was read or it named none.
  std::optional<std::string> sequence;
  // How the dim states relate to the input's states (the absorbing state
  // that MxQorp2Matrix appends for --absorb, the states MxErgodicity keeps).
  // It lives beside dim because the stages that change dim set it too.
  StateNumbering numbering;

  // ---- Transition matrix (calc/model/transition_matrix.cc) ----
  // Builds U by method A (records) or I (rates, taken over); appends the
  // absorbing state when opts.absorb is set (dim grows by one; sets
  // numbering.absorbing_state and numbering.absorbed_minimum). Fails on
  // minima that form no tree, a bad saddles file (--degeneracy), an --absorb
  // beyond the minima or rates of the wrong order.
  Status MxQorp2Matrix(const std::vector<QorpRecord>* records, std::vector<double>&& rates,
                       std::vector<double>& U);
  Status MxMethodA(const std::vector<QorpRecord>& records, std::vector<double>& U);
  Status MxMethodI(const std::vector<QorpRecord>* records, std::vector<double>&& rates,
                   std::vector<double>& U);
  // Diagonal = -(column sum), or 1 - (column sum) with --useplusI.
  void MxSetDiagonal(double* U, int n) const;

  // ---- Saddles and degeneracy (calc/model/degeneracy.cc) ----
  Status MxAddDegeneracy();

  // ---- Rate rescaling (calc/model/rescale.cc) ----
  void MxRescaleHard(double* U, int n, double exponent) const;
  void MxRescaleMinimal(double* U, int n, double desired_minimal_rate) const;
  void MxRescaleTimes(double* U, int n, double factor) const;

  // ---- Distributions (calc/model/distributions.cc) ----
  // p0 from --p0 (state 1 by default); fails on a state beyond dim.
  Status MxMakeP0(std::vector<double>& p0) const;
  // Returns p8: dim zeros.
  std::vector<double> MxAllocate() const;
  // Fail on too few minima, or rates that local balance cannot satisfy (a
  // chain that is not ergodic prints what it found and fails with no message).
  Status MxEquilibriumFromEnergies(const std::vector<QorpRecord>& records,
                                   std::vector<double>& p8) const;
  Status MxEquilibriumFromBalance(const std::vector<double>& U, std::vector<double>& p8) const;
  // p8 of any irreducible chain, with or without detailed balance, by the
  // subtraction-free elimination of the states (spectral/gth_factor.h):
  // right to rounding at any spread of the rates. Fails on a chain that is
  // not irreducible or on rates that are not finite and non-negative.
  Status MxEquilibriumByElimination(const std::vector<double>& U, std::vector<double>& p8) const;
  // The same walk for callers that do not hold U whole: lines(c) gives the
  // rates into state c and the rates out of it, each indexed by the other
  // state (valid until the next call).
  struct BalanceLines {
    const double* into;  // into[j * into_stride] = U(c, j), the rate j -> c
    size_t into_stride;
    const double* out_of;  // out_of[j * out_stride] = U(j, c), the rate c -> j
    size_t out_stride;
  };
  Status MxEquilibriumFromBalanceLines(const std::function<BalanceLines(int c)>& lines,
                                       std::vector<double>& p8) const;

  // ---- Ergodicity reduction (calc/model/ergodicity.cc) ----
  // Removes the states the initial population cannot reach; replaces U and
  // p0 when it reduces, stores the new dimension in dim and the kept states
  // in numbering (which renumbers the absorbed minimum). A reduction to
  // one state prints that state's whole table (header, t0, t8). Fails as
  // MxFindUnreached does, or when the absorbing state is out of reach.
  Status MxErgodicity(std::vector<double>& U, std::vector<double>& p0, int n);
  // True once MxErgodicity printed the one-state table: the time evolution
  // stage then has nothing to add (a second table would repeat the header and
  // send the time back to t0).
  bool OneStateTablePrinted() const { return dim == 1 && !numbering.kept.empty(); }
  // Its search, for callers that do not hold U whole: out_of(d) gives the
  // rates out of state d, rates[k * stride] = U(k, d) (valid until the next
  // call). Fails when p0 is 0 everywhere or a populated state lies outside
  // what the first populated state reaches. `reduces` is false when every
  // state is reached; otherwise numbering.kept and `reached` (1 for kept
  // states) are filled.
  struct RatesOutOf {
    const double* rates;
    size_t stride;
  };
  Status MxFindUnreached(const std::vector<double>& p0, int n,
                         const std::function<RatesOutOf(int d)>& out_of, std::vector<char>& reached,
                         bool& reduces);

  // ---- Symmetrisation and diagonalisation (calc/spectrum/diagonalize.cc) ----
  enum class SpectrumOutcome {
    kDone,
    kUseLapack,      // (MxDiagonalizeAccurate) the factorised solver cannot take the rates
    kUseQuadDouble,  // it hit its sweep cap: U is unchanged, the run goes on in QD
  };
  // Fills `spectrum` with the double solver `choice` names (ChooseSolver in
  // calc/backend/solver_choice.h; not kExtended): the factorised solver, or
  // choice.declined when it hands the rates back; dsyevd on S or dgeevx on
  // U otherwise. U is overwritten (work space), except on kUseQuadDouble.
  // `outcome` says how the stage ended when it did not fail (kDone also
  // when --dumpX stopped it: spectrum.dumped_only). Fails on rates
  // whose symmetrisation meets NaN (kExitInconsistentRates), a solver that
  // gives up, or a matrix file that cannot be written; what the stage
  // printed before stays printed.
  Status MxDiagonalize(std::vector<double>& U, const std::vector<double>& p8,
                       const SolverChoice& choice, Spectrum& spectrum, SpectrumOutcome& outcome);
  // The factorised solver's part of MxDiagonalize; U stays unchanged. On
  // kDone with --useplusI, spectrum.evals carry the shift and `unshifted`
  // receives them without it, computed whole (1 + lambda - 1 would lose
  // every slow lambda).
  Status MxDiagonalizeAccurate(std::vector<double>& U, const std::vector<double>& p8,
                               Spectrum& spectrum, std::vector<double>& unshifted,
                               SpectrumOutcome& outcome);
  // The solvers fill spectrum.evals and spectrum.evecs only. Symmetric
  // solver: dsyevd, or dsyevr when dsyevd's work space cannot be had. S is
  // consumed. evals come out ascending. Both solvers fail on NaN input and
  // when LAPACK gives up.
  Status MxEigenSymmetric(std::vector<double>& S, Spectrum& spectrum) const;
  Status MxEigenGeneral(std::vector<double>& U, Spectrum& spectrum) const;
  // nullopt when every state is reached from state 0 in the eigenvector
  // graph, else 1 for reached and 0 for unreached states.
  static std::optional<std::vector<int>> MxEvecsReachability(const double* evecs, int n);
  // The eigenvectors of a chain with an absorbing state made ready for the
  // time evolution (calc/spectrum/absorbing_evecs.h).
  void MxCompleteEvecs(Spectrum& spectrum) const;

  // ---- Matrix files and recovery (calc/table/matrix_files.cc) ----
  // The writers fail when the file cannot be opened or written (what they
  // wrote so far stays on disk).
  Status MxBinWrite(const double* data, const char* label, char type) const;
  // Sets n to the dimension stored in label.bin; `out` receives n or n*n
  // values (none when n differs from dim, which the caller rejects). Fails
  // when the file cannot be opened or read, or holds a bad dimension.
  Status MxBinRead(std::vector<double>& out, const char* label, char type, int& n) const;
  // The decomposition --recoverE stored (evecs.bin, evals.bin), into
  // `spectrum` with the scalings of p8.
  Status MxRecover(const std::vector<double>& p8, Spectrum& spectrum) const;
  Status MxASCIIWrite(const double* matrix, const char* filename) const;
  Status MxASCIIWriteV(const double* vector, const char* filename) const;
  Status MxMathematicaWrite(const double* matrix) const;

  // ---- Time evolution (calc/table/iterate.cc, calc/table/iterate_exponent.cc) ----
  // Population table from `spectrum`; consumes spectrum.evecs as work
  // space. Fails when the eigenvectors of a chain with an absorbing state
  // are singular.
  Status MxIterate(Spectrum& spectrum, std::vector<double>& p0,
                   const std::vector<double>& p8) const;
  // The first time point after --t0: --t0 itself, or 1e-4 when --t0 0 asked
  // for the line at time 0, which the table stages print on their own.
  double FirstTableTime() const;
  void MxOutputHeader() const;
  // Checks and prints one table line. A line that fails its checks
  // (CheckPopulationLine) is not printed and its failure returned: the run
  // ends there.
  Status MxOutputLine(double* p, int n, double t) const;
  // The table of MxIterate for rates without detailed balance, from the
  // exact propagator on U itself (calc/table/exact_populations.h): the same
  // axis, lines, checks, convergence to p8 and closing lines. Fails as a
  // line's checks do, or on rates that are not finite and non-negative.
  Status MxIterateExact(const std::vector<double>& U, std::vector<double>& p0,
                        const std::vector<double>& p8) const;
  // Fails on a probability error; in mode H with no message of its own, the
  // stage having printed why.
  Status MxIterateExponent(const std::vector<double>& p0, const std::vector<double>& p8,
                           std::vector<double>& U);

  // ---- First passage times (calc/passage/first_passage.cc) ----
  void MxFirstPassageTimes(const std::vector<double>& U, const std::vector<double>& p8,
                           FILE* out) const;
  // Times from every state to `target` (0-based); nullopt if it does not exist.
  std::optional<std::vector<double>> MxFirstPassageTo(const std::vector<double>& U,
                                                      int target) const;
  // The writers of MxFirstPassageTimes, shared by every arithmetic: the
  // dim x dim times (row-major, (i, j) from i to j), or the absorbing times.
  void MxWriteFirstPassageTimes(const std::vector<double>& times, FILE* out) const;
  void MxWriteAbsorbingTimes(const std::vector<double>& times, FILE* out) const;

  // ---- Printing (calc/model/calc.cc) ----
  // MxPrintN with n = dim.
  void MxPrint(const double* values, const char* label, char type, FILE* stream = stderr,
               bool plain = false) const;
  // MxPrint of a dim-vector in input numbering (0 for removed states).
  void MxPrintInput(const double* reduced, const char* label) const;
};

// Method A's tree of minima, shared with runs that build U piece by piece.
// Fails unless minimum k (1-based) is numbered k and its father lies in
// 1..k-1.
Status CheckTreeOfMinima(const std::vector<QorpRecord>& records, int n);
// row[j] = U(target, j) = exp(-(S - E_j)/kT) for every j != target, S the
// highest saddle between target and j; row[target] is left alone. `saddle`
// and `on_path` are n-entry work space.
void MethodARatesInto(int target, const std::vector<QorpRecord>& records, int n, double kT,
                      double* row, std::vector<double>& saddle, std::vector<char>& on_path);

#endif  // ZOLVANE_CALC_MODEL_CALC_H_

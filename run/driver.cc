// Run driver: the spine of a computation. It runs every stage once in a fixed
// order, keeps the vectors and matrices that pass between stages, writes the
// few outputs that belong to no stage, and prints the timing lines.
#include "run/driver.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <functional>
#include <limits>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "app/equilibrium_file.h"
#include "app/kept_records.h"
#include "app/program_record.h"
#include "app/written_output.h"
#include "base/exit_status.h"
#include "base/fatal.h"
#include "base/progress.h"
#include "base/rates_alloc.h"
#include "base/status.h"
#include "calc/backend/arithmetic_backend.h"
#include "calc/backend/reduce.h"
#include "calc/backend/spectrum_stage.h"
#include "calc/model/calc.h"
#include "calc/model/detailed_balance.h"
#include "calc/model/rescale.h"
#include "calc/model/spectrum.h"
#include "calc/spectrum/eigen_checks.h"
#include "calc/spectrum/stiffness.h"
#include "command_line/command_line_args.h"
#include "input/bin_rates_file.h"
#include "input/qorp_file.h"
#include "input/rates_file.h"
#include "visualize/rate_graph.h"

namespace {

double SecondsSince(clock_t start) { return static_cast<double>(clock() - start) / CLOCKS_PER_SEC; }

// Reads the input for method A or I. Returns the number of states; fills the
// records (when a qorp file was read), the rates (method I) and the sequence
// named by the qorp file.
int ReadInput(ProgramRecord& record, std::vector<QorpRecord>& records, bool& have_records,
              std::vector<double>& rates, std::optional<std::string>& sequence) {
  const RunOptions& opts = record.opts;
  InputContext ctx{opts};
  // Whether a qorp stream was handed over at all; a stream that the rates
  // reader consumed (standard input) is "closed", which the qorp reader itself
  // reports.
  const bool qorp_given = ctx.qorp != nullptr;
  if (opts.method == 'A') {
    if (!opts.quiet) {
      fprintf(stderr, "Using qorp file from STDIN for constructing transition matrix\n");
    }
    int n = 0;
    if (Status status = ParseQorpFile(ctx, ctx.qorp, records, n); !status.ok()) Fatal(status);
    sequence = std::move(ctx.sequence);
    have_records = true;
    if (n == 0) Fatal(kExitError, "ERROR: qorp file holds no local minimum!\n");
    // A short qorp file can announce a matrix far beyond memory; say so here
    // rather than abort in the allocator.
    if (!SquareMatrixFits(n)) {
      Fatal(kExitError, "ERROR: a transition matrix of dimension %d does not fit in memory\n", n);
    }
    return n;
  }

  if (!opts.quiet) {
    fprintf(stderr, "Using rates matrix from STDIN for constructing transition matrix\n");
  }
  int n = 0;
  Status status = opts.bin ? ParseBinaryRatesFile(ctx, ctx.ratesfile, rates, n)
                           : ParseRatesFile(ctx, ctx.ratesfile, rates, n);
  if (!status.ok()) Fatal(status);
  // Binary rates are the one input --nstates shrinks: the states beyond it
  // are eliminated as quasi-stationary.
  if (opts.bin) {
    status = MxReduce(opts, rates, opts.nstates, n, opts.max_decrease, n);
    if (!status.ok()) Fatal(status);
  }
  if (opts.absorb != 0) {
    if (!qorp_given) {
      Fatal(kExitError,
            "ERROR: qorp file must be provided via --qorp option for computing proper free "
            "energy/partition function for the absorbing state\n");
    }
    int m = 0;
    status = ParseQorpFile(ctx, ctx.qorp, records, m);
    if (!status.ok()) Fatal(status);
    sequence = std::move(ctx.sequence);
    have_records = true;
    if (m != n) {
      Fatal(kExitError, "ERROR: dimension mismatch among input rates file and qorp file %d != %d\n",
            n, m);
    }
  }
  if (n == 0) {
    release_command_line_args(record.args);
    Fatal(kExitError, "ERROR: Rate file empty!\n");
  }
  if (opts.visualize != nullptr) {
    status = ExportRateGraph(opts.visualize, rates, have_records ? &records : nullptr, n,
                             opts.quiet != 0);
    if (!status.ok()) Fatal(status);
  }
  return n;
}

// --fpt N names input state N; the system after the ergodicity reduction may
// not hold it. Returns the times from every input state (nan from removed
// states), or nothing when N is beyond the input states.
std::optional<std::vector<double>> FirstPassageToInputState(const ArithmeticBackend& backend,
                                                            const Calc& calc,
                                                            const std::vector<double>& U,
                                                            int state) {
  const std::vector<int> index = calc.numbering.ReducedIndices(calc.dim);
  if (state < 1 || state > static_cast<int>(index.size())) {
    fprintf(stderr, "State %d does not exist (--fpt %d)", state, state);
    return std::nullopt;
  }
  const int target = index[state - 1];
  if (target < 0) {
    Fatal(kExitError, "ERROR: state %d (--fpt %d) is unreachable from the initial population\n",
          state, state);
  }
  std::optional<std::vector<double>> times;
  if (Status status = backend.first_passage_to(calc, U, target, times); !status.ok()) {
    Fatal(status);
  }
  if (!times) return std::nullopt;
  return calc.numbering.ToInputNumbering(times->data(), calc.dim,
                                         std::numeric_limits<double>::quiet_NaN());
}

// `energies`: the local minima whose Boltzmann weights are p8, or nullptr when
// p8 comes from the balance of U.
void FirstPassageStage(const ArithmeticBackend& backend, const Calc& calc,
                       const std::vector<double>& U, const std::vector<double>& p8,
                       const std::vector<QorpRecord>* energies) {
  const RunOptions& opts = calc.opts;
  FILE* out = stderr;
  if (opts.fptfile) {
    out = fopen(opts.fptfile->c_str(), "w");
    if (out == nullptr) {
      if (!opts.quiet) {
        fprintf(stderr, "Cannot open file \"%s\" for FPT output, using \"stderr\" instead\n",
                opts.fptfile->c_str());
      }
      out = stderr;
    }
  }
  if (opts.fpt_state == -1 || calc.numbering.absorbing_state != 0) {
    if (Status status = backend.first_passage_times(calc, U, p8, energies, out); !status.ok()) {
      Fatal(status);
    }
  } else if (auto times = FirstPassageToInputState(backend, calc, U, opts.fpt_state)) {
    if (out == stderr) fprintf(stderr, "First passage times to state number %d:\n", opts.fpt_state);
    for (double x : *times) fprintf(out, "%15.7f ", x);
    fputs(out == stderr ? "\n---\n" : "\n", out);
  }
  if (out != stderr) {
    const Status status = CloseWrittenOutput(out, opts.fptfile->c_str(), "FPT output");
    if (!status.ok()) Fatal(status);
  }
}

// Rates without detailed balance (beyond the rounding of their digits,
// kBalanceTolerance) have no symmetric form: the symmetrisation would turn
// them into other rates. Their equilibrium comes from the elimination, which
// needs no balance, and their table from the exact propagator, unless
// --eigensolver lapack keeps the LAPACK path (with a warning). What cannot
// describe such rates is refused: the arithmetics of --mlapack-method (which
// symmetrise), a stored decomposition (--recoverE), and the decomposition
// files (--dumpE, --dumpX), which the propagator does not make. `balanced`:
// the rates come from the energies of the minima. Returns whether the table
// is the propagator's; p8 is replaced by the elimination's.
bool TakeRatesWithoutBalance(Calc& calc, const std::vector<double>& U, std::vector<double>& p8,
                             bool balanced) {
  const RunOptions& opts = calc.opts;
  const bool absorbing = calc.numbering.absorbing_state != 0;
  double deviation = 0.0;
  if (!LacksDetailedBalance(calc, U, p8, balanced, deviation)) return false;
  const char* refused = opts.mlapack_method != Arithmetic::kLapack ? "--mlapack-method"
                        : opts.recoverE                            ? "--recoverE"
                                                                   : nullptr;
  if (refused != nullptr) {
    Fatal(kExitError,
          "ERROR: the rates do not obey detailed balance (largest relative deviation %.1e), "
          "which %s cannot take: rerun without it (the default run propagates these rates "
          "exactly)\n",
          deviation, refused);
  }
  if (!absorbing) {
    if (Status status = calc.MxEquilibriumByElimination(U, p8); !status.ok()) Fatal(status);
  }
  if (opts.eigensolver == Eigensolver::kLapack) {
    if (!opts.quiet) {
      fprintf(stderr,
              "WARNING: the rates do not obey detailed balance (largest relative deviation "
              "%.1e), which --eigensolver lapack does not resolve, the table may be wrong: rerun "
              "with --eigensolver auto\n",
              deviation);
    }
    return false;
  }
  if (opts.exponent) return false;
  const char* dump = opts.dumpE ? "--dumpE" : opts.dumpX ? "--dumpX" : nullptr;
  if (dump != nullptr) {
    Fatal(kExitError,
          "ERROR: the rates do not obey detailed balance (largest relative deviation %.1e): their "
          "table comes from the exact propagator, which makes no eigen-decomposition for %s "
          "(--eigensolver lapack makes LAPACK's)\n",
          deviation, dump);
  }
  if (!opts.quiet && !opts.just_shorten) {
    fprintf(stderr,
            "The rates do not obey detailed balance (largest relative deviation %.1e): the "
            "populations come from the exact propagator\n",
            deviation);
  }
  return true;
}

}  // namespace

int RunDriver(ProgramRecord& record) {
  const RunOptions& opts = record.opts;
  const ArithmeticBackend& backend = BackendFor(opts.mlapack_method);
  clock_t start = clock();

  std::vector<QorpRecord> records;
  bool have_records = false;
  std::vector<double> rates;
  std::optional<std::string> sequence;
  ProgressStage("reading");
  int n = ReadInput(record, records, have_records, rates, sequence);
  ProgressEnd();

  Calc calc(n, opts);
  calc.sequence = std::move(sequence);
  std::vector<double> U;
  Status status = calc.MxQorp2Matrix(have_records ? &records : nullptr, std::move(rates), U);
  if (!status.ok()) Fatal(status);
  int d = calc.dim;

  // Set when the rates no longer follow the Boltzmann weights of the minima
  // (a common factor, --times, keeps them in proportion).
  const bool reshaped = RescaleMatrix(calc, U.data(), d);

  std::vector<double> p0;
  if (status = calc.MxMakeP0(p0); !status.ok()) Fatal(status);
  if (status = calc.MxErgodicity(U, p0, d); !status.ok()) Fatal(status);
  d = calc.dim;
  if (opts.verbose) calc.MxPrint(U.data(), "Ergodic U", 'm');

  std::vector<double> p8 = calc.MxAllocate();
  if (!opts.quiet) fprintf(stderr, "Time to initialize: %.2f secs.\n", SecondsSince(start));

  clock_t t = clock();
  // The equilibrium must be that of the process that is integrated: after a
  // reshaping rescale, detailed balance of U itself, whatever the method.
  const std::vector<QorpRecord>* energies = nullptr;
  if (opts.method == 'A' && !reshaped) {
    KeepRecords(calc, records);
    status = calc.MxEquilibriumFromEnergies(records, p8);
    energies = &records;
  } else {
    status = calc.MxEquilibriumFromBalance(U, p8);
    // A one-way transition leaves no local balance at all: the default run
    // still propagates such rates, with the elimination's equilibrium (which
    // needs none) when the chain is irreducible.
    if (!status.ok() && status.message.rfind("Local balance is unsatisfiable", 0) == 0 &&
        calc.numbering.absorbing_state == 0 && opts.eigensolver != Eigensolver::kLapack) {
      std::vector<double> eliminated;
      if (calc.MxEquilibriumByElimination(U, eliminated).ok()) {
        p8 = std::move(eliminated);
        status = Status{};
      }
    }
  }
  if (!status.ok()) Fatal(status);
  const bool exact_table = TakeRatesWithoutBalance(calc, U, p8, energies != nullptr);
  if (opts.equil_file != nullptr) {
    if (status = WriteEquilibriumFile(calc, opts.equil_file, p8); !status.ok()) Fatal(status);
  }
  if (calc.numbering.absorbing_state != 0) {
    if (status = RefuseRatesNotFinite(U, d); !status.ok()) Fatal(status);
  }
  // One warning covers the table and the first passage times.
  backend.warn_unprotected(calc, U, p8);

  if (opts.fpt) {
    ProgressStage("first passage times");
    FirstPassageStage(backend, calc, U, p8, energies);
    ProgressEnd();
    if (!opts.quiet) fprintf(stderr, "Time to compute fpt: %.2f secs.\n", SecondsSince(t));
    t = clock();
  }

  if (!opts.just_shorten) {
    if (opts.exponent) {
      ProgressStage("time points", true);
      if (!calc.OneStateTablePrinted()) {
        if (status = calc.MxIterateExponent(p0, p8, U); !status.ok()) Fatal(status);
      }
      ProgressEnd();
    } else if (exact_table) {
      if (!calc.OneStateTablePrinted()) {
        ProgressStage("time points", true);
        if (status = calc.MxIterateExact(U, p0, p8); !status.ok()) Fatal(status);
        ProgressEnd();
        if (!opts.quiet) fprintf(stderr, "Time to iterate: %.2f secs.\n", SecondsSince(t));
      }
    } else {
      // The spectrum holds the decomposition in the arithmetic that made it.
      Spectrum spectrum;
      if (opts.recoverE) {
        if (status = RecoverSpectrum(calc, U, p8, spectrum); !status.ok()) Fatal(status);
      } else {
        t = clock();
        ProgressStage("diagonalising");
        if (status = MakeSpectrum(calc, U, p8, energies, spectrum); !status.ok()) Fatal(status);
        ProgressEnd();
        // --dumpX: the eigenvalues file is the whole product of the run.
        if (spectrum.dumped_only) return kExitSuccess;
        if (!opts.quiet) fprintf(stderr, "Time to diagonalize: %.2f secs.\n", SecondsSince(t));
        t = clock();
      }
      // U was the solver's work space; free it before the table needs memory.
      std::vector<double>().swap(U);
      if (!calc.OneStateTablePrinted()) {
        ProgressStage("time points", true);
        if (status = PopulationTable(calc, spectrum, p0, p8); !status.ok()) Fatal(status);
        ProgressEnd();
        if (!opts.quiet) fprintf(stderr, "Time to iterate: %.2f secs.\n", SecondsSince(t));
      }
    }
  }

  return kExitSuccess;
}

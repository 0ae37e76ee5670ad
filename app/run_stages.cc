#include "app/run_stages.h"

#include <cstdio>
#include <ctime>
#include <functional>
#include <limits>
#include <optional>
#include <utility>
#include <vector>

#include "app/choose_equilibrium.h"
#include "app/equilibrium_file.h"
#include "app/read_input.h"
#include "app/written_output.h"
#include "base/exit_status.h"
#include "base/progress.h"
#include "base/status.h"
#include "calc/backend/arithmetic_backend.h"
#include "calc/backend/spectrum_stage.h"
#include "calc/model/calc.h"
#include "calc/model/distributions.h"
#include "calc/model/ergodicity.h"
#include "calc/model/rescale.h"
#include "calc/model/spectrum.h"
#include "calc/model/transition_matrix.h"
#include "calc/spectrum/diagonalize.h"
#include "calc/spectrum/eigen_checks.h"
#include "calc/spectrum/stiffness.h"
#include "calc/spectrum/stored_decomposition.h"
#include "calc/table/exact_populations.h"
#include "calc/table/iterate.h"
#include "calc/table/iterate_exponent.h"

namespace {

double SecondsSince(clock_t start) { return static_cast<double>(clock() - start) / CLOCKS_PER_SEC; }

// --fpt N names input state N; the system after the ergodicity reduction may
// not hold it. `times` receives the times from every input state (nan from
// removed states), or nothing when N is beyond the input states.
Status FirstPassageToInputState(const ArithmeticBackend& backend, const Calc& calc,
                                const std::vector<double>& U, int state,
                                std::optional<std::vector<double>>& times) {
  times.reset();
  const std::vector<int> index = calc.numbering().ReducedIndices(calc.dim());
  if (state < 1 || state > static_cast<int>(index.size())) {
    fprintf(stderr, "State %d does not exist (--fpt %d)", state, state);
    return Status{};
  }
  const int target = index[state - 1];
  if (target < 0) {
    return Failure(kExitError,
                   "ERROR: state %d (--fpt %d) is unreachable from the initial population\n", state,
                   state);
  }
  std::optional<std::vector<double>> reduced;
  if (Status status = backend.first_passage_to(calc, U, target, reduced); !status.ok()) {
    return status;
  }
  if (reduced) {
    times = calc.numbering().ToInputNumbering(reduced->data(), calc.dim(),
                                              std::numeric_limits<double>::quiet_NaN());
  }
  return Status{};
}

// `energies`: the local minima whose Boltzmann weights are p8, or nullptr when
// p8 comes from the balance of U.
Status FirstPassageStage(const ArithmeticBackend& backend, const Calc& calc,
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
  if (opts.fpt_state == -1 || calc.numbering().absorbing_state != 0) {
    if (Status status = backend.first_passage_times(calc, U, p8, energies, out); !status.ok()) {
      return status;
    }
  } else {
    std::optional<std::vector<double>> times;
    if (Status status = FirstPassageToInputState(backend, calc, U, opts.fpt_state, times);
        !status.ok()) {
      return status;
    }
    if (times) {
      if (out == stderr) {
        fprintf(stderr, "First passage times to state number %d:\n", opts.fpt_state);
      }
      for (double x : *times) fprintf(out, "%15.7f ", x);
      fputs(out == stderr ? "\n---\n" : "\n", out);
    }
  }
  if (out != stderr) return CloseWrittenOutput(out, opts.fptfile->c_str(), "FPT output");
  return Status{};
}

// ---------------------------------------------------------------------------
// The spectral table: diagonalise (or recover the stored decomposition), then
// walk the table on the decomposition. `t`: the clock of the timing lines
// since the stage before. U is freed on the way.
Status SpectralTable(Calc& calc, std::vector<double>& U, std::vector<double>& p0,
                     std::vector<double>& p8, const std::vector<QorpRecord>* energies, clock_t t) {
  const RunOptions& opts = calc.opts;
  Status status;
  // The spectrum holds the decomposition in the arithmetic that made it.
  Spectrum spectrum;
  if (opts.recoverE) {
    if (status = RecoverSpectrum(calc, U, p8, spectrum); !status.ok()) return status;
  } else {
    t = clock();
    ProgressStage("diagonalising");
    if (status = MakeSpectrum(calc, U, p8, energies, spectrum); !status.ok()) return status;
    ProgressEnd();
    // --dumpX: the eigenvalues file is the whole product of the run.
    if (spectrum.dumped_only) return Status{};
    if (!opts.quiet) fprintf(stderr, "Time to diagonalize: %.2f secs.\n", SecondsSince(t));
    t = clock();
  }
  // U was the solver's work space; free it before the table needs memory.
  std::vector<double>().swap(U);
  if (!calc.ReducedToOneState()) {
    ProgressStage("time points", true);
    if (status = PopulationTable(calc, spectrum, p0, p8); !status.ok()) return status;
    ProgressEnd();
    if (!opts.quiet) fprintf(stderr, "Time to iterate: %.2f secs.\n", SecondsSince(t));
  }
  return Status{};
}
// ---------------------------------------------------------------------------

}  // namespace

Status BuildChain(const RunOptions& opts, const InputRequest& request, BuiltChain& chain) {
  RunInput& input = chain.input;
  ProgressStage("reading");
  if (Status status = ReadInput(opts, request, input); !status.ok()) return status;
  ProgressEnd();

  Calc& calc = chain.calc.emplace(input.n, opts);
  calc.sequence = std::move(input.sequence);
  Status status = MxQorp2Matrix(calc, input.have_records ? &input.records : nullptr,
                                std::move(input.rates), chain.U);
  if (!status.ok()) return status;
  chain.reshaped = RescaleMatrix(calc, chain.U.data(), calc.dim());
  return Status{};
}

Status RunStages(const RunOptions& opts) {
  const ArithmeticBackend& backend = BackendFor(opts.mlapack_method);
  clock_t start = clock();

  BuiltChain chain;
  if (Status status = BuildChain(opts, InputRequest{}, chain); !status.ok()) return status;
  Calc& calc = *chain.calc;
  std::vector<double>& U = chain.U;
  int d = calc.dim();

  std::vector<double> p0;
  Status status;
  if (status = MxMakeP0(calc, p0); !status.ok()) return status;
  if (status = MxErgodicity(calc, U, p0, d); !status.ok()) return status;
  if (status = PrintOneStateTable(calc, p0); !status.ok()) return status;
  d = calc.dim();
  if (opts.verbose) MxPrint(calc, U.data(), "Ergodic U", 'm');

  if (!opts.quiet) fprintf(stderr, "Time to initialize: %.2f secs.\n", SecondsSince(start));

  clock_t t = clock();
  EquilibriumChoice equilibrium;
  status = ChooseEquilibrium(calc, U, chain.input.records, chain.reshaped, true, equilibrium);
  if (!status.ok()) return status;
  std::vector<double>& p8 = equilibrium.p8;
  const std::vector<QorpRecord>* energies = equilibrium.energies;
  if (opts.equil_file != nullptr) {
    if (status = WriteEquilibriumFile(calc, opts.equil_file, p8); !status.ok()) return status;
  }
  if (calc.numbering().absorbing_state != 0) {
    if (status = RefuseRatesNotFinite(U, d); !status.ok()) return status;
  }
  // One warning covers the table and the first passage times.
  backend.warn_unprotected(calc, U, p8);

  if (opts.fpt) {
    ProgressStage("first passage times");
    if (status = FirstPassageStage(backend, calc, U, p8, energies); !status.ok()) return status;
    ProgressEnd();
    if (!opts.quiet) fprintf(stderr, "Time to compute fpt: %.2f secs.\n", SecondsSince(t));
    t = clock();
  }

  if (opts.just_shorten) return Status{};
  if (opts.exponent) {
    ProgressStage("time points", true);
    if (!calc.ReducedToOneState()) {
      if (status = MxIterateExponent(calc, p0, p8, U); !status.ok()) return status;
    }
    ProgressEnd();
  } else if (equilibrium.exact_table) {
    if (!calc.ReducedToOneState()) {
      ProgressStage("time points", true);
      if (status = MxIterateExact(calc, U, p0, p8); !status.ok()) return status;
      ProgressEnd();
      if (!opts.quiet) fprintf(stderr, "Time to iterate: %.2f secs.\n", SecondsSince(t));
    }
  } else {
    return SpectralTable(calc, U, p0, p8, energies, t);
  }
  return Status{};
}

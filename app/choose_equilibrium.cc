#include "app/choose_equilibrium.h"

#include <cstdio>
#include <utility>
#include <vector>

#include "app/kept_records.h"
#include "base/exit_status.h"
#include "base/run_options.h"
#include "base/status.h"
#include "calc/model/calc.h"
#include "calc/model/distributions.h"
#include "calc/spectrum/stiffness.h"

namespace {

// The rates-without-balance decision; `balanced`: the rates come from the
// energies of the minima. Sets exact_table; p8 is replaced by the
// elimination's.
Status TakeRatesWithoutBalance(Calc& calc, const std::vector<double>& U, bool balanced,
                               EquilibriumChoice& choice) {
  const RunOptions& opts = calc.opts;
  std::vector<double>& p8 = choice.p8;
  const bool absorbing = calc.numbering().absorbing_state != 0;
  double deviation = 0.0;
  choice.exact_table = false;
  if (!LacksDetailedBalance(calc, U, p8, balanced, deviation)) return Status{};
  const char* refused = opts.mlapack_method != Arithmetic::kDefault ? "--mlapack-method"
                        : opts.recoverE                             ? "--recoverE"
                                                                    : nullptr;
  if (refused != nullptr) {
    return Failure(kExitError,
                   "ERROR: the rates do not obey detailed balance (largest relative deviation "
                   "%.1e), which %s cannot take: rerun without it (the default run propagates "
                   "these rates exactly)\n",
                   deviation, refused);
  }
  if (!absorbing) {
    if (Status status = MxEquilibriumByElimination(calc, U, p8); !status.ok()) return status;
  }
  if (opts.eigensolver == Eigensolver::kLapack) {
    if (!opts.quiet) {
      fprintf(stderr,
              "WARNING: the rates do not obey detailed balance (largest relative deviation "
              "%.1e), which --eigensolver lapack does not resolve, the table may be wrong: rerun "
              "with --eigensolver auto\n",
              deviation);
    }
    return Status{};
  }
  if (opts.exponent) return Status{};
  const char* dump = opts.dumpE ? "--dumpE" : opts.dumpX ? "--dumpX" : nullptr;
  if (dump != nullptr) {
    return Failure(kExitError,
                   "ERROR: the rates do not obey detailed balance (largest relative deviation "
                   "%.1e): their table comes from the exact propagator, which makes no "
                   "eigen-decomposition for %s (--eigensolver lapack makes LAPACK's)\n",
                   deviation, dump);
  }
  if (!opts.quiet && !opts.just_shorten) {
    fprintf(stderr,
            "The rates do not obey detailed balance (largest relative deviation %.1e): the "
            "populations come from the exact propagator\n",
            deviation);
  }
  choice.exact_table = true;
  return Status{};
}

}  // namespace

Status ChooseEquilibrium(Calc& calc, const std::vector<double>& U, std::vector<QorpRecord>& records,
                         bool reshaped, bool settle_balance, EquilibriumChoice& choice) {
  const RunOptions& opts = calc.opts;
  choice.p8 = MxAllocate(calc);
  choice.energies = nullptr;
  choice.exact_table = false;
  Status status;
  if (opts.method == 'A' && !reshaped) {
    KeepRecords(calc, records);
    status = MxEquilibriumFromEnergies(calc, records, choice.p8);
    choice.energies = &records;
  } else {
    status = MxEquilibriumFromBalance(calc, U, choice.p8);
    if (settle_balance && !status.ok() &&
        status.message.rfind("Local balance is unsatisfiable", 0) == 0 &&
        calc.numbering().absorbing_state == 0 && opts.eigensolver != Eigensolver::kLapack) {
      std::vector<double> eliminated;
      if (MxEquilibriumByElimination(calc, U, eliminated).ok()) {
        choice.p8 = std::move(eliminated);
        status = Status{};
      }
    }
  }
  if (!status.ok() || !settle_balance) return status;
  return TakeRatesWithoutBalance(calc, U, choice.energies != nullptr, choice);
}

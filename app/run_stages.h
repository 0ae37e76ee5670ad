// The stages of a run in their one order: read the input, build U, rescale,
// p0, the ergodicity reduction, the equilibrium, the side files, the first
// passage times and the population table (by the exponent, the exact
// propagator or the spectrum). The command line runs all of them; the
// Python module builds its landscapes with BuildChain.
#ifndef ZOLVANE_APP_RUN_STAGES_H_
#define ZOLVANE_APP_RUN_STAGES_H_

#include <optional>
#include <vector>

#include "app/read_input.h"
#include "base/run_options.h"
#include "base/status.h"
#include "calc/model/calc.h"

// The chain a run integrates, before the ergodicity reduction.
struct BuiltChain {
  // What was read; the rates are handed to U and the sequence to
  // calc.sequence, the records stay.
  RunInput input;
  // Over the states read, with the absorbing state appended (--absorb).
  std::optional<Calc> calc;
  std::vector<double> U;
  // The rates no longer follow the Boltzmann weights of the minima (a
  // common factor, --times, keeps them in proportion).
  bool reshaped = false;
};

// Reads the input (ReadInput with `request`), builds U by method A or I and
// rescales it. `opts` must outlive chain.calc. Fails as ReadInput and
// Calc::MxQorp2Matrix do.
Status BuildChain(const RunOptions& opts, const InputRequest& request, BuiltChain& chain);

// Runs every stage once in order, printing what the command line prints
// (the table on standard output, the timing lines unless --quiet) and
// writing the files the options name. Stops at the first stage that fails
// and returns its status; --dumpX stops successfully once evals.txt is
// written.
Status RunStages(const RunOptions& opts);

#endif  // ZOLVANE_APP_RUN_STAGES_H_

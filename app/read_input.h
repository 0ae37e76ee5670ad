// Reading the input of a run: the qorp file (method A), or the rates, text or
// binary, with the qorp file of an absorbing state (method I). The command
// line and the Python module read through it.
#ifndef ZOLVANE_APP_READ_INPUT_H_
#define ZOLVANE_APP_READ_INPUT_H_

#include <optional>
#include <string>
#include <vector>

#include "base/run_options.h"
#include "base/status.h"
#include "input/qorp_file.h"

// Where the input comes from. The defaults are the command line's: the
// streams the options opened, announced on standard error unless --quiet.
struct InputRequest {
  // "Using ... from STDIN ..." before reading.
  bool announce = true;
  // Method I: read a qorp file beside the rates whenever one was named (the
  // module keeps the minima for every state), not only for --absorb; "named"
  // means a stream other than standard input. --absorb without one fails
  // after the other checks.
  bool qorp_beside_rates = false;
  // Rates already in hand (n * n, the module's matrices), taken over: no
  // rates file is read; only a named qorp file, as with qorp_beside_rates (and --absorb of
  // method I needs it).
  std::vector<double>* rates = nullptr;
  int rates_n = 0;
};

// The check of ReadInput that failed, for a caller that words it its own way;
// the parsers' own failures are kNone.
enum class InputCheck {
  kNone,
  kNoMinimum,          // the qorp file holds no local minimum (method A)
  kTooLarge,           // the transition matrix would not fit in memory
  kQorpMissing,        // --absorb without a qorp file
  kDimensionMismatch,  // the qorp file's minima are not one per state
  kEmpty,              // the rates file holds no state
};

// What was read.
struct RunInput {
  int n = 0;                        // number of states read
  std::vector<QorpRecord> records;  // when a qorp file was read
  bool have_records = false;
  std::vector<double> rates;              // method I, n * n
  std::optional<std::string> sequence;    // named by the qorp file
  InputCheck failed = InputCheck::kNone;  // set with a failed status
};

// Reads the input `opts` names into `input`; binary rates are cut to
// --nstates by the quasi-stationary elimination, and --visualize writes the
// rate graph. Fails, with the command line's message and status 1, on
// input that cannot be parsed, a qorp file with no minimum, a matrix beyond
// memory, --absorb without a qorp file, a qorp file of another dimension or
// an empty rates file; `input.failed` says which check it was.
Status ReadInput(const RunOptions& opts, const InputRequest& request, RunInput& input);

#endif  // ZOLVANE_APP_READ_INPUT_H_

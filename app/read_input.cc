#include "app/read_input.h"

#include <cstdio>
#include <utility>
#include <vector>

#include "base/exit_status.h"
#include "base/rates_alloc.h"
#include "base/status.h"
#include "calc/backend/reduce.h"
#include "input/bin_rates_file.h"
#include "input/input_context.h"
#include "input/qorp_file.h"
#include "input/rates_file.h"
#include "visualize/rate_graph.h"

namespace {

Status QorpMissing() {
  return Failure(kExitError,
                 "ERROR: qorp file must be provided via --qorp option for computing proper free "
                 "energy/partition function for the absorbing state\n");
}

Status Failed(RunInput& input, InputCheck check, Status status) {
  input.failed = check;
  return status;
}

// The qorp file's minima as the records of a run with `n` states read.
Status ReadRecordsFor(InputContext& ctx, RunInput& input) {
  int m = 0;
  if (Status status = ParseQorpFile(ctx, ctx.qorp, input.records, m); !status.ok()) return status;
  input.sequence = std::move(ctx.sequence);
  input.have_records = true;
  if (m != input.n) {
    return Failed(input, InputCheck::kDimensionMismatch,
                  Failure(kExitError,
                          "ERROR: dimension mismatch among input rates file and qorp file %d != "
                          "%d\n",
                          input.n, m));
  }
  return Status{};
}

// --absorb on rates needs the minima's records for the absorbing state.
Status RequireAbsorbingRecords(const RunOptions& opts, RunInput& input) {
  if (opts.method != 'I' || opts.absorb == 0 || input.have_records) return Status{};
  return Failed(input, InputCheck::kQorpMissing, QorpMissing());
}

}  // namespace

Status ReadInput(const RunOptions& opts, const InputRequest& request, RunInput& input) {
  InputContext ctx{opts};
  // Whether a qorp stream was handed over at all; a stream that the rates
  // reader consumed (standard input) is "closed", which the qorp reader itself
  // reports.
  const bool qorp_given = ctx.qorp != nullptr;
  // The module's files: a qorp file counts when one was named.
  const bool qorp_named = ctx.qorp != nullptr && ctx.qorp != stdin;
  input.failed = InputCheck::kNone;

  if (request.rates != nullptr) {
    input.rates = std::move(*request.rates);
    input.n = request.rates_n;
    if (qorp_named) {
      if (Status status = ReadRecordsFor(ctx, input); !status.ok()) return status;
    }
    return RequireAbsorbingRecords(opts, input);
  }

  if (opts.method == 'A') {
    if (request.announce && !opts.quiet) {
      fprintf(stderr, "Using qorp file from STDIN for constructing transition matrix\n");
    }
    if (Status status = ParseQorpFile(ctx, ctx.qorp, input.records, input.n); !status.ok()) {
      return status;
    }
    input.sequence = std::move(ctx.sequence);
    input.have_records = true;
    if (input.n == 0) {
      return Failed(input, InputCheck::kNoMinimum,
                    Failure(kExitError, "ERROR: qorp file holds no local minimum!\n"));
    }
    // A short qorp file can announce a matrix far beyond memory; say so here
    // rather than abort in the allocator.
    if (!SquareMatrixFits(input.n)) {
      return Failed(
          input, InputCheck::kTooLarge,
          Failure(kExitError, "ERROR: a transition matrix of dimension %d does not fit in memory\n",
                  input.n));
    }
    return Status{};
  }

  if (request.announce && !opts.quiet) {
    fprintf(stderr, "Using rates matrix from STDIN for constructing transition matrix\n");
  }
  int& n = input.n;
  Status status = opts.bin ? ParseBinaryRatesFile(ctx, ctx.ratesfile, input.rates, n)
                           : ParseRatesFile(ctx, ctx.ratesfile, input.rates, n);
  if (!status.ok()) return status;
  // Binary rates are the one input --nstates shrinks: the states beyond it
  // are eliminated as quasi-stationary.
  if (opts.bin) {
    status = MxReduce(opts, input.rates, opts.nstates, n, opts.max_decrease, n);
    if (!status.ok()) return status;
  }
  if (request.qorp_beside_rates) {
    if (qorp_named) {
      if (status = ReadRecordsFor(ctx, input); !status.ok()) return status;
    }
  } else if (opts.absorb != 0) {
    if (!qorp_given) {
      return Failed(input, InputCheck::kQorpMissing, QorpMissing());
    }
    if (status = ReadRecordsFor(ctx, input); !status.ok()) return status;
  }
  if (n == 0) {
    return Failed(input, InputCheck::kEmpty, Failure(kExitError, "ERROR: Rate file empty!\n"));
  }
  if (request.qorp_beside_rates) {
    if (status = RequireAbsorbingRecords(opts, input); !status.ok()) return status;
  }
  if (opts.visualize != nullptr) {
    status = ExportRateGraph(opts.visualize, input.rates,
                             input.have_records ? &input.records : nullptr, n, opts.quiet != 0);
    if (!status.ok()) return status;
  }
  return Status{};
}

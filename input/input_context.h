// What the input readers share: the streams the options opened and the state
// the input stage derives. Every reader (input/rates_file.h, qorp_file.h,
// bin_rates_file.h) consumes and closes the stream it is given and survives
// truncated, empty and garbage input: bad input comes back as a failed
// Status (base/status.h) with a one-line message.
#ifndef ZOLVANE_INPUT_INPUT_CONTEXT_H_
#define ZOLVANE_INPUT_INPUT_CONTEXT_H_

#include <cstdio>
#include <optional>
#include <string>

#include "base/run_options.h"

// Created by the run driver just before the input is read; the state the
// input stage derives lives here, the options stay as validated. Readers take
// `nstates`, `quiet`, `verbose` and `feps` from the options.
struct InputContext {
  explicit InputContext(const RunOptions& opts)
      : opts(opts), ratesfile(opts.ratesfile), qorp(opts.qorp) {}

  const RunOptions& opts;
  // The streams the options opened, taken over. A reader closes the stream it
  // consumed and clears every field that referred to it, so a consumed
  // standard input reads as "already closed" for the next reader.
  FILE* ratesfile;
  FILE* qorp;
  // Sequence from the first line of the qorp file, if one was read.
  std::optional<std::string> sequence;
};

#endif  // ZOLVANE_INPUT_INPUT_CONTEXT_H_

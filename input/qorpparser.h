// Input readers: the whole-line reader and the readers of the text rates file,
// the qorp file and the binary rates file. Every reader consumes and closes
// the stream it is given and survives truncated, empty and garbage input:
// bad input ends the run through Fatal with a one-line message.
#ifndef ZOLVANE_INPUT_QORPPARSER_H_
#define ZOLVANE_INPUT_QORPPARSER_H_

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

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

// One local minimum of a qorp file; state k is the k-th minimum line.
struct QorpRecord {
  double energy = 0.0;         // numeric column 1
  double saddle_height = 0.0;  // column 3, measured from energy
  int32_t father = 0;          // column 2, 1-based number of the father
  int32_t index = 0;           // the number that starts the line
  double extra4 = 0.0;
  double extra5 = 0.0;
  double extra6 = 0.0;
  double extra7 = 0.0;
  double free_energy = 0.0;  // column 8
};

// Reads one whole line of any length, without its newline (a carriage return
// before it stays). nullopt at end of input with nothing read. A read error
// (a directory, a failing device) is not the end of the input: it ends the
// run with "ERROR: cannot read NAME: reason".
std::optional<std::string> read_line(FILE* stream, const char* name = "input");

// Closes `stream` and clears every stream field of `ctx` that refers to it,
// so that a consumed standard input counts as closed for later readers.
void CloseInputStream(InputContext& ctx, FILE* stream);

// Text rates file. Returns n and fills `rates` (n*n, row-major, transposed:
// element j*n+i is the rate i -> j). n = 0 for empty input.
int ParseRatesFile(InputContext& ctx, FILE* stream, std::vector<double>& rates);

// The text rates file row by row, for callers that never hold the whole
// matrix; ParseRatesFile is built on it. Open checks the stream and reads the
// first line, which gives n (0 for empty input).
struct RatesFileRows {
  InputContext& ctx;
  FILE* stream;
  int64_t n = 0;
  int64_t rows = 0;                 // rows handed out so far
  std::optional<std::string> line;  // the line NextRatesRow parses next
};
RatesFileRows OpenRatesFileRows(InputContext& ctx, FILE* stream);
// Stores the numbers of the next line (the rates out of state `rows`) at
// out[k * stride], k < n; entries past the line's last number are left
// untouched. False once n rows were read or the input ended.
bool NextRatesRow(RatesFileRows& reader, double* out, int64_t stride);
// Warns when fewer than n rows were found; closes the stream.
void CloseRatesFileRows(RatesFileRows& reader);

// Qorp file. Sets ctx.sequence, fills `records` (at most nstates) and
// returns their count.
int ParseQorpFile(InputContext& ctx, FILE* stream, std::vector<QorpRecord>& records);

// Binary rates file: int32 n followed by n*n doubles in memory order.
// Returns n; the run shrinks the matrix to --nstates states afterwards
// (calc/reduce.h).
int ParseBinaryRatesFile(InputContext& ctx, FILE* stream, std::vector<double>& rates);

#endif  // ZOLVANE_INPUT_QORPPARSER_H_

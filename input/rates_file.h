// Reader of the text rates file: line i lists the rates out of state i.
#ifndef ZOLVANE_INPUT_RATES_FILE_H_
#define ZOLVANE_INPUT_RATES_FILE_H_

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "base/status.h"
#include "input/input_context.h"

// Sets n and fills `rates` (n*n, row-major, transposed: element j*n+i is the
// rate i -> j); n = 0 for empty input. Fails on an absent stream, a read
// error or a matrix beyond memory.
Status ParseRatesFile(InputContext& ctx, FILE* stream, std::vector<double>& rates, int& n);

// The text rates file row by row, for callers that never hold the whole
// matrix; ParseRatesFile is built on it. Open checks the stream and reads the
// first line, which gives n (0 for empty input).
struct RatesFileRows {
  InputContext& ctx;
  FILE* stream;
  int64_t n = 0;
  int64_t rows = 0;                 // rows handed out so far
  std::optional<std::string> line;  // the line NextRatesRow parses next
  // Failed when the stream was absent or a read failed; no row is handed out
  // after that, and the caller reports it.
  Status status;
};
RatesFileRows OpenRatesFileRows(InputContext& ctx, FILE* stream);
// Stores the numbers of the next line (the rates out of state `rows`) at
// out[k * stride], k < n; entries past the line's last number are left
// untouched. False once n rows were read, the input ended or `status` failed
// (a read error shows after the row it follows was handed out).
bool NextRatesRow(RatesFileRows& reader, double* out, int64_t stride);
// Warns when fewer than n rows were found; closes the stream.
void CloseRatesFileRows(RatesFileRows& reader);

#endif  // ZOLVANE_INPUT_RATES_FILE_H_

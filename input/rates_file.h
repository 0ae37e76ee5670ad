// Reader of the text rates file: line i lists the rates out of state i.
#ifndef ZOLVANE_INPUT_RATES_FILE_H_
#define ZOLVANE_INPUT_RATES_FILE_H_

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "input/input_context.h"

// Returns n and fills `rates` (n*n, row-major, transposed: element j*n+i is
// the rate i -> j). n = 0 for empty input.
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

#endif  // ZOLVANE_INPUT_RATES_FILE_H_

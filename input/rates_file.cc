// Reader of the text rates file: one line per source state, transposed on
// reading so that column i of the matrix holds the rates out of state i.
#include <cstdlib>
#include <cstring>

#include "input/qorpparser.h"
#include "input/rates_alloc.h"
#include "run/fatal.h"

namespace {

bool IsFieldSeparator(char c) { return c == ' ' || c == '\t' || c == '\n'; }

// The dimension: the number of leading blank-separated fields that each begin
// with a number. Every field is judged on its own, so a field holding only,
// say, a carriage return does not borrow the number of the next field.
int64_t CountLeadingNumbers(const char* p) {
  int64_t count = 0;
  for (;;) {
    while (IsFieldSeparator(*p)) ++p;
    if (*p == '\0') return count;
    const char* field = p;
    while (*p != '\0' && !IsFieldSeparator(*p)) ++p;
    // strtod skips white space the field itself may start with (\r, \v, \f);
    // it must find the number before the field ends.
    const char* start = field;
    while (start < p && strchr("\r\v\f", *start) != nullptr) ++start;
    if (start == p) return count;
    char* end = nullptr;
    strtod(start, &end);
    if (end == start) return count;
    ++count;
  }
}

// Stores the leading numbers of `line` as column `row`; at most n of them.
void ParseRow(const char* line, int64_t n, int64_t row, double* rates) {
  const char* p = line;
  for (int64_t k = 0; k < n; ++k) {
    char* end = nullptr;
    const double value = strtod(p, &end);
    if (end == p) return;
    rates[k * n + row] = value;
    p = end;
  }
}

}  // namespace

int ParseRatesFile(InputContext& ctx, FILE* stream, std::vector<double>& rates) {
  if (stream == nullptr) {
    Fatal(1, "ERROR: Rates matrix file handle is either NULL or already closed!");
  }
  std::optional<std::string> line = read_line(stream);
  const int64_t n = line ? CountLeadingNumbers(line->c_str()) : 0;
  AllocateRatesMatrix(n, rates);

  int64_t rows = 0;
  if (n > 0) {
    // The first line is parsed a second time, now as row 0.
    while (line) {
      ParseRow(line->c_str(), n, rows, rates.data());
      ++rows;
      if (rows == n) break;
      line = read_line(stream);
    }
  }
  if (rows != n && !ctx.opts.quiet) {
    fprintf(stderr, "WARNING: dimensions are corrupted lines: %d(%d); rows: %d(%d)\n",
            static_cast<int>(n - 1), static_cast<int>(n - 1), static_cast<int>(rows - 1),
            static_cast<int>(n - 1));
  }
  CloseInputStream(ctx, stream);
  return static_cast<int>(n);
}

// Reader of the text rates file: one line per source state, transposed on
// reading so that column i of the matrix holds the rates out of state i.
#include "input/rates_file.h"

#include <cstdlib>
#include <cstring>

#include "base/rates_alloc.h"
#include "input/parse_double.h"
#include "input/read_line.h"

namespace {

bool IsFieldSeparator(char c) { return c == ' ' || c == '\t' || c == '\n'; }

// The dimension: the number of leading blank-separated fields that each begin
// with a number. Every field is judged on its own, so a field holding only,
// say, a carriage return does not borrow the number of the next field.
int64_t CountLeadingNumbers(const char* p) {
  const char* last = p + strlen(p);
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
    const char* end = nullptr;
    ParseDouble(start, last, &end);
    if (end == start) return count;
    ++count;
  }
}

// Stores the leading numbers of `line` at out[k * stride]; at most n of them.
void ParseRow(const std::string& line, int64_t n, double* out, int64_t stride) {
  const char* p = line.c_str();
  const char* last = p + line.size();
  for (int64_t k = 0; k < n; ++k) {
    const char* end = nullptr;
    const double value = ParseDouble(p, last, &end);
    if (end == p) return;
    out[k * stride] = value;
    p = end;
  }
}

}  // namespace

RatesFileRows OpenRatesFileRows(InputContext& ctx, FILE* stream) {
  RatesFileRows reader{ctx, stream, 0, 0, std::nullopt, Status{}};
  if (stream == nullptr) {
    reader.status = Failure(1, "ERROR: Rates matrix file handle is either NULL or already closed!");
    return reader;
  }
  reader.status = read_line(stream, reader.line, ctx.opts.ratesfile_name.c_str());
  reader.n = reader.line ? CountLeadingNumbers(reader.line->c_str()) : 0;
  return reader;
}

bool NextRatesRow(RatesFileRows& reader, double* out, int64_t stride) {
  if (reader.rows == reader.n || !reader.line || !reader.status.ok()) return false;
  // The first line is parsed a second time, now as row 0.
  ParseRow(*reader.line, reader.n, out, stride);
  ++reader.rows;
  if (reader.rows < reader.n) {
    reader.status = read_line(reader.stream, reader.line, reader.ctx.opts.ratesfile_name.c_str());
  }
  return true;
}

void CloseRatesFileRows(RatesFileRows& reader) {
  const int64_t n = reader.n;
  if (reader.rows != n && !reader.ctx.opts.quiet) {
    fprintf(stderr, "WARNING: dimensions are corrupted lines: %d(%d); rows: %d(%d)\n",
            static_cast<int>(n - 1), static_cast<int>(n - 1), static_cast<int>(reader.rows - 1),
            static_cast<int>(n - 1));
  }
  CloseInputStream(reader.ctx, reader.stream);
}

Status ParseRatesFile(InputContext& ctx, FILE* stream, std::vector<double>& rates, int& n) {
  n = 0;
  RatesFileRows reader = OpenRatesFileRows(ctx, stream);
  Status status = reader.status;
  if (status.ok()) status = AllocateRatesMatrix(reader.n, rates);
  // Row r of the file holds the rates out of state r: column r of the matrix.
  for (int64_t r = 0; status.ok() && NextRatesRow(reader, rates.data() + r, reader.n); ++r) {
  }
  if (status.ok()) status = reader.status;
  if (!status.ok()) {
    CloseInputStream(ctx, stream);
    return status;
  }
  CloseRatesFileRows(reader);
  n = static_cast<int>(reader.n);
  return status;
}

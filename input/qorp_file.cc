// Reader of the qorp file: the sequence from the first line, then one record
// per minimum line. Tokens are separated by spaces only (a tab belongs to its
// token) and are classified by their first character.
#include "input/qorp_file.h"

#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "input/parse_double.h"
#include "input/read_line.h"

namespace {

// Integer columns follow "%d": leading white space, optional sign, digits;
// no digits leaves the field 0. Out-of-range values saturate instead of
// wrapping.
int32_t ReadInt(const char* token) {
  char* end = nullptr;
  const long value = strtol(token, &end, 10);
  if (end == token) return 0;
  if (value > INT32_MAX) return INT32_MAX;
  if (value < INT32_MIN) return INT32_MIN;
  return static_cast<int32_t>(value);
}

double ReadDouble(const char* token) {
  const char* end = nullptr;
  const double value = ParseDouble(token, token + strlen(token), &end);
  return end == token ? 0.0 : value;
}

// Numeric column c (1-based) lands in kDoubleColumn[c - 1]; column 2, the
// father, is the one integer column.
constexpr double QorpRecord::*kDoubleColumn[] = {
    &QorpRecord::energy,        nullptr,
    &QorpRecord::saddle_height, &QorpRecord::extra4,
    &QorpRecord::extra5,        &QorpRecord::extra6,
    &QorpRecord::extra7,        &QorpRecord::free_energy,
};

void StoreColumn(int column, const char* token, QorpRecord& record) {
  if (column == 2) {
    record.father = ReadInt(token);
  } else if (column <= 8) {  // columns after the eighth carry nothing we use
    record.*kDoubleColumn[column - 1] = ReadDouble(token);
  }
}

// Splits `line` in place at spaces (each token becomes NUL-terminated, so a
// number is never read across into the next token) and fills `record`.
QorpRecord ParseMinimumLine(std::string& line) {
  QorpRecord record;
  char* p = line.data();
  bool first = true;
  int column = 0;
  for (;;) {
    while (*p == ' ') ++p;
    if (*p == '\0') break;
    char* token = p;
    while (*p != '\0' && *p != ' ') ++p;
    const bool last = *p == '\0';
    *p = '\0';
    if (first) {
      record.index = ReadInt(token);
      first = false;
    } else {
      const unsigned char c = static_cast<unsigned char>(token[0]);
      if (isdigit(c) || c == '-' || !isprint(c)) {
        if (column < 9) ++column;  // past the eighth they are all ignored alike
        StoreColumn(column, token, record);
      } else if (c != '(' && c != '.' && c != 'F' && c != '~') {
        fprintf(stderr, "%c does not seem to be a RNA secondary structure nor a SAW\n", c);
      }  // else: a structure, which the kinetics does not need
    }
    if (last) break;
    ++p;
  }
  return record;
}

}  // namespace

Status ParseQorpFile(InputContext& ctx, FILE* stream, std::vector<QorpRecord>& records, int& n) {
  n = 0;
  if (stream == nullptr) {
    return Failure(1, "ERROR: Qorpmap file handle is either NULL or already closed!");
  }
  const char* name = ctx.opts.qorp_name.c_str();
  std::optional<std::string> line;
  Status status = read_line(stream, line, name);
  size_t begin = std::string::npos;
  if (line) begin = line->find_first_not_of(" \t\n\v\f\r");
  if (status.ok() && (begin == std::string::npos || (*line)[begin] == '\0')) {
    status = Failure(1, "could not get sequence from first line of qorpfile\n");
  }
  if (!status.ok()) {
    CloseInputStream(ctx, stream);
    return status;
  }
  // A NUL byte ends the sequence as well: nothing after it would print.
  const size_t end = line->find_first_of(std::string_view(" \t\n\v\f\r\0", 7), begin);
  ctx.sequence = line->substr(begin, end == std::string::npos ? end : end - begin);

  records.clear();
  records.reserve(100);
  while (static_cast<int64_t>(records.size()) < ctx.opts.nstates) {
    status = read_line(stream, line, name);
    if (!status.ok()) {
      CloseInputStream(ctx, stream);
      return status;
    }
    if (!line) break;
    records.push_back(ParseMinimumLine(*line));
  }
  records.shrink_to_fit();
  CloseInputStream(ctx, stream);
  n = static_cast<int>(records.size());
  return status;
}

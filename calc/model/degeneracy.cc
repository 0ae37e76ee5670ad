// Saddle degeneracies (--degeneracy): counts read from "saddles.txt" are
// added into the symmetric matrix D of pairs of minima. The rates of U do not
// depend on D; the additions are reported on standard error.
#include "calc/model/degeneracy.h"

#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <optional>
#include <string>
#include <vector>

#include "base/status.h"
#include "calc/model/calc.h"
#include "calc/model/saddle_file.h"
#include "input/read_line.h"

namespace {

constexpr char kSaddleFile[] = "saddles.txt";

bool IsBlank(const std::string& line) {
  for (unsigned char ch : line) {
    if (!isspace(ch)) return false;
  }
  return true;
}

// Reads the minimum numbers that follow the skipped token. Integers are read
// with strtol rather than one sscanf per entry, which would rescan the rest
// of a long line each time.
Status ParseLmins(const char* p, SaddleRecord& record) {
  while (*p != '\0') {
    // A token that is not an integer can never be consumed, so it ends up at
    // the same limit as a line with too many minima.
    if (static_cast<int>(record.lmins.size()) == kMaxLmins) {
      return Failure(1, " too many lmins in saddles.txt\n");
    }
    char* end = nullptr;
    errno = 0;
    long value = strtol(p, &end, 10);
    if (end == p) return Failure(1, " too many lmins in saddles.txt\n");
    // Out-of-range numbers name no minimum and are skipped later.
    if (value > INT_MAX) value = INT_MAX;
    if (value < INT_MIN) value = INT_MIN;
    record.lmins.push_back(static_cast<int>(value));
    p = end;
    while (isspace(static_cast<unsigned char>(*p))) ++p;
  }
  return Status{};
}

// The records of the open saddle file, one per non-blank line.
Status ReadSaddles(FILE* file, std::vector<SaddleRecord>& records) {
  int line_number = 0;
  std::optional<std::string> line;
  for (;;) {
    if (Status status = read_line(file, line, kSaddleFile); !status.ok()) return status;
    if (!line) return Status{};
    ++line_number;
    if (IsBlank(*line)) continue;
    SaddleRecord record;
    int pos = -1;
    if (sscanf(line->c_str(), "%lg %4d %*s %n", &record.energy, &record.cc, &pos) < 2 || pos < 0) {
      return Failure(1, "ERROR: %s line %d does not start with an energy, a count and a token\n",
                     kSaddleFile, line_number);
    }
    if (Status status = ParseLmins(line->c_str() + pos, record); !status.ok()) return status;
    try {
      records.push_back(std::move(record));
    } catch (const std::bad_alloc&) {
      return Failure(1, "Could not realloc tmp structure array in ParseSaddleFile\n");
    }
  }
}

}  // namespace

Status ParseSaddleFile(std::vector<SaddleRecord>& records) {
  records.clear();
  FILE* file = fopen(kSaddleFile, "r");
  if (file == nullptr) return Failure(1, "ERROR: cannot open %s for reading\n", kSaddleFile);
  Status status = ReadSaddles(file, records);
  fclose(file);
  return status;
}

Status MxAddDegeneracy(const Calc& calc, std::vector<double>& D) {
  const int n = calc.dim();
  // The file is read before D is sized, so that a bad file costs no memory.
  std::vector<SaddleRecord> saddles;
  if (Status status = ParseSaddleFile(saddles); !status.ok()) return status;
  D.assign(static_cast<size_t>(n) * n, 0.0);

  for (const SaddleRecord& s : saddles) {
    const int c = s.cc;
    const int m = static_cast<int>(s.lmins.size());
    // A plain saddle between two minima carries no degeneracy.
    if (!(c > 0 && m >= 2) || (c == 1 && m == 2)) continue;
    for (int p = 0; p < m; ++p) {
      for (int q = p + 1; q < m; ++q) {
        const int a = s.lmins[p];
        const int b = s.lmins[q];
        if (a < 1 || b < 1 || a > n || b > n) continue;
        double& d = D[static_cast<size_t>(a - 1) * n + (b - 1)];
        if (c >= 2) {
          d += c - 1;
          fprintf(stderr, "transition between %3d - %3d: adding %2d  cc\n", a, b, c - 1);
        }
        if (m >= 3) {
          d += 1;
          fprintf(stderr, "transition betweed %3d - %3d: adding  1 deg_saddle\n", a, b);
        }
      }
    }
  }

  // The upper triangle is authoritative: additions made below the diagonal
  // (a > b) are overwritten here.
  for (int i = 0; i < n; ++i) {
    for (int j = i + 1; j < n; ++j) {
      D[static_cast<size_t>(j) * n + i] = D[static_cast<size_t>(i) * n + j];
    }
  }
  if (calc.opts.verbose) MxPrint(calc, D.data(), "D (degeneracies)", 'm');
  return Status{};
}

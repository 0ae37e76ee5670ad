// Reader of the binary rates file: a native int32 count n, then n*n doubles
// already in memory order (column i = rates out of state i). A file shorter
// than its count announces is an error.
#include "input/bin_rates_file.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>

#include "base/fatal.h"
#include "base/rates_alloc.h"
#include "input/read_line.h"

namespace {

// A pipe's length is known only once it ends: the matrix grows with the data
// that arrive, so a few bytes announcing a huge matrix cost no more memory or
// time than they hold. Returns the number of bytes read (at most `want`).
size_t ReadAsItArrives(FILE* stream, int32_t n, uint64_t want, std::vector<double>& rates) {
  if (!SquareMatrixFits(n)) RatesMatrixDoesNotFit(n);
  constexpr uint64_t kFirstChunk = uint64_t{1} << 20;  // bytes, a multiple of 8
  rates.clear();
  uint64_t got = 0;
  uint64_t room = std::min(want, kFirstChunk);
  while (got < want) {
    try {
      rates.resize(room / sizeof(double));
    } catch (const std::bad_alloc&) {
      RatesMatrixDoesNotFit(n);
    }
    got += fread(reinterpret_cast<char*>(rates.data()) + got, 1, room - got, stream);
    if (got < room) break;  // end of input or a read error
    room = std::min(want, room * 2);
  }
  return got;
}

}  // namespace

int ParseBinaryRatesFile(InputContext& ctx, FILE* stream, std::vector<double>& rates) {
  if (stream == nullptr) {
    Fatal(1, "ERROR: Rates matrix (binary) file handle is either NULL or already closed!");
  }
  const char* name = ctx.opts.ratesfile_name.c_str();
  int32_t n = 0;
  if (fread(&n, sizeof n, 1, stream) != 1) {
    if (ferror(stream)) Fatal(1, "ERROR: cannot read %s: %s\n", name, strerror(errno));
    n = 0;
  }
  // The element count is a 32-bit quantity in the file format; a count whose
  // square does not fit cannot describe a valid file.
  if (n < 0 || static_cast<uint64_t>(n) * static_cast<uint64_t>(n) > UINT32_MAX) {
    Fatal(1, "ERROR: binary rates file announces %d states, which is out of range\n", n);
  }
  // A file shorter than its count announces is refused before anything is
  // sized by that count; zeros in place of the missing rates would make a
  // plausible wrong table.
  const uint64_t want = static_cast<uint64_t>(n) * static_cast<uint64_t>(n) * sizeof(double);
  struct stat st;
  const bool sized = fstat(fileno(stream), &st) == 0 && S_ISREG(st.st_mode);
  if (n > 0 && sized && static_cast<uint64_t>(st.st_size) < sizeof n + want) {
    Fatal(1, "ERROR: %s is truncated: %llu bytes expected, %llu found\n", name,
          static_cast<unsigned long long>(sizeof n + want),
          static_cast<unsigned long long>(st.st_size));
  }
  size_t got = 0;
  if (sized) {
    AllocateRatesMatrix(n, rates);
    got = want > 0 ? fread(rates.data(), 1, want, stream) : 0;
  } else {
    got = ReadAsItArrives(stream, n, want, rates);
  }
  if (got < want) {
    if (ferror(stream)) Fatal(1, "ERROR: cannot read %s: %s\n", name, strerror(errno));
    Fatal(1, "ERROR: %s is truncated: %llu bytes expected, %llu found\n", name,
          static_cast<unsigned long long>(sizeof n + want),
          static_cast<unsigned long long>(sizeof n + got));
  }
  CloseInputStream(ctx, stream);
  return n;
}

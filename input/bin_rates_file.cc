// Reader of the binary rates file: a native int32 count n, then n*n doubles
// already in memory order (column i = rates out of state i). A file shorter
// than its count announces is an error.
#include "input/bin_rates_file.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>

#include "base/rates_alloc.h"
#include "input/read_line.h"

namespace {

// A pipe's length is known only once it ends: the matrix grows with the data
// that arrive, so a few bytes announcing a huge matrix cost no more memory or
// time than they hold. Sets `got` to the number of bytes read (at most
// `want`).
Status ReadAsItArrives(FILE* stream, int32_t n, uint64_t want, std::vector<double>& rates,
                       size_t& got) {
  got = 0;
  if (!SquareMatrixFits(n)) return RatesMatrixDoesNotFit(n);
  constexpr uint64_t kFirstChunk = uint64_t{1} << 20;  // bytes, a multiple of 8
  rates.clear();
  uint64_t room = std::min(want, kFirstChunk);
  while (got < want) {
    try {
      rates.resize(room / sizeof(double));
    } catch (const std::bad_alloc&) {
      return RatesMatrixDoesNotFit(n);
    }
    got += fread(reinterpret_cast<char*>(rates.data()) + got, 1, room - got, stream);
    if (got < room) break;  // end of input or a read error
    room = std::min(want, room * 2);
  }
  return Status{};
}

// The whole file into `rates`, its count into n.
Status ReadMatrix(FILE* stream, const char* name, std::vector<double>& rates, int32_t& n) {
  if (stream == nullptr) {
    return Failure(1, "ERROR: Rates matrix (binary) file handle is either NULL or already closed!");
  }
  if (fread(&n, sizeof n, 1, stream) != 1) {
    if (ferror(stream)) return Failure(1, "ERROR: cannot read %s: %s\n", name, strerror(errno));
    n = 0;
  }
  // The element count is a 32-bit quantity in the file format; a count whose
  // square does not fit cannot describe a valid file.
  if (n < 0 || static_cast<uint64_t>(n) * static_cast<uint64_t>(n) > UINT32_MAX) {
    return Failure(1, "ERROR: binary rates file announces %d states, which is out of range\n", n);
  }
  // A file shorter than its count announces is refused before anything is
  // sized by that count; zeros in place of the missing rates would make a
  // plausible wrong table.
  const uint64_t want = static_cast<uint64_t>(n) * static_cast<uint64_t>(n) * sizeof(double);
  struct stat st;
  const bool sized = fstat(fileno(stream), &st) == 0 && S_ISREG(st.st_mode);
  if (n > 0 && sized && static_cast<uint64_t>(st.st_size) < sizeof n + want) {
    return Failure(1, "ERROR: %s is truncated: %llu bytes expected, %llu found\n", name,
                   static_cast<unsigned long long>(sizeof n + want),
                   static_cast<unsigned long long>(st.st_size));
  }
  size_t got = 0;
  if (sized) {
    if (Status status = AllocateRatesMatrix(n, rates); !status.ok()) return status;
    got = want > 0 ? fread(rates.data(), 1, want, stream) : 0;
  } else if (Status status = ReadAsItArrives(stream, n, want, rates, got); !status.ok()) {
    return status;
  }
  if (got < want) {
    if (ferror(stream)) return Failure(1, "ERROR: cannot read %s: %s\n", name, strerror(errno));
    return Failure(1, "ERROR: %s is truncated: %llu bytes expected, %llu found\n", name,
                   static_cast<unsigned long long>(sizeof n + want),
                   static_cast<unsigned long long>(sizeof n + got));
  }
  return Status{};
}

}  // namespace

Status ParseBinaryRatesFile(InputContext& ctx, FILE* stream, std::vector<double>& rates, int& n) {
  int32_t count = 0;
  Status status = ReadMatrix(stream, ctx.opts.ratesfile_name.c_str(), rates, count);
  CloseInputStream(ctx, stream);
  n = status.ok() ? count : 0;
  return status;
}

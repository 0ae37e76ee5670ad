// Reader of the binary rates file: a native int32 count n, then n*n doubles
// already in memory order (column i = rates out of state i). This is the one
// input path that shrinks the matrix to --nstates states. A file shorter than
// its count announces is an error.
#include <sys/stat.h>

#include <cerrno>
#include <cstdint>
#include <cstring>

#include "base/fatal.h"
#include "base/rates_alloc.h"
#include "input/qorpparser.h"
#include "input/reduce.h"

int ParseBinaryRatesFile(InputContext& ctx, FILE* stream, int nstates, int max_decrease,
                         std::vector<double>& rates) {
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
  if (n > 0 && fstat(fileno(stream), &st) == 0 && S_ISREG(st.st_mode) &&
      static_cast<uint64_t>(st.st_size) < sizeof n + want) {
    Fatal(1, "ERROR: %s is truncated: %llu bytes expected, %llu found\n", name,
          static_cast<unsigned long long>(sizeof n + want),
          static_cast<unsigned long long>(st.st_size));
  }
  AllocateRatesMatrix(n, rates);

  const size_t got = want > 0 ? fread(rates.data(), 1, want, stream) : 0;
  if (got < want) {
    if (ferror(stream)) Fatal(1, "ERROR: cannot read %s: %s\n", name, strerror(errno));
    Fatal(1, "ERROR: %s is truncated: %llu bytes expected, %llu found\n", name,
          static_cast<unsigned long long>(sizeof n + want),
          static_cast<unsigned long long>(sizeof n + got));
  }
  CloseInputStream(ctx, stream);

  if (nstates < n) return MxReduce(ctx, rates, nstates, n, max_decrease);
  return n;
}

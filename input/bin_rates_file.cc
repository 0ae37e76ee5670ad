// Reader of the binary rates file: a native int32 count n, then n*n doubles
// already in memory order (column i = rates out of state i). This is the one
// input path that shrinks the matrix to --nstates states.
#include <cstdint>
#include <cstring>

#include "input/qorpparser.h"
#include "input/rates_alloc.h"
#include "input/reduce.h"
#include "run/fatal.h"

int ParseBinaryRatesFile(InputContext& ctx, FILE* stream, int nstates, int max_decrease,
                         std::vector<double>& rates) {
  if (stream == nullptr) {
    Fatal(1, "ERROR: Rates matrix (binary) file handle is either NULL or already closed!");
  }
  int32_t n = 0;
  if (fread(&n, sizeof n, 1, stream) != 1) n = 0;
  // The element count is a 32-bit quantity in the file format; a count whose
  // square does not fit cannot describe a valid file.
  if (n < 0 || static_cast<uint64_t>(n) * static_cast<uint64_t>(n) > UINT32_MAX) {
    Fatal(1, "ERROR: binary rates file announces %d states, which is out of range\n", n);
  }
  AllocateRatesMatrix(n, rates);

  // Read bytes rather than whole doubles: a double cut off by the end of the
  // file would otherwise leave indeterminate bytes in its entry.
  const size_t want = rates.size() * sizeof(double);
  const size_t got = want > 0 ? fread(rates.data(), 1, want, stream) : 0;
  const size_t partial = got % sizeof(double);
  if (partial != 0) {
    memset(reinterpret_cast<char*>(rates.data()) + got - partial, 0, partial);
  }
  CloseInputStream(ctx, stream);

  if (nstates < n) return MxReduce(ctx, rates, nstates, n, max_decrease);
  return n;
}

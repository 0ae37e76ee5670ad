// Allocation of an n x n rates matrix announced by an input file. The size
// comes from untrusted input, so it is checked against the machine's memory
// first: a clear error beats an abort in the allocator or the OOM killer.
#ifndef ZOLVANE_BASE_RATES_ALLOC_H_
#define ZOLVANE_BASE_RATES_ALLOC_H_

#include <unistd.h>

#include <cstdint>
#include <new>
#include <vector>

#include "base/status.h"

// Whether an n x n matrix of doubles fits in the machine's physical memory.
inline bool SquareMatrixFits(int64_t n) {
  const uint64_t count = static_cast<uint64_t>(n) * static_cast<uint64_t>(n);
  const long pages = sysconf(_SC_PHYS_PAGES);
  const long page_size = sysconf(_SC_PAGESIZE);
  return !(
      n > 0xffffffffLL ||  // n*n would overflow 64 bits
      count > std::vector<double>().max_size() ||
      (pages > 0 && page_size > 0 &&
       count > static_cast<uint64_t>(pages) / sizeof(double) * static_cast<uint64_t>(page_size)));
}

inline Status RatesMatrixDoesNotFit(int64_t n) {
  return Failure(kExitError, "ERROR: a rates matrix of dimension %lld does not fit in memory\n",
                 static_cast<long long>(n));
}

// Resizes `rates` to n*n zeros (empty for n = 0); fails with status 1 when
// the matrix cannot be held in physical memory.
inline Status AllocateRatesMatrix(int64_t n, std::vector<double>& rates) {
  const uint64_t count = static_cast<uint64_t>(n) * static_cast<uint64_t>(n);
  if (!SquareMatrixFits(n)) return RatesMatrixDoesNotFit(n);
  try {
    rates.assign(count, 0.0);
  } catch (const std::bad_alloc&) {
    return RatesMatrixDoesNotFit(n);
  }
  return Status{};
}

#endif  // ZOLVANE_BASE_RATES_ALLOC_H_

#include "distributed/dist_matrix.h"

#include <mpi.h>

#include <algorithm>
#include <cstdlib>
#include <new>

#include "base/fatal.h"
#include "distributed/scalapack.h"

int BlockSizeSetting() {
  const char* text = getenv("ZOLVANE_MPI_BLOCK");
  if (text == nullptr) return 64;
  // Digits only: atoi or strtol would take "abc" as 0 and " 8x" as 8.
  long nb = 0;
  bool ok = *text != '\0';
  for (const char* c = text; ok && *c != '\0'; ++c) {
    ok = *c >= '0' && *c <= '9';
    if (ok) nb = nb * 10 + (*c - '0');
    ok = ok && nb <= kMaxBlockSize;
  }
  if (!ok || nb < 1) {
    Fatal(1, "ERROR: ZOLVANE_MPI_BLOCK must be a whole number from 1 to %d, not \"%s\"\n",
          kMaxBlockSize, text);
  }
  return static_cast<int>(nb);
}

int BlockSize(int n, const ProcessGrid& grid) {
  const int nb = BlockSizeSetting();
  const int parts = 2 * std::max(grid.nprow, grid.npcol);
  return std::max(1, std::min(nb, (n + parts - 1) / parts));
}

namespace {

void Describe(DistMatrix& a) {
  const int zero = 0;
  a.local_rows = numroc_(&a.n, &a.nb, &a.grid.myrow, &zero, &a.grid.nprow);
  a.local_cols = numroc_(&a.n, &a.nb, &a.grid.mycol, &zero, &a.grid.npcol);
  a.lld = std::max(1, a.local_rows);
  int info = 0;
  descinit_(a.desc, &a.n, &a.n, &a.nb, &a.nb, &zero, &zero, &a.grid.context, &a.lld, &info);
  if (info != 0) Fatal(1, "ERROR: bad distributed matrix layout (descinit info %d)\n", info);
}

}  // namespace

DistMatrix MakeDistMatrix(int n, int nb, const ProcessGrid& grid) {
  DistMatrix a;
  a.n = n;
  a.nb = nb;
  a.grid = grid;
  Describe(a);
  int failed = 0;
  try {
    a.local.assign(static_cast<size_t>(a.lld) * std::max(1, a.local_cols), 0.0);
  } catch (const std::bad_alloc&) {
    failed = 1;
  }
  MPI_Allreduce(MPI_IN_PLACE, &failed, 1, MPI_INT, MPI_MAX, MPI_COMM_WORLD);
  if (failed) Fatal(1, "ERROR: a rates matrix of dimension %d does not fit in memory\n", n);
  return a;
}

DistMatrix LeadingPart(const DistMatrix& a, int m) {
  DistMatrix b;
  b.n = m;
  b.nb = a.nb;
  b.grid = a.grid;
  Describe(b);
  b.local.assign(static_cast<size_t>(b.lld) * std::max(1, b.local_cols), 0.0);
  for (int jl = 0; jl < b.local_cols; ++jl) {
    for (int il = 0; il < b.local_rows; ++il) b.At(il, jl) = a.At(il, jl);
  }
  return b;
}

void FetchRow(const DistMatrix& a, int i, std::vector<double>& row) {
  row.assign(a.n, 0.0);
  if (a.OwnsRow(i)) {
    const int il = a.LocalRow(i);
    for (int jl = 0; jl < a.local_cols; ++jl) row[a.GlobalCol(jl)] = a.At(il, jl);
  }
  // Only the owners contribute; everyone else adds zeros.
  MPI_Allreduce(MPI_IN_PLACE, row.data(), a.n, MPI_DOUBLE, MPI_SUM, MPI_COMM_WORLD);
}

void FetchColumn(const DistMatrix& a, int j, std::vector<double>& column) {
  column.assign(a.n, 0.0);
  if (a.OwnsCol(j)) {
    const int jl = a.LocalCol(j);
    for (int il = 0; il < a.local_rows; ++il) column[a.GlobalRow(il)] = a.At(il, jl);
  }
  MPI_Allreduce(MPI_IN_PLACE, column.data(), a.n, MPI_DOUBLE, MPI_SUM, MPI_COMM_WORLD);
}

void FetchRowAndColumn(const DistMatrix& a, int i, int j, std::vector<double>& row,
                       std::vector<double>& column) {
  const size_t n = static_cast<size_t>(a.n);
  std::vector<double> both(2 * n, 0.0);
  if (a.OwnsRow(i)) {
    const int il = a.LocalRow(i);
    for (int jl = 0; jl < a.local_cols; ++jl) both[a.GlobalCol(jl)] = a.At(il, jl);
  }
  if (a.OwnsCol(j)) {
    const int jl = a.LocalCol(j);
    for (int il = 0; il < a.local_rows; ++il) both[n + a.GlobalRow(il)] = a.At(il, jl);
  }
  MPI_Allreduce(MPI_IN_PLACE, both.data(), static_cast<int>(2 * n), MPI_DOUBLE, MPI_SUM,
                MPI_COMM_WORLD);
  row.assign(both.begin(), both.begin() + n);
  column.assign(both.begin() + n, both.end());
}

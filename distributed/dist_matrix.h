// DistMatrix: an n x n matrix spread over the process grid in ScaLAPACK's
// two-dimensional block-cyclic layout (square blocks of nb; block (I, J)
// lives on process (I mod nprow, J mod npcol); each process stores its blocks
// column-major in `local`, leading dimension lld). No process ever holds more
// than its own blocks.
#ifndef ZOLVANE_DISTRIBUTED_DIST_MATRIX_H_
#define ZOLVANE_DISTRIBUTED_DIST_MATRIX_H_

#include <cstddef>
#include <vector>

#include "distributed/process_grid.h"

struct DistMatrix {
  int n = 0;
  int nb = 64;
  ProcessGrid grid;
  int local_rows = 0, local_cols = 0;
  int lld = 1;
  int desc[9] = {};
  std::vector<double> local;

  int GlobalRow(int il) const { return ((il / nb) * grid.nprow + grid.myrow) * nb + il % nb; }
  int GlobalCol(int jl) const { return ((jl / nb) * grid.npcol + grid.mycol) * nb + jl % nb; }
  bool OwnsRow(int i) const { return (i / nb) % grid.nprow == grid.myrow; }
  bool OwnsCol(int j) const { return (j / nb) % grid.npcol == grid.mycol; }
  int LocalRow(int i) const { return (i / (nb * grid.nprow)) * nb + i % nb; }
  int LocalCol(int j) const { return (j / (nb * grid.npcol)) * nb + j % nb; }
  double& At(int il, int jl) { return local[static_cast<size_t>(jl) * lld + il]; }
  double At(int il, int jl) const { return local[static_cast<size_t>(jl) * lld + il]; }
};

// The block size the environment asks for: 64 when ZOLVANE_MPI_BLOCK is
// unset, else its value, which must be a whole number from 1 to
// kMaxBlockSize (anything else ends the run with one line, status 1).
constexpr int kMaxBlockSize = 1 << 20;
int BlockSizeSetting();

// The block size for an n x n matrix on `grid`: BlockSizeSetting(), but at
// most n / (2 * the larger grid side) rounded up. pdsyevd returns wrong
// eigenvectors (not an error) when a block covers most of a process's share
// of the matrix.
int BlockSize(int n, const ProcessGrid& grid);

// An n x n matrix of zeros on `grid`. When some process cannot allocate its
// part, every process ends the run with the serial reader's message.
DistMatrix MakeDistMatrix(int n, int nb, const ProcessGrid& grid);

// The leading m x m part (m <= a.n) as a matrix of its own; with the same
// grid and block size its local layout is a's, cut short. No communication.
DistMatrix LeadingPart(const DistMatrix& a, int m);

// Row i of the matrix on every process (n values).
void FetchRow(const DistMatrix& a, int i, std::vector<double>& row);
// Column j of the matrix on every process (n values).
void FetchColumn(const DistMatrix& a, int j, std::vector<double>& column);
// Row i and column j on every process, in one collective.
void FetchRowAndColumn(const DistMatrix& a, int i, int j, std::vector<double>& row,
                       std::vector<double>& column);

#endif  // ZOLVANE_DISTRIBUTED_DIST_MATRIX_H_

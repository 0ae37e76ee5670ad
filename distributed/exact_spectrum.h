// The factorised solver of the serial default run (spectral/) over the
// processes of zolvane-mpi: the subtraction-free factor -S = scale * X X^T
// made right-looking on columns spread over the processes, then the
// one-sided block Jacobi with the tournament ordering
// (spectral/jacobi_ordering.h), each process rotating one pair of column
// blocks per round with the serial kernel and trading blocks with its two
// neighbours. No process holds more than its two blocks of X: about
// 2 n^2 / P doubles with the blocks in flight, plus O(n).
#ifndef ZOLVANE_DISTRIBUTED_EXACT_SPECTRUM_H_
#define ZOLVANE_DISTRIBUTED_EXACT_SPECTRUM_H_

#include <vector>

#include "distributed/dist_matrix.h"
#include "spectral/gth_factor.h"

// Each process's share of the eigenvectors of S = P^-1/2 U P^1/2.
struct DistributedModes {
  int n = 0;
  // n x cols column-major, leading dimension n: row r belongs to state
  // row_state[r] (the elimination order), local column c to the sorted mode
  // col_mode[c] (an index into evals), or to none (-1: a zero column).
  int cols = 0;
  std::vector<double> x;
  std::vector<int> row_state;
  std::vector<int> col_mode;
  // Replicated: the n eigenvalues of S descending, evals[0] = 0 the
  // stationary mode (rank 0 holds its column, sqrt(p8) / |sqrt(p8)|), and
  // the equilibrium the elimination gives by back-substitution.
  std::vector<double> evals;
  std::vector<double> p8;
  int sweeps = 0;
};

// `a`: U^T on the grid (the run's A, rates after rescaling; the diagonal is
// ignored); its storage is released on return, whatever the outcome.
// Collective. Returns kOk, kSweepCapHit (out filled from the last sweep),
// kReducible or kNotFinite (out empty), the same outcome on every process.
// Detailed balance is the caller's to check, as for
// ComputeReversibleSpectrum.
SpectrumStatus DistributedReversibleSpectrum(DistMatrix& a, DistributedModes& out);

#endif  // ZOLVANE_DISTRIBUTED_EXACT_SPECTRUM_H_

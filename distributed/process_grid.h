// The processes of a distributed run: MPI start and end, the near-square
// BLACS process grid, the rule that only rank 0 writes, and the way an error
// on any rank ends every rank with the same message and status.
//
// Errors follow one of two patterns. Work that every rank does on the same
// data (option checks, decisions on replicated vectors, results of
// collectives) fails on every rank at once through Fatal; each rank then
// leaves MPI cleanly on its own. Work that only rank 0 does (reading a text
// file, printing the table) runs inside RootOnly, where the other ranks wait
// for rank 0's word, so a Fatal on rank 0 can tell them to exit with its
// status.
#ifndef ZOLVANE_DISTRIBUTED_PROCESS_GRID_H_
#define ZOLVANE_DISTRIBUTED_PROCESS_GRID_H_

#include <cstdint>
#include <functional>

struct ProcessGrid {
  int rank = 0;
  int size = 1;
  int context = -1;  // BLACS context of the grid
  int nprow = 1, npcol = 1;
  int myrow = 0, mycol = 0;
};

// MPI_Init; ranks other than 0 get /dev/null as standard output and error;
// every exit of the process (Fatal, exit, the end of main) leaves MPI cleanly.
void StartDistributedRun(int* argc, char*** argv);

// The grid nprow x npcol with nprow <= npcol as close to square as the number
// of processes allows, in row-major rank order.
ProcessGrid MakeProcessGrid();

bool IsRoot();

// Rank 0 runs `work`, the other ranks wait; everyone returns the value
// `work` returned on rank 0. A Fatal inside `work` ends every rank with its
// status. `work` must not call collectives.
int64_t RootOnly(const std::function<int64_t()>& work);

#endif  // ZOLVANE_DISTRIBUTED_PROCESS_GRID_H_

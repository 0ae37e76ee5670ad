#include "distributed/process_grid.h"

#include <mpi.h>

#include <cstdio>
#include <cstdlib>

#include "base/exit_status.h"
#include "base/fatal.h"
#include "distributed/scalapack.h"

namespace {

int g_rank = 0;
bool g_in_root_only = false;

// Rank 0's word to the waiting ranks at the end of a RootOnly section.
struct Word {
  int64_t value;
  int32_t exit_now;  // 1: exit with `status`
  int32_t status;
};

void Tell(Word& word) { MPI_Bcast(&word, sizeof word, MPI_BYTE, 0, MPI_COMM_WORLD); }

void LeaveMpi() {
  int initialized = 0, finalized = 0;
  MPI_Initialized(&initialized);
  MPI_Finalized(&finalized);
  if (initialized && !finalized) MPI_Finalize();
}

void OnFatal(int status) {
  // Inside a RootOnly section the other ranks wait for rank 0's word.
  if (g_in_root_only) {
    g_in_root_only = false;
    Word word{0, 1, status};
    Tell(word);
  }
}

}  // namespace

void StartDistributedRun(int* argc, char*** argv) {
  MPI_Init(argc, argv);
  MPI_Comm_rank(MPI_COMM_WORLD, &g_rank);
  if (g_rank != 0) {
    // Every message of the run is printed by rank 0 only.
    if (freopen("/dev/null", "w", stdout) == nullptr ||
        freopen("/dev/null", "w", stderr) == nullptr) {
      MPI_Abort(MPI_COMM_WORLD, kExitError);
    }
  }
  atexit(LeaveMpi);
  SetFatalHook(OnFatal);
}

ProcessGrid MakeProcessGrid() {
  ProcessGrid grid;
  MPI_Comm_rank(MPI_COMM_WORLD, &grid.rank);
  MPI_Comm_size(MPI_COMM_WORLD, &grid.size);
  grid.nprow = 1;
  for (int r = 1; r * r <= grid.size; ++r) {
    if (grid.size % r == 0) grid.nprow = r;
  }
  grid.npcol = grid.size / grid.nprow;
  Cblacs_get(-1, 0, &grid.context);
  Cblacs_gridinit(&grid.context, "Row", grid.nprow, grid.npcol);
  Cblacs_gridinfo(grid.context, &grid.nprow, &grid.npcol, &grid.myrow, &grid.mycol);
  return grid;
}

bool IsRoot() { return g_rank == 0; }

int64_t RootOnly(const std::function<int64_t()>& work) {
  Word word{0, 0, 0};
  if (g_rank == 0) {
    g_in_root_only = true;
    word.value = work();
    g_in_root_only = false;
  }
  Tell(word);
  if (word.exit_now) exit(word.status);
  return word.value;
}

// zolvane-mpi: the spectral run of zolvane over MPI processes with ScaLAPACK.
#include <new>

#include "app/program_options.h"
#include "app/program_record.h"
#include "base/exit_status.h"
#include "base/fatal.h"
#include "distributed/dist_matrix.h"
#include "distributed/distributed_run.h"
#include "distributed/process_grid.h"

int main(int argc, char** argv) {
  StartDistributedRun(&argc, &argv);
  try {
    // Every process parses the same command line, so option errors end all
    // of them alike.
    ProgramRecord record;
    if (Status status = ProcessCommandLine(record, argc, argv); !status.ok()) Fatal(status);
    RefuseSerialOnlyOptions(record.args);
    // A bad setting ends the run before any input is read.
    BlockSizeSetting();
    const int status = RunDistributed(record);
    release_command_line_args(record.args);
    return status;
  } catch (const std::bad_alloc&) {
    // Only replicated n-vectors are allocated unchecked, the same on every
    // process.
    Fatal(kExitError, "ERROR: out of memory\n");
  }
}

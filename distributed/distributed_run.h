// The run of zolvane-mpi: the serial run driver's stages for the default
// spectral path (no absorbing state), with the transition matrix spread over
// the process grid and never whole on one process.
#ifndef ZOLVANE_DISTRIBUTED_DISTRIBUTED_RUN_H_
#define ZOLVANE_DISTRIBUTED_DISTRIBUTED_RUN_H_

#include "app/program_record.h"

// Ends the run with "ERROR: --OPTION is not available in the distributed
// run" when an option that needs another path was given.
void RefuseSerialOnlyOptions(const CommandLineArgs& args);

// Returns 0 after a complete run; errors end every process inside.
int RunDistributed(ProgramRecord& record);

#endif  // ZOLVANE_DISTRIBUTED_DISTRIBUTED_RUN_H_

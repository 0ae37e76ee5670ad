// Run driver: runs every stage once, in a fixed order (app/run_stages.h), for
// the command line.
#ifndef ZOLVANE_RUN_DRIVER_H_
#define ZOLVANE_RUN_DRIVER_H_

struct ProgramRecord;

// Returns 0 after a complete run (and after --dumpX); a stage that fails ends
// the process with its message and status.
int RunDriver(ProgramRecord& record);

#endif  // ZOLVANE_RUN_DRIVER_H_

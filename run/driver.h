// Run driver: runs every stage once, in a fixed order, and owns the data that
// passes between stages.
#ifndef ZOLVANE_RUN_DRIVER_H_
#define ZOLVANE_RUN_DRIVER_H_

struct ProgramRecord;

// Returns 0 after a complete run; failures end the process inside the stage.
int RunDriver(ProgramRecord& record);

#endif  // ZOLVANE_RUN_DRIVER_H_

// Entry point: owns the one ProgramRecord, has the command line parsed and
// validated, runs the driver and cleans up.
#ifndef ZOLVANE_RUN_ENTRY_POINT_H_
#define ZOLVANE_RUN_ENTRY_POINT_H_

// Returns the process exit status (0 after a complete run); fatal errors end
// the process inside.
int ZolvaneMain(int argc, char** argv);

#endif  // ZOLVANE_RUN_ENTRY_POINT_H_

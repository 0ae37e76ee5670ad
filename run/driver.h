// Run driver: runs every stage once, in a fixed order, and owns the data that
// passes between stages.
#ifndef ZOLVANE_RUN_DRIVER_H_
#define ZOLVANE_RUN_DRIVER_H_

#include <vector>

#include "calc/calc.h"

struct ProgramRecord;

// Returns 0 after a complete run; failures end the process inside the stage.
int RunDriver(ProgramRecord& record);

// Pieces of the run shared with the distributed run.
// After the ergodicity reduction, keeps the records of the kept states only.
void KeepRecords(const Calc& calc, std::vector<QorpRecord>& records);
// The --equil-file output: p8 on one line, one value per input state (0 for
// states removed by the ergodicity reduction); a file that cannot be opened
// is skipped silently.
void WriteEquilibriumFile(const Calc& calc, const char* name, const std::vector<double>& p8);

#endif  // ZOLVANE_RUN_DRIVER_H_

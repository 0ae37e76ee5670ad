// The --equil-file output, shared by the serial and the distributed run.
#ifndef ZOLVANE_APP_EQUILIBRIUM_FILE_H_
#define ZOLVANE_APP_EQUILIBRIUM_FILE_H_

#include <vector>

#include "base/status.h"
#include "calc/model/calc.h"

// The --equil-file output: p8 on one line, one value per input state (0 for
// states removed by the ergodicity reduction); a file that cannot be opened
// or written fails.
Status WriteEquilibriumFile(const Calc& calc, const char* name, const std::vector<double>& p8);

#endif  // ZOLVANE_APP_EQUILIBRIUM_FILE_H_

// The records of the local minima after the ergodicity reduction, shared by the
// serial and the distributed run.
#ifndef ZOLVANE_APP_KEPT_RECORDS_H_
#define ZOLVANE_APP_KEPT_RECORDS_H_

#include <vector>

#include "calc/model/calc.h"
#include "input/qorp_file.h"

// After the ergodicity reduction, keeps the records of the kept states only.
void KeepRecords(const Calc& calc, std::vector<QorpRecord>& records);

#endif  // ZOLVANE_APP_KEPT_RECORDS_H_

// The end of the ergodicity reduction, shared by the serial run
// (Calc::MxErgodicity) and runs that keep U elsewhere and reduce it
// themselves (zolvane-mpi).
#ifndef ZOLVANE_CALC_MODEL_ERGODICITY_H_
#define ZOLVANE_CALC_MODEL_ERGODICITY_H_

#include <vector>

#include "calc/model/calc.h"

// After U and p0 were reduced from n states to the calc.numbering.kept.size() states
// that MxFindUnreached kept: sets the dimensions, warns (not with --quiet)
// and, for one state left, prints its whole table (header, t0, t8) from
// p0[0]; fails as a table line does.
Status EndErgodicityReduction(Calc& calc, int n, const std::vector<double>& p0);

#endif  // ZOLVANE_CALC_MODEL_ERGODICITY_H_

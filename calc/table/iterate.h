// The population table from a spectrum: p(t) = CL * exp(evals * t / T) * CR *
// p0 on a geometric time axis, its header block and its checked lines.
#ifndef ZOLVANE_CALC_TABLE_ITERATE_H_
#define ZOLVANE_CALC_TABLE_ITERATE_H_

#include <vector>

#include "base/status.h"
#include "calc/model/calc.h"
#include "calc/model/spectrum.h"

// Population table from `spectrum`; consumes spectrum.evecs as work
// space. Fails when the eigenvectors of a chain with an absorbing state
// are singular.
Status MxIterate(const Calc& calc, Spectrum& spectrum, std::vector<double>& p0,
                 const std::vector<double>& p8);
// The first time point after --t0: --t0 itself, or 1e-4 when --t0 0 asked
// for the line at time 0, which the table stages print on their own.
double FirstTableTime(const Calc& calc);
void MxOutputHeader(const Calc& calc);
// Checks and prints one table line. A line that fails its checks
// (CheckPopulationLine) is not printed and its failure returned: the run
// ends there.
Status MxOutputLine(const Calc& calc, double* p, int n, double t);
// The whole table of a system the ergodicity reduction left with one state
// (calc.ReducedToOneState()): header, the line at t0 and the line at t8,
// from p0[0]; nothing otherwise. Fails as a line does.
Status PrintOneStateTable(const Calc& calc, const std::vector<double>& p0);

#endif  // ZOLVANE_CALC_TABLE_ITERATE_H_

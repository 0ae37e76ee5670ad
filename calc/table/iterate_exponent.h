// The --exponent table: the populations of the exact propagator on the
// geometric axis of the matrix-exponential method.
#ifndef ZOLVANE_CALC_TABLE_ITERATE_EXPONENT_H_
#define ZOLVANE_CALC_TABLE_ITERATE_EXPONENT_H_

#include <vector>

#include "base/status.h"
#include "calc/model/calc.h"

// Fails on a probability error; in mode H with no message of its own, the
// stage having printed why.
Status MxIterateExponent(Calc& calc, const std::vector<double>& p0, const std::vector<double>& p8,
                         std::vector<double>& U);

#endif  // ZOLVANE_CALC_TABLE_ITERATE_EXPONENT_H_

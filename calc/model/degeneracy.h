// Saddles and degeneracy (--degeneracy): the saddles file's degeneracies of
// pairs of minima.
#ifndef ZOLVANE_CALC_MODEL_DEGENERACY_H_
#define ZOLVANE_CALC_MODEL_DEGENERACY_H_

#include <vector>

#include "base/status.h"
#include "calc/model/calc.h"

// Reads the saddles file of the options into D, the symmetric dim x dim
// matrix of the degeneracies of pairs of minima (printed with -v; the rates
// do not depend on it). Fails on a file that cannot be read or is malformed.
Status MxAddDegeneracy(const Calc& calc, std::vector<double>& D);

#endif  // ZOLVANE_CALC_MODEL_DEGENERACY_H_

// Reloading the eigen-decomposition that --dumpE stored (evecs.bin,
// evals.bin), for --recoverE.
#ifndef ZOLVANE_CALC_SPECTRUM_STORED_DECOMPOSITION_H_
#define ZOLVANE_CALC_SPECTRUM_STORED_DECOMPOSITION_H_

#include <vector>

#include "base/status.h"
#include "calc/model/calc.h"
#include "calc/model/spectrum.h"

// The stored decomposition into `spectrum`, with the scalings of p8 and the
// eigenvalues without the --useplusI shift. Fails when a file cannot be read
// or holds another dimension than calc.dim().
Status MxRecover(const Calc& calc, const std::vector<double>& p8, Spectrum& spectrum);

#endif  // ZOLVANE_CALC_SPECTRUM_STORED_DECOMPOSITION_H_

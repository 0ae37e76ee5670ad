// The factorised eigensolver for a run with an absorbing state. Its leak
// only adds to the diagonal of the transient block, which stays similar to a
// symmetric negative definite matrix when the other rates obey detailed
// balance: the subtraction-free factor and the one-sided Jacobi then keep
// the slow modes of a stiff landscape that the general solver loses.
#ifndef ZOLVANE_CALC_SPECTRUM_ABSORBING_SPECTRUM_H_
#define ZOLVANE_CALC_SPECTRUM_ABSORBING_SPECTRUM_H_

#include <vector>

#include "calc/model/calc.h"
#include "calc/spectrum/diagonalize.h"

// MxDiagonalize's step for a run whose last state absorbs, under
// --eigensolver auto or accurate; U (dim x dim) is left unchanged. When the
// rates among the other states obey detailed balance: fills spectrum.evals
// (descending; with --useplusI shifted by 1 and the unshifted values in
// `unshifted`, as the reversible path does), spectrum.evecs (the right
// eigenvectors of U, the absorbing components filled, unit columns) and
// spectrum.sqrt_p8 / inv_sqrt_p8 from the transient equilibrium
// (inv_sqrt_p8 0 at the absorbing state), with which the time evolution
// projects p0; returns kDone. kUseLapack: the rates are not for this solver
// (spectrum.evecs may be released). kUseQuadDouble: the sweeps hit their cap
// (warned unless --quiet).
SpectrumOutcome DiagonalizeAbsorbingAccurate(const Calc& calc, const std::vector<double>& U,
                                             Spectrum& spectrum, std::vector<double>& unshifted);

#endif  // ZOLVANE_CALC_SPECTRUM_ABSORBING_SPECTRUM_H_

// The double path's guard against stiff landscapes: after the LAPACK
// eigen-decomposition, say so when the slow end of the spectrum lies below
// what double precision resolves, and name the --mlapack-method that does.
#ifndef ZOLVANE_CALC_STIFFNESS_H_
#define ZOLVANE_CALC_STIFFNESS_H_

#include <vector>

#include "calc/calc.h"

// Largest over smallest positive off-diagonal rate of the n x n U; 1 when U
// has no positive rate.
double RateSpread(const std::vector<double>& U, int n);

// Threshold of the test below, relative to the largest |eigenvalue|.
constexpr double kUnresolvedSpectrum = 1e4 * 2.220446049250313e-16;

// True when some non-stationary eigenvalue of calc.evals (after
// MxDiagonalize) has |lambda| < kUnresolvedSpectrum * max |lambda|: in double
// such an eigenvalue is dominated by rounding of the fast ones.
bool SpectrumUnresolved(const Calc& calc);

// Prints one warning line (unless --quiet) when SpectrumUnresolved, naming
// DD for a moderate rate spread and QD beyond it. The distributed run has no
// --mlapack-method: its line sends the user to the serial program.
void WarnIfSpectrumUnresolved(const Calc& calc, double rate_spread, bool distributed = false);

// Rate spread from which the matrix exponential in double loses the slow
// populations (--exponent, which has no eigenvalues to test).
constexpr double kExponentialStiff = 1e13;

// Prints one warning line (unless --quiet) when the rates of the --exponent
// run spread over at least kExponentialStiff.
void WarnIfExponentialStiff(const Calc& calc, double rate_spread);

#endif  // ZOLVANE_CALC_STIFFNESS_H_

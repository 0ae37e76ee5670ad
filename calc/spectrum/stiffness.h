// The guard of the paths that still compute in plain double against stiff
// landscapes: say so when the slow end of the spectrum, or the spread of the
// equilibrium, lies beyond what double precision resolves, and name the
// option that does. The factorised solver (the default for rates in detailed
// balance) resolves both and never warns.
#ifndef ZOLVANE_CALC_SPECTRUM_STIFFNESS_H_
#define ZOLVANE_CALC_SPECTRUM_STIFFNESS_H_

#include <vector>

#include "calc/model/calc.h"
#include "calc/model/spectrum.h"

// Largest over smallest positive off-diagonal rate of the n x n U; 1 when U
// has no positive rate.
double RateSpread(const std::vector<double>& U, int n);

// Machine epsilon of double, to which the thresholds below belong.
constexpr double kDoubleEpsilon = 2.220446049250313e-16;

// Threshold of the spectral test, relative to the largest |eigenvalue|.
constexpr double kUnresolvedSpectrum = 1e4 * kDoubleEpsilon;

// Spread of p8 from which a double eigen-decomposition of S loses printed
// digits even on a mild spectrum: the populations multiply eigenvector
// components by sqrt(p_i / p_j), and so their rounding errors, eps * 1e8 =
// 2e-8 at this spread.
constexpr double kUnresolvedEquilibrium = 1e16;

// The spread of the spectrum that the test below measured: largest over
// smallest |lambda| among the non-stationary eigenvalues of spectrum.evals,
// when that smallest is below kUnresolvedSpectrum times the largest; 0 when
// the spectrum is resolved. Exact zeros beside an absorbing state are traps,
// reported on their own, and do not count.
double UnresolvedSpectrumSpread(const Calc& calc, const Spectrum& spectrum);

// Whether the default run takes these rates with the factorised solver, so
// that it resolves them at any stiffness: detailed balance of U with p8, or
// of the transient states among themselves beside an absorbing state.
bool DefaultRunResolves(const Calc& calc, const std::vector<double>& U,
                        const std::vector<double>& p8);

// Whether the rates lack detailed balance beyond the rounding of their
// digits (kBalanceTolerance), so that no symmetric form describes them and
// the default run propagates them exactly; `deviation` receives the largest
// relative deviation. `balanced`: the rates come from the energies of the
// minima. NaN, infinite or negative rates or weights are no rates of a chain:
// false (the symmetrisation refuses them with its own messages).
bool LacksDetailedBalance(const Calc& calc, const std::vector<double>& U,
                          const std::vector<double>& p8, bool balanced, double& deviation);

// Prints one warning line (unless --quiet) when the spectrum or p8 is
// unresolved, unless the factorised solver made the spectrum. The line names
// what to rerun with, by spectrum.solver: --eigensolver accurate after
// --eigensolver lapack, --eigensolver auto (the default run, whose exact
// propagator takes them) for rates without detailed balance, also beside an
// absorbing state whose transient states are not in detailed balance. The distributed run sends the
// user to the serial program's --eigensolver.
void WarnIfSpectrumUnresolved(const Calc& calc, const Spectrum& spectrum, double rate_spread,
                              const std::vector<double>& p8, bool distributed = false);

// Rate spread from which LD and DOUBLE (--mlapack-method) lose printed digits
// of the table and of first passage times: measured 6e-6 in the table at 1e12
// in double; long double carries 11 bits more.
double UnprotectedArithmeticLimit(Arithmetic arithmetic);

// One warning line (unless --quiet) for --mlapack-method LD or DOUBLE when
// the rates or p8 spread beyond what that arithmetic resolves; names the
// default run (`reversible`: DefaultRunResolves) or QD.
void WarnIfArithmeticUnprotected(const Calc& calc, double rate_spread,
                                 const std::vector<double>& p8, bool reversible);

// An arithmetic wider than double that made a spectrum: its name as
// --mlapack-method spells it, its machine epsilon, and for MPFR and GMP the
// bits it ran with (0 for the fixed types).
struct ExtendedPrecision {
  const char* name;
  double epsilon;
  int bits;
};

// The test of WarnIfSpectrumUnresolved for a spectrum made in `precision`
// (--mlapack-method DD, QD, FLOAT128, MPFR, GMP, and QD where the factorised
// solver hands over): the spectrum's threshold scales with epsilon, the
// equilibrium's with its square. `evals`: the eigenvalues as the table uses
// them, descending; `equilibrium_spread`: that of the arithmetic's p8. One
// line unless --quiet, naming more bits for MPFR and GMP, else the default
// run, or MPFR where the default run handed over.
void WarnIfExtendedUnresolved(const Calc& calc, const ExtendedPrecision& precision,
                              const std::vector<double>& evals, double equilibrium_spread,
                              double rate_spread);

#endif  // ZOLVANE_CALC_SPECTRUM_STIFFNESS_H_

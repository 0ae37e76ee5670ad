// The numeric pipeline in extended precision (--mlapack-method): everything
// after U is built runs in the chosen arithmetic. U itself, the rescaling and
// the ergodicity reduction stay in double (the input rates are doubles);
// printed numbers are converted to double at the last moment and printed by
// the same code as on the LAPACK path.
//
// This header is light on purpose: the template and the number types live in
// calc/extended/extended_pipeline.h and the calc/extended/extended_<type>.cc
// files only.
#ifndef ZOLVANE_CALC_EXTENDED_EXTENDED_H_
#define ZOLVANE_CALC_EXTENDED_EXTENDED_H_

#include <cstdio>
#include <optional>
#include <vector>

#include "base/run_options.h"
#include "base/status.h"
#include "calc/model/calc.h"
#include "calc/spectrum/diagonalize.h"
#include "input/qorp_file.h"

// The method as the help text writes it ("DD", "QD", "LD", "FLOAT128",
// "MPFR", "GMP", "DOUBLE"); nullopt for any other name.
std::optional<Arithmetic> ArithmeticFromName(const char* name);
const char* ArithmeticName(Arithmetic arithmetic);

// The stages below need opts.mlapack_method != kDefault, except
// ExtendedDiagonalize, which is told its arithmetic. `energies` are the
// local minima whose Boltzmann weights are p8 (method A on unchanged rates),
// or nullptr when p8 comes from the balance of U.

// Every stage fails, before it computes, on GMP and a rate, kT or energy
// that GMP cannot hold (infinite or NaN).

// All-pairs first passage times, or the absorbing times when an absorbing
// state exists, written to `out` as MxFirstPassageTimes writes them.
Status ExtendedFirstPassageTimes(const Calc& calc, const std::vector<double>& U,
                                 const std::vector<QorpRecord>* energies, FILE* out);
// As MxFirstPassageTo, into `times`.
Status ExtendedFirstPassageTo(const Calc& calc, const std::vector<double>& U, int target,
                              std::optional<std::vector<double>>& times);

// Symmetrisation and eigen-decomposition in `arithmetic` (--mlapack-method's,
// or quad-double at its default precision for the fallback of the factorised
// solver), with the messages, warnings and files of Calc::MxDiagonalize. The
// decomposition goes into spectrum.extended (solver kExtended), or nothing
// but spectrum.dumped_only once --dumpX wrote the eigenvalues. Fails on a
// solver that did not converge, a file that cannot be written, ...
Status ExtendedDiagonalize(Arithmetic arithmetic, Calc& calc, const std::vector<double>& U,
                           const std::vector<QorpRecord>* energies, Spectrum& spectrum);
// The population table from p0 and the decomposition ExtendedDiagonalize
// put in `spectrum`, in its arithmetic, as Calc::MxIterate prints it (and
// failing as it does).
Status ExtendedTable(Calc& calc, const Spectrum& spectrum, std::vector<double>& p0);

// The quasi-stationary reduction of `mat` (n x n) to m states, at most b per
// step: the elimination of the double path (elimination/quasi_stationary.h)
// in the --mlapack-method type, as MxReduce calls it; the caller has printed
// the opening line. `mat` becomes the m x m result. Fails on a state or
// block that cannot be eliminated.
Status ExtendedReduce(const RunOptions& opts, std::vector<double>& mat, int n, int m, int b);

#endif  // ZOLVANE_CALC_EXTENDED_EXTENDED_H_

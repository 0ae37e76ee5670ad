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
#include <functional>
#include <optional>
#include <vector>

#include "base/run_options.h"
#include "base/status.h"
#include "calc/model/calc.h"
#include "input/qorp_file.h"

// The method as the help text writes it ("DD", "QD", "LD", "FLOAT128",
// "MPFR", "GMP", "DOUBLE"); nullopt for any other name.
std::optional<Arithmetic> ArithmeticFromName(const char* name);
const char* ArithmeticName(Arithmetic arithmetic);

// The stages below need opts.mlapack_method != kLapack. `energies` are the
// local minima whose Boltzmann weights are p8 (method A on unchanged rates),
// or nullptr when p8 comes from the balance of U.

// Every stage fails, before it computes, on GMP and a rate, kT or energy
// that GMP cannot hold (infinite or NaN).

// All-pairs first passage times, or the absorbing times when an absorbing
// state exists, written to `out` as Calc::MxFirstPassageTimes writes them.
Status ExtendedFirstPassageTimes(const Calc& calc, const std::vector<double>& U,
                                 const std::vector<QorpRecord>* energies, FILE* out);
// As Calc::MxFirstPassageTo, into `times`.
Status ExtendedFirstPassageTo(const Calc& calc, const std::vector<double>& U, int target,
                              std::optional<std::vector<double>>& times);

// What the extended decomposition hands the driver: kDone with the table
// stage, which holds the decomposition in the extended type and prints the
// population table as Calc::MxIterate does when called with p0 (and fails as
// it does); or kDumpedStop and no table once --dumpX wrote the eigenvalues.
// A failed `status` (a solver that did not converge, a file that cannot be
// written, ...) ends the run, and there is no table.
struct ExtendedSpectrum {
  Status status;
  Calc::SpectrumOutcome outcome = Calc::SpectrumOutcome::kDone;
  std::function<Status(std::vector<double>& p0)> table;
};

// Symmetrisation and eigen-decomposition with the messages, warnings and
// files of Calc::MxDiagonalize.
ExtendedSpectrum ExtendedDiagonalize(Calc& calc, const std::vector<double>& U,
                                     const std::vector<QorpRecord>* energies);
// The same in `arithmetic` rather than the --mlapack-method one: the
// fallback of the factorised solver (quad-double, at its default precision).
ExtendedSpectrum ExtendedDiagonalizeIn(Arithmetic arithmetic, Calc& calc,
                                       const std::vector<double>& U,
                                       const std::vector<QorpRecord>* energies);

// The quasi-stationary reduction of `mat` (n x n) to m states, at most b per
// step: the elimination of the double path (elimination/quasi_stationary.h)
// in the --mlapack-method type, as MxReduce calls it; the caller has printed
// the opening line. `mat` becomes the m x m result. Fails on a state or
// block that cannot be eliminated.
Status ExtendedReduce(const RunOptions& opts, std::vector<double>& mat, int n, int m, int b);

#endif  // ZOLVANE_CALC_EXTENDED_EXTENDED_H_

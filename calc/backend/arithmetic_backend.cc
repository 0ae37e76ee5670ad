#include "calc/backend/arithmetic_backend.h"

#include <utility>

#include "calc/extended/extended.h"
#include "calc/model/scalar_arith.h"
#include "calc/model/spectrum.h"
#include "calc/spectrum/stiffness.h"
#include "elimination/quasi_stationary.h"
#include "matrix/mx_print.h"

namespace {

SpectrumStage FromExtended(ExtendedSpectrum spectrum) {
  return {std::move(spectrum.status), spectrum.outcome, std::move(spectrum.table)};
}

// The default arithmetic: LAPACK and the factorised solver, in double.

void NothingToWarn(const Calc&, const std::vector<double>&, const std::vector<double>&) {}

Status DoubleFirstPassageTimes(const Calc& calc, const std::vector<double>& U,
                               const std::vector<double>& p8, const std::vector<QorpRecord>*,
                               FILE* out) {
  calc.MxFirstPassageTimes(U, p8, out);
  return Status{};
}

Status DoubleFirstPassageTo(const Calc& calc, const std::vector<double>& U, int target,
                            std::optional<std::vector<double>>& times) {
  times = calc.MxFirstPassageTo(U, target);
  return Status{};
}

// A spectrum the factorised solver could not finish goes to quad-double
// (its own warning says so); a LAPACK one that double cannot resolve gets
// the warning that names the remedy.
SpectrumStage DoubleDiagonalize(Calc& calc, std::vector<double>& U, const std::vector<double>& p8,
                                const std::vector<QorpRecord>* energies) {
  const double spread = RateSpread(U, calc.dim);
  SpectrumStage stage;
  Spectrum spectrum;
  stage.status = calc.MxDiagonalize(U, p8, spectrum, stage.outcome);
  if (!stage.status.ok()) return stage;
  if (stage.outcome == Calc::SpectrumOutcome::kUseQuadDouble) {
    return FromExtended(ExtendedDiagonalizeIn(Arithmetic::kQuadDouble, calc, U, energies));
  }
  if (stage.outcome == Calc::SpectrumOutcome::kDone) {
    WarnIfSpectrumUnresolved(calc, spectrum, spread, p8);
    // The table stage holds the spectrum until it has consumed it.
    stage.table = [&calc, &p8, spectrum = std::move(spectrum)](std::vector<double>& p0) mutable {
      return calc.MxIterate(spectrum, p0, p8);
    };
  }
  return stage;
}

Status DoubleReduce(const RunOptions& opts, std::vector<double>& mat, int n, int m, int b) {
  return ReduceQuasiStationary<double, ScalarArith<double>>(opts, mat, n, m, b, MxPrintBraced);
}

// Every other arithmetic: the templated pipeline.

void WarnIfNoWiderThanDouble(const Calc& calc, const std::vector<double>& U,
                             const std::vector<double>& p8) {
  WarnIfArithmeticUnprotected(calc, RateSpread(U, calc.dim), p8, DefaultRunResolves(calc, U, p8));
}

Status ExtendedFirstPassage(const Calc& calc, const std::vector<double>& U,
                            const std::vector<double>&, const std::vector<QorpRecord>* energies,
                            FILE* out) {
  return ExtendedFirstPassageTimes(calc, U, energies, out);
}

SpectrumStage ExtendedSpectrumStage(Calc& calc, std::vector<double>& U, const std::vector<double>&,
                                    const std::vector<QorpRecord>* energies) {
  return FromExtended(ExtendedDiagonalize(calc, U, energies));
}

constexpr ArithmeticBackend kDoubleBackend = {
    NothingToWarn, DoubleFirstPassageTimes, DoubleFirstPassageTo, DoubleDiagonalize, DoubleReduce};
constexpr ArithmeticBackend kExtendedBackend = {NothingToWarn, ExtendedFirstPassage,
                                                ExtendedFirstPassageTo, ExtendedSpectrumStage,
                                                ExtendedReduce};
// LD and DOUBLE: the extended pipeline, with the warning of an arithmetic no
// wider than the default one.
constexpr ArithmeticBackend kNarrowBackend = {WarnIfNoWiderThanDouble, ExtendedFirstPassage,
                                              ExtendedFirstPassageTo, ExtendedSpectrumStage,
                                              ExtendedReduce};

}  // namespace

const ArithmeticBackend& BackendFor(Arithmetic arithmetic) {
  switch (arithmetic) {
    case Arithmetic::kLapack:
      return kDoubleBackend;
    case Arithmetic::kLongDouble:
    case Arithmetic::kDouble:
      return kNarrowBackend;
    case Arithmetic::kDoubleDouble:
    case Arithmetic::kQuadDouble:
    case Arithmetic::kFloat128:
    case Arithmetic::kMpfr:
    case Arithmetic::kGmp:
      break;
  }
  return kExtendedBackend;
}

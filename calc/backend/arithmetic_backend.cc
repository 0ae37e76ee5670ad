#include "calc/backend/arithmetic_backend.h"

#include <utility>

#include "calc/extended/extended.h"
#include "calc/model/scalar_traits.h"
#include "calc/model/spectrum.h"
#include "calc/passage/first_passage.h"
#include "calc/spectrum/diagonalize.h"
#include "calc/spectrum/stiffness.h"
#include "calc/table/iterate.h"
#include "elimination/quasi_stationary.h"
#include "matrix/mx_print.h"

namespace {

// The default arithmetic: double.

void NothingToWarn(const Calc&, const std::vector<double>&, const std::vector<double>&) {}

Status DoubleFirstPassageTimes(const Calc& calc, const std::vector<double>& U,
                               const std::vector<double>& p8, const std::vector<QorpRecord>*,
                               FILE* out) {
  MxFirstPassageTimes(calc, U, p8, out);
  return Status{};
}

Status DoubleFirstPassageTo(const Calc& calc, const std::vector<double>& U, int target,
                            std::optional<std::vector<double>>& times) {
  times = MxFirstPassageTo(calc, U, target);
  return Status{};
}

Status DoubleReduce(const RunOptions& opts, std::vector<double>& mat, int n, int m, int b) {
  return ReduceQuasiStationary<double, ScalarTraits<double>>(opts, mat, n, m, b, MxPrintBraced);
}

// Every other arithmetic: the templated pipeline.

void WarnIfNoWiderThanDouble(const Calc& calc, const std::vector<double>& U,
                             const std::vector<double>& p8) {
  WarnIfArithmeticUnprotected(calc, RateSpread(U, calc.dim()), p8, DefaultRunResolves(calc, U, p8));
}

Status ExtendedFirstPassage(const Calc& calc, const std::vector<double>& U,
                            const std::vector<double>&, const std::vector<QorpRecord>* energies,
                            FILE* out) {
  return ExtendedFirstPassageTimes(calc, U, energies, out);
}

constexpr ArithmeticBackend kDoubleBackend = {NothingToWarn, DoubleFirstPassageTimes,
                                              DoubleFirstPassageTo, DoubleReduce};
constexpr ArithmeticBackend kExtendedBackend = {NothingToWarn, ExtendedFirstPassage,
                                                ExtendedFirstPassageTo, ExtendedReduce};
// LD and DOUBLE: the extended pipeline, with the warning of an arithmetic no
// wider than the default one.
constexpr ArithmeticBackend kNarrowBackend = {WarnIfNoWiderThanDouble, ExtendedFirstPassage,
                                              ExtendedFirstPassageTo, ExtendedReduce};

}  // namespace

const ArithmeticBackend& BackendFor(Arithmetic arithmetic) {
  switch (arithmetic) {
    case Arithmetic::kDefault:
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

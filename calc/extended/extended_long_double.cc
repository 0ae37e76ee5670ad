// LD: the pipeline in long double (64-bit mantissa on x86).
#include <cmath>

#include "calc/model/scalar_traits.h"

template <>
struct ScalarTraits<long double> {
  static double ToDouble(long double x) { return static_cast<double>(x); }
  static long double Sqrt(long double x) { return std::sqrt(x); }
  static void SetPrecision(int) {}
  static constexpr bool kHoldsNaN = true;
};

// The glue comes first: the pipeline's templates use it.
#include "calc/extended/extended_pipeline.h"

const ExtendedStages& LongDoubleStages() {
  static const ExtendedStages stages = extended::StagesFor<long double, Arithmetic::kLongDouble>();
  return stages;
}

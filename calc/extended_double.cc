// DOUBLE: the templated pipeline in plain double, a cross-check of the
// generic code against the LAPACK path.
#include <cmath>

#include "calc/extended_pipeline.h"

namespace extended {

template <>
struct Arith<double> {
  static double ToDouble(double x) { return x; }
  static double Exp(double x) { return std::exp(x); }
  static double Sqrt(double x) { return std::sqrt(x); }
  static double Abs(double x) { return std::fabs(x); }
  static bool IsNaN(double x) { return std::isnan(x); }
  static void SetPrecision(int) {}
  static constexpr bool kHoldsNaN = true;
};

}  // namespace extended

const ExtendedStages& DoubleStages() {
  static const ExtendedStages stages = extended::StagesFor<double>();
  return stages;
}

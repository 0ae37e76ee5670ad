// DOUBLE: the templated pipeline in plain double, a cross-check of the
// generic code against the LAPACK path (ScalarTraits<double> is in
// calc/model/scalar_traits.h).
#include "calc/extended/extended_pipeline.h"

const ExtendedStages& DoubleStages() {
  static const ExtendedStages stages = extended::StagesFor<double, Arithmetic::kDouble>();
  return stages;
}

// FLOAT128: the pipeline in IEEE binary128 (GCC's __float128 through
// libquadmath, wrapped by Boost.Multiprecision).
#include <boost/multiprecision/float128.hpp>

#include "calc/extended/extended_boost_glue.h"

using Float128 = boost::multiprecision::float128;

namespace Eigen {
template <>
struct NumTraits<Float128> : BoostNumTraits<Float128, 30> {};
}  // namespace Eigen

template <>
struct ScalarTraits<Float128> : extended::BoostArith<Float128> {
  static void SetPrecision(int) {}
};

// The glue comes first: the pipeline's templates use it.
#include "calc/extended/extended_pipeline.h"

const ExtendedStages& Float128Stages() {
  static const ExtendedStages stages = extended::StagesFor<Float128, Arithmetic::kFloat128>();
  return stages;
}

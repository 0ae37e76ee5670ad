// GMP: the pipeline in GMP floating-point numbers of --mlapack-precision
// bits (mpf; no infinities or NaN, and exp comes from Boost's generic code).
#include <boost/multiprecision/gmp.hpp>

#include "calc/extended/extended_boost_glue.h"

using Gmp = boost::multiprecision::number<boost::multiprecision::gmp_float<0>,
                                          boost::multiprecision::et_off>;

namespace Eigen {
// Boost's numeric limits of a variable-precision mpf give no epsilon; derive
// it from the current default precision (digits10 -> bits as Boost does).
template <>
struct NumTraits<Gmp> : BoostNumTraits<Gmp, 60> {
  static inline Gmp epsilon() {
    const int bits = 1 + static_cast<int>(Gmp::default_precision() * 1000 / 301);
    return ldexp(Gmp(1), 1 - bits);
  }
  static inline Gmp dummy_precision() { return epsilon() * 1024; }
};
}  // namespace Eigen

template <>
struct ScalarTraits<Gmp> : extended::BoostArith<Gmp> {
  static void SetPrecision(int bits) { Gmp::default_precision(extended::Digits10ForBits(bits)); }
};

// The glue comes first: the pipeline's templates use it.
#include "calc/extended/extended_pipeline.h"

const ExtendedStages& GmpStages() {
  static const ExtendedStages stages = extended::StagesFor<Gmp, Arithmetic::kGmp>();
  return stages;
}

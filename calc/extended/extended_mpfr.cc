// MPFR: the pipeline in MPFR numbers of --mlapack-precision bits. Expression
// templates are off: every operation yields a plain number, which Eigen's
// kernels expect.
#include <boost/multiprecision/mpfr.hpp>

#include "calc/extended/extended_boost_glue.h"

using Mpfr = boost::multiprecision::number<boost::multiprecision::mpfr_float_backend<0>,
                                           boost::multiprecision::et_off>;

namespace Eigen {
template <>
struct NumTraits<Mpfr> : BoostNumTraits<Mpfr, 60> {};
}  // namespace Eigen

template <>
struct ScalarTraits<Mpfr> : extended::BoostArith<Mpfr> {
  // Numbers made afterwards carry this precision.
  static void SetPrecision(int bits) { Mpfr::default_precision(extended::Digits10ForBits(bits)); }
};

// The glue comes first: the pipeline's templates use it.
#include "calc/extended/extended_pipeline.h"

const ExtendedStages& MpfrStages() {
  static const ExtendedStages stages = extended::StagesFor<Mpfr, Arithmetic::kMpfr>();
  return stages;
}

// Glue of Boost.Multiprecision numbers (binary128, MPFR, GMP) for Eigen and
// the pipeline. Boost's own Eigen glue of this release lacks infinity() and
// quiet_NaN(), which Eigen 3.4 asks for, so the traits are spelled out here
// for the three types in use. Included by the calc/extended/extended_<type>.cc files
// of these types only.
#ifndef ZOLVANE_CALC_EXTENDED_EXTENDED_BOOST_GLUE_H_
#define ZOLVANE_CALC_EXTENDED_EXTENDED_BOOST_GLUE_H_

#include <Eigen/Core>
#include <boost/multiprecision/number.hpp>
#include <limits>

#include "calc/model/scalar_traits.h"

namespace Eigen {

template <class N, int kCost>
struct BoostNumTraits : GenericNumTraits<N> {
  typedef N Real;
  typedef N NonInteger;
  typedef N Nested;
  typedef N Literal;
  enum {
    IsComplex = 0,
    IsInteger = 0,
    IsSigned = 1,
    RequireInitialization = 1,
    ReadCost = 1,
    AddCost = kCost,
    MulCost = kCost
  };
  // Variable-precision numbers answer these at run time, from the current
  // default precision.
  static inline N epsilon() { return std::numeric_limits<N>::epsilon(); }
  static inline N dummy_precision() { return epsilon() * 1024; }
  static inline N highest() { return (std::numeric_limits<N>::max)(); }
  static inline N lowest() { return std::numeric_limits<N>::lowest(); }
  static inline int digits10() { return std::numeric_limits<N>::digits10; }
  static inline N infinity() {
    return std::numeric_limits<N>::has_infinity ? std::numeric_limits<N>::infinity() : highest();
  }
  static inline N quiet_NaN() { return std::numeric_limits<N>::quiet_NaN(); }
};

}  // namespace Eigen

namespace extended {

// Number of decimal digits that gives at least `bits` bits in Boost's
// conversion (bits = 1 + digits10 * 1000 / 301).
inline unsigned Digits10ForBits(int bits) {
  return static_cast<unsigned>((static_cast<long>(bits) * 301 + 999) / 1000);
}

template <class N>
struct BoostArith {
  static double ToDouble(const N& x) { return x.template convert_to<double>(); }
  static N Sqrt(const N& x) { return sqrt(x); }
  static constexpr bool kHoldsNaN = std::numeric_limits<N>::has_quiet_NaN;
};

}  // namespace extended

#endif  // ZOLVANE_CALC_EXTENDED_EXTENDED_BOOST_GLUE_H_

// Glue of libqd's double-double and quad-double numbers: Eigen's NumTraits
// and ScalarTraits (calc/model/scalar_traits.h). Included by calc/extended/extended_dd.cc and
// calc/extended/extended_qd.cc only.
#ifndef ZOLVANE_CALC_EXTENDED_EXTENDED_QD_GLUE_H_
#define ZOLVANE_CALC_EXTENDED_EXTENDED_QD_GLUE_H_

#include <qd/dd_real.h>
#include <qd/qd_real.h>

#include <Eigen/Core>

#include "calc/model/scalar_traits.h"

namespace Eigen {

// Costs in double flops, roughly: they only steer Eigen's blocking.
template <class Q, int kDigits10, int kCost>
struct QdNumTraits : GenericNumTraits<Q> {
  typedef Q Real;
  typedef Q NonInteger;
  typedef Q Nested;
  typedef Q Literal;
  enum {
    IsComplex = 0,
    IsInteger = 0,
    IsSigned = 1,
    RequireInitialization = 1,
    ReadCost = 1,
    AddCost = kCost,
    MulCost = kCost
  };
  static inline Q epsilon() { return Q::_eps; }
  static inline Q dummy_precision() { return Q::_eps * 1024.0; }
  static inline Q highest() { return Q::_max; }
  static inline Q lowest() { return -Q::_max; }
  static inline int digits10() { return kDigits10; }
  static inline Q infinity() { return Q::_inf; }
  static inline Q quiet_NaN() { return Q::_nan; }
};

template <>
struct NumTraits<dd_real> : QdNumTraits<dd_real, 31, 20> {};
template <>
struct NumTraits<qd_real> : QdNumTraits<qd_real, 62, 100> {};

}  // namespace Eigen

namespace extended {

template <class Q>
struct QdArith {
  static double ToDouble(const Q& x) { return to_double(x); }
  // libqd prints an error of its own for a negative argument; NaN alone is
  // what the pipeline's checks expect, as from the other IEEE types.
  static Q Sqrt(const Q& x) { return x < Q(0) ? Q::_nan : sqrt(x); }
  static void SetPrecision(int) {}
  static constexpr bool kHoldsNaN = true;
};

}  // namespace extended

template <>
struct ScalarTraits<dd_real> : extended::QdArith<dd_real> {};
template <>
struct ScalarTraits<qd_real> : extended::QdArith<qd_real> {};

#endif  // ZOLVANE_CALC_EXTENDED_EXTENDED_QD_GLUE_H_

// What the stages written once over a scalar T (double, and the extended
// types of calc/extended/extended_<type>.cc) need of T beyond its operators and the
// abs, exp and isnan that argument-dependent lookup finds (next to
// `using std::abs;` and the like): the conversion to double for messages and
// files, a square root that gives NaN for a negative number without a message
// of its own, and the precision. Specialised here for double, for libqd's
// types in calc/extended/extended_qd_glue.h and for the others in their own
// calc/extended/extended_<type>.cc:
//   static double ToDouble(const T&);
//   static T Sqrt(const T&);
//   static void SetPrecision(int bits);  // variable-precision types only
//   static constexpr bool kHoldsNaN;
// kHoldsNaN is false for GMP, whose numbers have neither NaN nor infinities:
// there a division by zero throws and the square root of a negative number
// raises SIGFPE. Where an IEEE type would carry inf or NaN on to a later
// refusal, the stages test the operands first and take the same refusal.
#ifndef ZOLVANE_CALC_MODEL_SCALAR_TRAITS_H_
#define ZOLVANE_CALC_MODEL_SCALAR_TRAITS_H_

#include <cmath>

template <class T>
struct ScalarTraits;

template <>
struct ScalarTraits<double> {
  static double ToDouble(double x) { return x; }
  static double Sqrt(double x) { return std::sqrt(x); }
  static void SetPrecision(int) {}
  static constexpr bool kHoldsNaN = true;
};

#endif  // ZOLVANE_CALC_MODEL_SCALAR_TRAITS_H_

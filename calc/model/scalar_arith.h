// What the stages written once over a scalar T (double, and the extended
// types of calc/extended_<type>.cc) need of T beyond its operators, where
// abs, sqrt, exp or isnan found by argument-dependent lookup do not serve:
// the conversion to double for messages and files, and the glue behind which
// a type's own functions misbehave. Specialised here for double and in each
// calc/extended_<type>.cc for its type:
//   static double ToDouble(const T&);
//   static T Exp(const T&);  static T Sqrt(const T&);  static T Abs(const T&);
//   static bool IsNaN(const T&);
//   static void SetPrecision(int bits);  // variable-precision types only
//   static constexpr bool kHoldsNaN;
// kHoldsNaN is false for GMP, whose numbers have neither NaN nor infinities:
// there a division by zero throws and the square root of a negative number
// raises SIGFPE. Where an IEEE type would carry inf or NaN on to a later
// refusal, the stages test the operands first and take the same refusal.
#ifndef ZOLVANE_CALC_MODEL_SCALAR_ARITH_H_
#define ZOLVANE_CALC_MODEL_SCALAR_ARITH_H_

#include <cmath>

template <class T>
struct ScalarArith;

template <>
struct ScalarArith<double> {
  static double ToDouble(double x) { return x; }
  static double Exp(double x) { return std::exp(x); }
  static double Sqrt(double x) { return std::sqrt(x); }
  static double Abs(double x) { return std::fabs(x); }
  static bool IsNaN(double x) { return std::isnan(x); }
  static void SetPrecision(int) {}
  static constexpr bool kHoldsNaN = true;
};

#endif  // ZOLVANE_CALC_MODEL_SCALAR_ARITH_H_

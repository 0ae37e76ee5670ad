// Doubles that probe a decimal formatter: zeros, infinities, NaNs of both
// signs, the limits of the range, subnormals, random bit patterns, values
// in the range of populations, and values next to a decimal rounding tie.
#ifndef ZOLVANE_BENCH_NUMBER_VALUES_H_
#define ZOLVANE_BENCH_NUMBER_VALUES_H_

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

namespace number_values {

inline double FromBits(uint64_t bits) {
  double x;
  memcpy(&x, &bits, sizeof x);
  return x;
}

// `count` values of each random kind after the fixed ones; deterministic.
inline std::vector<double> Probes(size_t count) {
  using limits = std::numeric_limits<double>;
  // clang-format off
  std::vector<double> v = {0.0, -0.0, limits::infinity(), -limits::infinity(),
                           limits::quiet_NaN(), -limits::quiet_NaN(), limits::max(),
                           -limits::max(), limits::min(), limits::denorm_min(),
                           -limits::denorm_min(), 1.0, 0.5, 1e-4, 1e22, 1e23, 9.9999995e-1,
                           9.9999994999999999e-1};
  // clang-format on
  std::mt19937_64 gen(17);
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  std::uniform_int_distribution<int> exponent(-310, 308);
  char text[64];
  for (size_t i = 0; i < count; ++i) {
    v.push_back(FromBits(gen()));                                        // anything
    v.push_back(FromBits(gen() & 0x800fffffffffffffULL));                // subnormal
    v.push_back(unit(gen) * std::pow(10.0, -static_cast<int>(i % 12)));  // population
    // Next to a tie for 6, 10 and 20 decimals: d.dddddd5, d.ddddddddd5, ...
    const int digits = i % 3 == 0 ? 7 : (i % 3 == 1 ? 11 : 21);
    int len = snprintf(text, sizeof text, "%d.", 1 + static_cast<int>(gen() % 9));
    for (int d = 1; d < digits; ++d) text[len++] = static_cast<char>('0' + gen() % 10);
    text[len++] = '5';
    snprintf(text + len, sizeof text - len, "e%d", exponent(gen));
    v.push_back(strtod(text, nullptr));
  }
  return v;
}

}  // namespace number_values

#endif  // ZOLVANE_BENCH_NUMBER_VALUES_H_

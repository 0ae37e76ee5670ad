// FormatE / FormatG against snprintf: the check that the unit test runs on a
// share of the probe values and bench/number_text_check on millions.
#ifndef ZOLVANE_BENCH_NUMBER_TEXT_MISMATCHES_H_
#define ZOLVANE_BENCH_NUMBER_TEXT_MISMATCHES_H_

#include <cstdio>
#include <span>
#include <string_view>
#include <vector>

#include "matrix/number_text.h"

namespace number_values {

// A printf conversion: 'e' or 'g', with its field width and precision.
struct Format {
  char conversion;
  int width, precision;
};

// Counts the pairs of a value and a format where FormatE / FormatG write
// other bytes than snprintf; report(format, printf_text, our_text) hears of
// the first 10.
template <class Report>
size_t CountMismatches(const std::vector<double>& values, std::span<const Format> formats,
                       Report report) {
  size_t mismatches = 0;
  for (double x : values) {
    for (const Format& f : formats) {
      char want[128], got[128];
      const int len = snprintf(want, sizeof want, f.conversion == 'e' ? "%*.*e" : "%*.*g", f.width,
                               f.precision, x);
      char* end = f.conversion == 'e' ? FormatE(got, x, f.width, f.precision)
                                      : FormatG(got, x, f.width, f.precision);
      const std::string_view a(want, static_cast<size_t>(len)), b(got, end - got);
      if (a != b && ++mismatches <= 10) report(f, a, b);
    }
  }
  return mismatches;
}

}  // namespace number_values

#endif  // ZOLVANE_BENCH_NUMBER_TEXT_MISMATCHES_H_

// FormatE and FormatG write exactly printf's bytes for the formats of the
// population table and the matrix text files.
#include "calc/number_text.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "bench/number_values.h"

namespace {

TEST(NumberText, SameBytesAsPrintf) {
  struct Format {
    char conversion;
    int width, precision;
  };
  const Format formats[] = {{'e', 0, 6}, {'e', 22, 20}, {'g', 15, 10}, {'g', 0, 6}, {'e', 30, 3}};
  int mismatches = 0;
  for (double x : number_values::Probes(20000)) {
    for (const Format& f : formats) {
      char want[128], got[128];
      const int len = snprintf(want, sizeof want, f.conversion == 'e' ? "%*.*e" : "%*.*g", f.width,
                               f.precision, x);
      char* end = f.conversion == 'e' ? FormatE(got, x, f.width, f.precision)
                                      : FormatG(got, x, f.width, f.precision);
      const std::string a(want, static_cast<size_t>(len)), b(got, static_cast<size_t>(end - got));
      if (a != b && ++mismatches <= 10) {
        ADD_FAILURE() << "%" << f.width << "." << f.precision << f.conversion << ": " << a << " vs "
                      << b;
      }
    }
  }
  EXPECT_EQ(mismatches, 0);
}

}  // namespace

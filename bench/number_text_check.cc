// number_text_check: FormatE / FormatG against snprintf on millions of values
// (the unit test runs a smaller share of the same kinds).
//   number_text_check [COUNT]   COUNT values of each kind, default 500000
// Prints the number of values and mismatches; exit status 1 on a mismatch.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "bench/number_values.h"
#include "calc/number_text.h"

int main(int argc, char** argv) {
  const size_t count = argc > 1 ? strtoull(argv[1], nullptr, 10) : 500000;
  struct Format {
    char conversion;
    int width, precision;
  };
  const Format formats[] = {{'e', 0, 6}, {'e', 22, 20}, {'g', 15, 10}};
  const std::vector<double> values = number_values::Probes(count);
  size_t mismatches = 0;
  for (double x : values) {
    for (const Format& f : formats) {
      char want[128], got[128];
      const int len = snprintf(want, sizeof want, f.conversion == 'e' ? "%*.*e" : "%*.*g", f.width,
                               f.precision, x);
      char* end = f.conversion == 'e' ? FormatE(got, x, f.width, f.precision)
                                      : FormatG(got, x, f.width, f.precision);
      if (end - got != len || memcmp(want, got, static_cast<size_t>(len)) != 0) {
        if (++mismatches <= 10) {
          printf("%%%d.%d%c: \"%.*s\" vs \"%.*s\"\n", f.width, f.precision, f.conversion, len, want,
                 static_cast<int>(end - got), got);
        }
      }
    }
  }
  printf("%zu values, %zu formats each, %zu mismatches\n", values.size(),
         sizeof formats / sizeof formats[0], mismatches);
  return mismatches == 0 ? 0 : 1;
}

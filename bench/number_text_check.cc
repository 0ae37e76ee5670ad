// number_text_check: FormatE / FormatG against snprintf on millions of values
// (the unit test runs a smaller share of the same kinds).
//   number_text_check [COUNT]   COUNT values of each kind, default 500000
// Prints the number of values and mismatches; exit status 1 on a mismatch.
#include <cstdio>
#include <cstdlib>
#include <string_view>
#include <vector>

#include "bench/number_text_mismatches.h"
#include "bench/number_values.h"

int main(int argc, char** argv) {
  using number_values::Format;
  const size_t count = argc > 1 ? strtoull(argv[1], nullptr, 10) : 500000;
  const Format formats[] = {{'e', 0, 6}, {'e', 22, 20}, {'g', 15, 10}};
  const std::vector<double> values = number_values::Probes(count);
  const size_t mismatches = number_values::CountMismatches(
      values, formats, [](const Format& f, std::string_view want, std::string_view got) {
        printf("%%%d.%d%c: \"%.*s\" vs \"%.*s\"\n", f.width, f.precision, f.conversion,
               static_cast<int>(want.size()), want.data(), static_cast<int>(got.size()),
               got.data());
      });
  printf("%zu values, %zu formats each, %zu mismatches\n", values.size(),
         sizeof formats / sizeof formats[0], mismatches);
  return mismatches == 0 ? 0 : 1;
}

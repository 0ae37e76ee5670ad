// FormatE and FormatG write exactly printf's bytes for the formats of the
// population table and the matrix text files.
#include "matrix/number_text.h"

#include <gtest/gtest.h>

#include <string_view>

#include "bench/number_text_mismatches.h"
#include "bench/number_values.h"

namespace {

TEST(NumberText, SameBytesAsPrintf) {
  using number_values::Format;
  const Format formats[] = {{'e', 0, 6}, {'e', 22, 20}, {'g', 15, 10}, {'g', 0, 6}, {'e', 30, 3}};
  const size_t mismatches = number_values::CountMismatches(
      number_values::Probes(20000), formats,
      [](const Format& f, std::string_view want, std::string_view got) {
        ADD_FAILURE() << "%" << f.width << "." << f.precision << f.conversion << ": " << want
                      << " vs " << got;
      });
  EXPECT_EQ(mismatches, 0u);
}

}  // namespace

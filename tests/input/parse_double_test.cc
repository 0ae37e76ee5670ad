// ParseDouble against strtod on one table of spellings: the same bits and the
// same number of characters consumed, for the forms from_chars reads and for
// those it hands on to strtod.
#include "input/parse_double.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace {

void ExpectSameAsStrtod(const std::string& text) {
  SCOPED_TRACE("\"" + text + "\"");
  char* want_end = nullptr;
  const double want = strtod(text.c_str(), &want_end);
  const char* got_end = nullptr;
  const double got = ParseDouble(text.c_str(), text.c_str() + text.size(), &got_end);
  EXPECT_EQ(want_end - text.c_str(), got_end - text.c_str());
  // Bits, so that -0.0, NaN payloads and subnormals count.
  uint64_t a = 0, b = 0;
  memcpy(&a, &want, sizeof a);
  memcpy(&b, &got, sizeof b);
  EXPECT_EQ(a, b) << want << " vs " << got;
}

TEST(ParseDouble, SameBitsAndLengthAsStrtod) {
  // clang-format off
  const std::vector<std::string> spellings = {
      // plain decimals, signs, points, exponents
      "0", "-0", "+0", "1", "-1", "+1", "0.1", ".5", "-.5", "5.", "-5.", "1.e5", "1e5", "1E5",
      "1e+5", "1e-5", "2.5e-03", "123456789012345678901234567890", "0.30000000000000004",
      "1.7976931348623157e308", "2.2250738585072014e-308", "4.9406564584124654e-324",
      "2.4703282292062327e-324", "2.4703282292062328e-324", "1e-320", "-1e-310",
      "0.000000000000000000000000000000000000000000001",
      "9007199254740993", "1.00000000000000011102230246251565404236316680908203125",
      // out of range
      "1e309", "-1e309", "1e-400", "-1e-400", "1e99999999999",
      // partial numbers: the exponent or the point without digits
      "1e", "1e+", "1e-x", "1.5.3", "12abc", "3,5", "1 2", "7\r", "-", "+", ".", "-.", "+.",
      "e5", ".e5", "--1", "+-1", "-+1",
      // white space strtod skips first
      " 1", "\t2", "\n3", "\v4", "\f5", "\r6", "  -7.5e1",
      // hexadecimal, infinities and NaNs: strtod's own
      "0x10", "0X1p-3", "-0x1.8p1", "0x", "0xg", "inf", "-INF", "infinity", "Infinity",
      "infinit", "nan", "-nan", "NaN", "nan(123)", "nan(abc", "in", "na",
      // no number at all
      "", " ", "abc", "x1",
  };
  // clang-format on
  for (const std::string& s : spellings) ExpectSameAsStrtod(s);
}

TEST(ParseDouble, RandomValuesPrintedAsInInputFiles) {
  std::mt19937_64 gen(3);
  char buf[64];
  std::uniform_real_distribution<double> exponent(-60.0, 10.0);
  for (int i = 0; i < 8000; ++i) {
    // Every other value from random bits (any magnitude), the rest in the
    // range of rates.
    double x = std::exp(exponent(gen));
    if (i % 2 == 0) {
      uint64_t bits = gen();
      memcpy(&x, &bits, sizeof x);
      if (x != x) continue;
    }
    for (const char* format : {"%.17g", "%e", "%g", "%.3f", "%.25e"}) {
      snprintf(buf, sizeof buf, format, x);
      ExpectSameAsStrtod(buf);
    }
  }
}

}  // namespace

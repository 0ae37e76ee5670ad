#include "matrix/mx_print.h"

#include <gtest/gtest.h>

#include "tests/test_util.h"

namespace {

std::string Print(const double* v, const char* label, char type, int n, bool plain) {
  FILE* f = tmpfile();
  MxPrintN(v, label, type, n, f, plain);
  fflush(f);
  rewind(f);
  std::string s;
  for (int c; (c = fgetc(f)) != EOF;) s.push_back(static_cast<char>(c));
  fclose(f);
  return s;
}

TEST(MxPrint, FramedAndPlainLayouts) {
  const double m[] = {1, 2.5, -3, 1e-20};
  struct Case {
    const char* name;
    char type;
    int n;
    bool plain;
    std::string expected;
  } cases[] = {
      {"vector", 'v', 2, false, "x:\n              1             2.5 \n---\n"},
      {"plain vector", 'v', 2, true, "              1             2.5 \n"},
      {"matrix", 'm', 2, false,
       "x:\n              1             2.5 \n             -3           1e-20 \n---\n"},
      {"plain matrix", 'm', 2, true,
       "              1             2.5 \n             -3           1e-20 \n"},
      {"empty vector", 'v', 0, false, "x:\n\n---\n"},
      {"empty matrix", 'm', 0, false, "x:\n---\n"},
      {"unknown type", 'q', 2, false, "ERROR MxPrint(): no handler 4 type q\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(c.expected, Print(m, "x", c.type, c.n, c.plain));
  }
}

TEST(MxPrintBraced, RowsCarryFlatIndices) {
  const double m[] = {1, 2, 3, 4};
  FILE* f = tmpfile();
  MxPrintBraced(m, "gb*bb-1*bg", 2, 2, f);
  fflush(f);
  rewind(f);
  std::string s;
  for (int c; (c = fgetc(f)) != EOF;) s.push_back(static_cast<char>(c));
  fclose(f);
  EXPECT_EQ(
      "gb*bb-1*bg:{\n"
      "{              1 (   0) ,              2 (   1) }\n"
      ",{              3 (   2) ,              4 (   3) }\n"
      "}-----------\n",
      s);
}

}  // namespace

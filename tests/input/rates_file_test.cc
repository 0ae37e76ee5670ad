// Text rates reader and the whole-line reader: dimension, transposition,
// short and garbage lines, the corrupted-lines warning and stream handling.
#include "input/rates_file.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "input/read_line.h"
#include "tests/test_util.h"

namespace {

TEST(ReadLine, SplitsLinesAndKeepsWhatIsNotTheNewline) {
  struct Case {
    const char* name;
    std::string text;
    std::vector<std::string> lines;
  };
  const std::string long_line(5000, 'x');
  const Case cases[] = {
      {"empty input", "", {}},
      {"last line without newline", "ab\ncd", {"ab", "cd"}},
      {"carriage return kept", "a b\r\n\r\n", {"a b\r", "\r"}},
      {"empty lines", "\n\n", {"", ""}},
      {"line far longer than a buffer piece", long_line + "\nend\n", {long_line, "end"}},
      {"embedded NUL byte", std::string("a\0b\n", 4), {std::string("a\0b", 3)}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FILE* f = FileFromString(c.text);
    std::optional<std::string> got = "stale";
    for (const std::string& want : c.lines) {
      ASSERT_TRUE(read_line(f, got).ok());
      ASSERT_TRUE(got.has_value());
      EXPECT_EQ(want, *got);
    }
    EXPECT_TRUE(read_line(f, got).ok());
    EXPECT_FALSE(got.has_value());
    fclose(f);
  }
}

TEST(CloseInputStream, ClearsEveryFieldThatSharedTheStream) {
  RunOptions opts;
  InputContext ctx{opts};
  FILE* shared = FileFromString("x");
  FILE* other = FileFromString("y");
  ctx.ratesfile = shared;
  ctx.qorp = shared;
  CloseInputStream(ctx, shared);
  EXPECT_EQ(nullptr, ctx.ratesfile);
  EXPECT_EQ(nullptr, ctx.qorp);

  ctx.qorp = other;
  FILE* third = FileFromString("z");
  CloseInputStream(ctx, third);
  EXPECT_EQ(other, ctx.qorp);
  fclose(other);
}

struct RatesCase {
  const char* name;
  std::string text;
  int n;
  std::vector<double> matrix;  // expected, row-major (element j*n+i = rate i -> j)
  std::string warning;
  bool quiet = false;
};

TEST(ParseRatesFile, TableOfFiles) {
  const RatesCase cases[] = {
      {"file rows become columns", "0 1 2\n3 0 5\n6 7 0\n", 3, {0, 3, 6, 1, 0, 7, 2, 5, 0}, ""},
      {"first line fixes n; extra numbers ignored, short rows leave zeros",
       "1 2 3\n4 5 6 7\n8 9\n",
       3,
       {1, 4, 8, 2, 5, 9, 3, 6, 0},
       ""},
      {"missing lines give the warning and zero columns",
       "1 2 3\n4 5 6\n",
       3,
       {1, 4, 0, 2, 5, 0, 3, 6, 0},
       "WARNING: dimensions are corrupted lines: 2(2); rows: 1(2)\n"},
      {"quiet suppresses the warning", "1 2 3\n4 5 6\n", 3, {1, 4, 0, 2, 5, 0, 3, 6, 0}, "", true},
      {"tabs separate and carriage returns are harmless",
       "1\t2 \r\n3\t\t4\r\n",
       2,
       {1, 3, 2, 4},
       ""},
      {"exponent notation and signs", "1e-5 -2.5E+3\n+7 .5\n", 2, {1e-5, 7, -2.5e3, 0.5}, ""},
      {"count stops at the first field that is not a number",
       "1 2 x 3\n4 5 6\n",
       2,
       {1, 4, 2, 5},
       ""},
      {"number glued to text still counts", "1 2abc\n3 4\n", 2, {1, 3, 2, 4}, ""},
      {"a row starting with a word stores nothing but counts", "1 2\nfoo 3\n", 2, {1, 0, 2, 0}, ""},
      {"a row stops at garbage", "1 2 3\n4 x 6\n7 8 9\n", 3, {1, 4, 7, 2, 0, 8, 3, 0, 9}, ""},
      {"lines after the n-th are not read", "5\n6\nnot even numbers\n", 1, {5}, ""},
      {"heading line gives dimension 0", "rates\n1 2\n3 4\n", 0, {}, ""},
      {"blank first line gives dimension 0", "\n1 2\n", 0, {}, ""},
      {"empty file gives dimension 0", "", 0, {}, ""},
      {"binary garbage gives dimension 0", std::string("\x7f\x01\xff\0\x02", 5), 0, {}, ""},
      {"single state without newline", "0.25", 1, {0.25}, ""},
  };
  for (const RatesCase& c : cases) {
    SCOPED_TRACE(c.name);
    RunOptions opts;
    opts.quiet = c.quiet;
    InputContext ctx{opts};
    std::vector<double> rates = {42.0};  // stale content must not survive
    testing::internal::CaptureStderr();
    int n = -1;
    ASSERT_TRUE(ParseRatesFile(ctx, FileFromString(c.text), rates, n).ok());
    EXPECT_EQ(c.warning, testing::internal::GetCapturedStderr());
    EXPECT_EQ(c.n, n);
    EXPECT_EQ(c.matrix, rates);
  }
}

TEST(ParseRatesFile, LongRowsAreReadWhole) {
  // 300 numbers of about 8 characters make lines far beyond any fixed buffer.
  const int n = 300;
  std::string text;
  std::vector<double> want(n * n);
  for (int r = 0; r < n; ++r) {
    for (int k = 0; k < n; ++k) {
      const double v = (r * n + k) * 0.5;
      char number[32];
      snprintf(number, sizeof number, k + 1 < n ? "%.1f " : "%.1f\n", v);
      text += number;
      want[k * n + r] = v;
    }
  }
  RunOptions opts;
  InputContext ctx{opts};
  std::vector<double> rates;
  int got = 0;
  ASSERT_TRUE(ParseRatesFile(ctx, FileFromString(text), rates, got).ok());
  ASSERT_EQ(n, got);
  EXPECT_EQ(want, rates);
}

TEST(ParseRatesFile, ClosesTheStreamItWasGiven) {
  RunOptions opts;
  InputContext ctx{opts};
  FILE* f = FileFromString("1 2\n3 4\n");
  ctx.ratesfile = f;
  std::vector<double> rates;
  int n = 0;
  EXPECT_TRUE(ParseRatesFile(ctx, ctx.ratesfile, rates, n).ok());
  EXPECT_EQ(nullptr, ctx.ratesfile);
}

// Every refusal comes back as status 1 with the message the run prints, and
// no dimension.
TEST(ParseRatesFile, RefusalsComeBackAsStatus) {
  // A million numbers on the first line announce 8 TB of matrix.
  std::string huge;
  huge.reserve(2000000);
  for (int i = 0; i < 1000000; ++i) huge += "1 ";
  struct Case {
    const char* name;
    std::function<FILE*()> open;
    std::string message;
  };
  const Case cases[] = {
      {"absent stream", [] { return nullptr; },
       "ERROR: Rates matrix file handle is either NULL or already closed!"},
      {"a directory cannot be read", [] { return fopen("/", "r"); },
       "ERROR: cannot read standard input: Is a directory\n"},
      {"matrix beyond memory", [&] { return FileFromString(huge); },
       "ERROR: a rates matrix of dimension 1000000 does not fit in memory\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    RunOptions opts;
    InputContext ctx{opts};
    std::vector<double> rates;
    int n = -1;
    const Status status = ParseRatesFile(ctx, c.open(), rates, n);
    EXPECT_EQ(kExitError, status.exit_status);
    EXPECT_EQ(c.message, status.message);
    EXPECT_EQ(0, n);
  }
}

// A read error after the first line ends the rows: the rows before it were
// handed out, none after, and the status says why.
TEST(RatesFileRows, ReadErrorStopsTheRows) {
  RunOptions opts;
  InputContext ctx{opts};
  FILE* f = FailingFile("1 2\n");
  RatesFileRows reader = OpenRatesFileRows(ctx, f);
  ASSERT_TRUE(reader.status.ok());
  ASSERT_EQ(2, reader.n);
  double row[2] = {0, 0};
  EXPECT_TRUE(NextRatesRow(reader, row, 1));
  EXPECT_EQ(1.0, row[0]);
  EXPECT_FALSE(NextRatesRow(reader, row, 1));
  EXPECT_EQ(kExitError, reader.status.exit_status);
  EXPECT_EQ("ERROR: cannot read standard input: Input/output error\n", reader.status.message);
  fclose(f);
}

}  // namespace

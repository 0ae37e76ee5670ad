// Saddle degeneracies: parsing "saddles.txt", the additions to D with their
// messages, the symmetrisation, and the ways the file can be bad.
#include "calc/model/degeneracy.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>
#include <vector>

#include "calc/model/calc.h"
#include "calc/model/saddle_file.h"
#include "calc/model/transition_matrix.h"
#include "tests/test_util.h"

namespace {

struct Entry {
  int i, j;  // 0-based
  double value;
};

TEST(MxAddDegeneracy, TableOfSaddleFiles) {
  struct Case {
    const char* name;
    std::string file;
    int dim;
    std::vector<Entry> nonzero;  // upper triangle; mirrored below
    std::string messages;
  };
  const Case cases[] = {
      {"cc 2 between two minima",
       "-5.30 2 x 3 5\n",
       5,
       {{2, 4, 1}},
       "transition between   3 -   5: adding  1  cc\n"},
      {"cc 1 between three minima",
       "-1 1 tok 1 2 3\n",
       3,
       {{0, 1, 1}, {0, 2, 1}, {1, 2, 1}},
       "transition betweed   1 -   2: adding  1 deg_saddle\n"
       "transition betweed   1 -   3: adding  1 deg_saddle\n"
       "transition betweed   2 -   3: adding  1 deg_saddle\n"},
      {"cc 3 between three minima adds both",
       "-1 3 t 1 2 3\n",
       3,
       {{0, 1, 3}, {0, 2, 3}, {1, 2, 3}},
       "transition between   1 -   2: adding  2  cc\n"
       "transition betweed   1 -   2: adding  1 deg_saddle\n"
       "transition between   1 -   3: adding  2  cc\n"
       "transition betweed   1 -   3: adding  1 deg_saddle\n"
       "transition between   2 -   3: adding  2  cc\n"
       "transition betweed   2 -   3: adding  1 deg_saddle\n"},
      {"cc 1 between two minima adds nothing", "-1 1 t 1 2\n", 3, {}, ""},
      {"cc 0 and negative add nothing", "-1 0 t 1 2 3\n-2 -4 t 1 2 3\n", 3, {}, ""},
      {"one minimum only", "-1 5 t 2\n-1 5 t\n", 3, {}, ""},
      {"minima beyond dim or below 1 are skipped",
       "-1 2 t 1 4 0 -2 2\n",
       3,
       {{0, 1, 2}},
       "transition between   1 -   2: adding  1  cc\n"
       "transition betweed   1 -   2: adding  1 deg_saddle\n"},
      {"additions accumulate over lines",
       "-1 2 t 1 2\n-2 4 t 1 2\n",
       2,
       {{0, 1, 4}},
       "transition between   1 -   2: adding  1  cc\n"
       "transition between   1 -   2: adding  3  cc\n"},
      {"addition below the diagonal is overwritten by the mirror",
       "-1 2 t 2 1\n",
       2,
       {},
       "transition between   2 -   1: adding  1  cc\n"},
      {"blank lines and CRLF endings",
       "\n-1 2 t 1 2 \r\n  \n",
       2,
       {{0, 1, 1}},
       "transition between   1 -   2: adding  1  cc\n"},
      {"cc is read with at most 4 characters",
       "-1 10002 1 2\n",
       2,
       {{0, 1, 999}},
       "transition between   1 -   2: adding 999  cc\n"},
      {"empty file", "", 2, {}, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ScopedTempDir dir;
    WriteFile("saddles.txt", c.file);
    RunOptions opts;
    opts.quiet = 1;  // the messages do not depend on it
    Calc calc(c.dim, opts);
    testing::internal::CaptureStderr();
    std::vector<double> D;
    EXPECT_TRUE(MxAddDegeneracy(calc, D).ok());
    EXPECT_EQ(c.messages, testing::internal::GetCapturedStderr());
    std::vector<double> want(c.dim * c.dim, 0.0);
    for (const Entry& e : c.nonzero) {
      want[e.i * c.dim + e.j] = e.value;
      want[e.j * c.dim + e.i] = e.value;
    }
    EXPECT_EQ(want, D);
  }
}

TEST(ParseSaddleFile, ReadsFieldsAndGrows) {
  ScopedTempDir dir;
  std::string text = "-5.25 2 ((..)) 3 5 7\n";
  for (int k = 0; k < 250; ++k) text += std::to_string(k) + " 1 t\n";
  WriteFile("saddles.txt", text);
  std::vector<SaddleRecord> records;
  ASSERT_TRUE(ParseSaddleFile(records).ok());
  ASSERT_EQ(251u, records.size());
  EXPECT_EQ(-5.25, records[0].energy);
  EXPECT_EQ(2, records[0].cc);
  EXPECT_EQ((std::vector<int>{3, 5, 7}), records[0].lmins);
  EXPECT_EQ(249.0, records[250].energy);
  EXPECT_TRUE(records[250].lmins.empty());
}

TEST(ParseSaddleFile, BadFilesAreRefusedWithTheirMessage) {
  std::string ninety_nine = "-1 2 t";
  for (int k = 1; k <= 99; ++k) {
    ninety_nine += ' ';
    ninety_nine += std::to_string(k);
  }
  struct Case {
    const char* name;
    const char* file;  // nullptr: no file at all
    std::string text;
    const char* message;
    bool directory = false;  // a directory named saddles.txt instead
  };
  const Case cases[] = {
      {"missing file", nullptr, "", "ERROR: cannot open saddles.txt for reading\n"},
      {"a directory in its place", nullptr, "", "ERROR: cannot read saddles.txt: Is a directory\n",
       true},
      {"one hundred minima", "saddles.txt", ninety_nine + " 100\n",
       " too many lmins in saddles.txt\n"},
      {"a token that is not an integer", "saddles.txt", "-1 2 t 1 x 3\n",
       " too many lmins in saddles.txt\n"},
      {"no token after the count", "saddles.txt", "-1 2 t 1\n-1 2\n",
       "ERROR: saddles.txt line 2 does not start with an energy, a count and a token\n"},
      {"not a number first", "saddles.txt", "abc 2 t 1 2\n",
       "ERROR: saddles.txt line 1 does not start with an energy, a count and a token\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ScopedTempDir dir;
    if (c.file != nullptr) WriteFile(c.file, c.text);
    if (c.directory) {
      ASSERT_EQ(0, mkdir("saddles.txt", 0700));
    }
    std::vector<SaddleRecord> records(1);
    const Status status = ParseSaddleFile(records);
    EXPECT_EQ(kExitError, status.exit_status);
    EXPECT_EQ(c.message, status.message);
    // The run (MxQorp2Matrix through --degeneracy) stops with the same status.
    RunOptions opts;
    opts.method = 'A';
    opts.degeneracy = 1;
    Calc calc(1, opts);
    const std::vector<QorpRecord> one(1, QorpRecord{0, 0, 0, 1});
    std::vector<double> U;
    EXPECT_EQ(c.message, MxQorp2Matrix(calc, &one, {}, U).message);
  }
  // Exactly 99 minima are still accepted.
  ScopedTempDir dir;
  WriteFile("saddles.txt", ninety_nine + "\n");
  std::vector<SaddleRecord> records;
  ASSERT_TRUE(ParseSaddleFile(records).ok());
  EXPECT_EQ(99u, records[0].lmins.size());
}

// The degeneracy step runs before the absorbing state is appended, so D has
// the order of the minima.
TEST(MxAddDegeneracy, RunsBeforeTheAbsorbingState) {
  ScopedTempDir dir;
  WriteFile("saddles.txt", "-1 2 t 1 2\n");
  QorpRecord a, b;
  a.index = 1;
  b.index = 2;
  b.father = 1;
  const std::vector<QorpRecord> records = {a, b};
  RunOptions opts;
  opts.method = 'A';
  opts.degeneracy = 1;
  opts.absorb = 2;
  Calc calc(2, opts);
  testing::internal::CaptureStderr();
  std::vector<double> U;
  EXPECT_TRUE(MxQorp2Matrix(calc, &records, {}, U).ok());
  EXPECT_EQ(
      "transition between   1 -   2: adding  1  cc\n"
      "dim increased to 3\nnew absorbing lmin is: 3\n",
      testing::internal::GetCapturedStderr());
  // D itself is only printed (with -v).
  opts.verbose = 1;
  Calc verbose(2, opts);
  testing::internal::CaptureStderr();
  EXPECT_TRUE(MxQorp2Matrix(verbose, &records, {}, U).ok());
  const std::string printed = testing::internal::GetCapturedStderr();
  const size_t d = printed.find("D (degeneracies)");
  ASSERT_NE(d, std::string::npos) << printed;
  EXPECT_LT(d, printed.find("dim increased to 3"));
}

}  // namespace

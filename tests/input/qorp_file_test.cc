// Qorp reader: the sequence line, token classification into numeric columns,
// the structure warning, the --nstates limit, growth and stream handling.
#include "input/qorp_file.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "input/rates_file.h"
#include "tests/test_util.h"

namespace {

// Fields in the order of the file's numeric columns, then the line number.
struct Want {
  double energy, father, saddle_height, extra4, extra5, extra6, extra7, free_energy;
  int index;
};

void ExpectRecord(const Want& want, const QorpRecord& got) {
  EXPECT_EQ(want.index, got.index);
  EXPECT_EQ(want.energy, got.energy);
  EXPECT_EQ(static_cast<int32_t>(want.father), got.father);
  EXPECT_EQ(want.saddle_height, got.saddle_height);
  EXPECT_EQ(want.extra4, got.extra4);
  EXPECT_EQ(want.extra5, got.extra5);
  EXPECT_EQ(want.extra6, got.extra6);
  EXPECT_EQ(want.extra7, got.extra7);
  EXPECT_EQ(want.free_energy, got.free_energy);
}

TEST(ParseQorpFile, TableOfFiles) {
  struct Case {
    const char* name;
    std::string text;
    int nstates;
    std::string sequence;
    std::vector<Want> records;
    std::string warnings;
  };
  const std::string long_sequence(700, 'G');
  const Case cases[] = {
      {"typical line after leading spaces",
       "ACGU\n   3 ((...)) -5.5 1 2.5\n",
       100,
       "ACGU",
       {{-5.5, 1, 2.5, 0, 0, 0, 0, 0, 3}},
       ""},
      {"all eight columns; a ninth is ignored",
       "  GGGAAACCC  extra words\n1 (((...))) -10 0 0 4 5 6 7 -11 99\n",
       100,
       "GGGAAACCC",
       {{-10, 0, 0, 4, 5, 6, 7, -11, 1}},
       ""},
      {"several spaces between tokens and negative columns",
       "S\n2    ....   -1.25   -1    0.75\n",
       100,
       "S",
       {{-1.25, -1, 0.75, 0, 0, 0, 0, 0, 2}},
       ""},
      {"unknown structure warns and the line is still read",
       "S\n2 ))..(( -3 1 2\n4 xyz -4 2 1\n",
       100,
       "S",
       {{-3, 1, 2, 0, 0, 0, 0, 0, 2}, {-4, 2, 1, 0, 0, 0, 0, 0, 4}},
       ") does not seem to be a RNA secondary structure nor a SAW\n"
       "x does not seem to be a RNA secondary structure nor a SAW\n"},
      {"F and ~ start walks without a warning",
       "S\n1 FLLR -1 0 0\n2 ~abc -2 1 1\n",
       100,
       "S",
       {{-1, 0, 0, 0, 0, 0, 0, 0, 1}, {-2, 1, 1, 0, 0, 0, 0, 0, 2}},
       ""},
      {"leading + is no column, leading . is a silent structure",
       "S\n1 +5 -2 .5 1 3\n",
       100,
       "S",
       {{-2, 1, 3, 0, 0, 0, 0, 0, 1}},
       "+ does not seem to be a RNA secondary structure nor a SAW\n"},
      {"a non-printing first character makes a column without a number",
       "S\n1 \x01z -1 2\n",
       100,
       "S",
       {{0, -1, 2, 0, 0, 0, 0, 0, 1}},
       ""},
      {"tabs do not separate: only the leading number is read",
       "S\n4\t(((...)))\t-5\t1\t2\n",
       100,
       "S",
       {{0, 0, 0, 0, 0, 0, 0, 0, 4}},
       ""},
      {"empty and missing fields are zero",
       "S\n1 . -1 0 0\n\n3 . -3\n",
       100,
       "S",
       {{-1, 0, 0, 0, 0, 0, 0, 0, 1}, {0, 0, 0, 0, 0, 0, 0, 0, 0}, {-3, 0, 0, 0, 0, 0, 0, 0, 3}},
       ""},
      {"carriage return at line end",
       "S\r\n1 . -1 2 0.5\r\n",
       100,
       "S",
       {{-1, 2, 0.5, 0, 0, 0, 0, 0, 1}},
       ""},
      {"nstates limits the records read",
       "S\n1 . -1 0 0\n2 . -2 1 1\n3 . -3 1 1\n",
       2,
       "S",
       {{-1, 0, 0, 0, 0, 0, 0, 0, 1}, {-2, 1, 1, 0, 0, 0, 0, 0, 2}},
       ""},
      {"no minimum line gives no records", "SEQ\n", 100, "SEQ", {}, ""},
      {"a long sequence is kept whole", long_sequence + "\n", 100, long_sequence, {}, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    RunOptions opts;
    opts.nstates = c.nstates;
    InputContext ctx{opts};
    ctx.sequence = "stale";
    std::vector<QorpRecord> records(3);  // stale content must not survive
    testing::internal::CaptureStderr();
    int count = -1;
    ASSERT_TRUE(ParseQorpFile(ctx, FileFromString(c.text), records, count).ok());
    EXPECT_EQ(c.warnings, testing::internal::GetCapturedStderr());
    EXPECT_EQ(c.sequence, ctx.sequence.value_or("<none>"));
    ASSERT_EQ(static_cast<int>(c.records.size()), count);
    ASSERT_EQ(c.records.size(), records.size());
    for (size_t k = 0; k < records.size(); ++k) {
      SCOPED_TRACE(k);
      ExpectRecord(c.records[k], records[k]);
    }
  }
}

TEST(ParseQorpFile, ReadsFarMoreThanOneHundredMinima) {
  // Lines alternate between full and short, so a record that inherited
  // values from a neighbour or from an earlier allocation would show.
  std::string text = "SEQ\n";
  const int n = 250;
  for (int k = 1; k <= n; ++k) {
    text += std::to_string(k) + " ..(...)..";
    text += k % 2 ? " -" + std::to_string(k) + " 1 0.5 4 5 6 7 -" + std::to_string(k + 1)
                  : " -" + std::to_string(k);
    text += "\n";
  }
  RunOptions opts;
  InputContext ctx{opts};
  std::vector<QorpRecord> records;
  int count = 0;
  ASSERT_TRUE(ParseQorpFile(ctx, FileFromString(text), records, count).ok());
  ASSERT_EQ(n, count);
  for (int k = 1; k <= n; ++k) {
    SCOPED_TRACE(k);
    if (k % 2) {
      ExpectRecord({-1.0 * k, 1, 0.5, 4, 5, 6, 7, -1.0 * (k + 1), k}, records[k - 1]);
    } else {
      ExpectRecord({-1.0 * k, 0, 0, 0, 0, 0, 0, 0, k}, records[k - 1]);
    }
  }
}

// Every refusal comes back as status 1 with the message the run prints, and
// no minima. Both inputs default to standard input: once the rates reader has
// closed it, the qorp reader must refuse it instead of reading a closed FILE.
TEST(ParseQorpFile, RefusalsComeBackAsStatus) {
  struct Case {
    const char* name;
    std::function<FILE*(InputContext&)> open;
    std::string message;
  };
  const std::string closed = "ERROR: Qorpmap file handle is either NULL or already closed!";
  const std::string no_sequence = "could not get sequence from first line of qorpfile\n";
  const Case cases[] = {
      {"absent stream", [](InputContext&) { return nullptr; }, closed},
      {"standard input consumed by the rates reader",
       [](InputContext& ctx) {
         FILE* shared = FileFromString("1 2\n3 4\n");
         ctx.ratesfile = shared;
         ctx.qorp = shared;
         std::vector<double> rates;
         int n = 0;
         EXPECT_TRUE(ParseRatesFile(ctx, ctx.ratesfile, rates, n).ok());
         return ctx.qorp;
       },
       closed},
      {"empty file", [](InputContext&) { return FileFromString(""); }, no_sequence},
      {"blank first line", [](InputContext&) { return FileFromString("   \t \n1 . -1 0 0\n"); },
       no_sequence},
      {"empty first line", [](InputContext&) { return FileFromString("\n"); }, no_sequence},
      {"a read error on the first line", [](InputContext&) { return FailingFile(""); },
       "ERROR: cannot read standard input: Input/output error\n"},
      {"a read error among the minima",
       [](InputContext&) { return FailingFile("SEQ\n1 . -1 0 0\n"); },
       "ERROR: cannot read standard input: Input/output error\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    RunOptions opts;
    InputContext ctx{opts};
    std::vector<QorpRecord> records;
    int n = -1;
    const Status status = ParseQorpFile(ctx, c.open(ctx), records, n);
    EXPECT_EQ(kExitError, status.exit_status);
    EXPECT_EQ(c.message, status.message);
    EXPECT_EQ(0, n);
  }
}

}  // namespace

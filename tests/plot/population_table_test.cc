// Reading a population table back: header values, peaks per state, the
// choice of the most populated states, and text that is not a table.
#include "plot/population_table.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

const char kTable[] =
    "# Date: Thu Dec 10 13:30:14 2026\n"
    "# Sequence: GGGAAACCC\n"
    "# Method: I\n"
    "# Temperature: 25.00\n"
    "1.00000000000000005551e-01 9.000000e-01 1.000000e-01 0.000000e+00 \n"
    "2.00000000000000011102e-01 5.000000e-01 3.000000e-01 2.000000e-01 \r\n"
    "\n"
    "3.0e-01\t2.0e-01\t3.0e-01\t5.0e-01\n"
    "# of iterations: 3\n";

TEST(PopulationTable, ReadsHeaderAndPeaks) {
  PopulationTable t;
  std::string err;
  ASSERT_TRUE(ParsePopulationTable(kTable, &t, &err)) << err;
  EXPECT_EQ("GGGAAACCC", t.sequence);
  EXPECT_EQ("25.00", t.temperature);
  EXPECT_EQ((std::vector<double>{0.1, 0.2, 0.3}), t.times);
  ASSERT_EQ(3u, t.populations.size());
  EXPECT_EQ((std::vector<double>{0.5, 0.3, 0.2}), t.populations[1]);
  EXPECT_EQ((std::vector<double>{0.9, 0.3, 0.5}), t.peak);
  EXPECT_TRUE(t.finished);
  EXPECT_FALSE(t.cut_row);
  EXPECT_EQ((std::vector<int>{1, 3}), MostPopulatedStates(t, 2));
  EXPECT_EQ((std::vector<int>{1, 3, 2}), MostPopulatedStates(t, 10));
}

TEST(PopulationTable, NullSequenceAndEqualPeaksInStateOrder) {
  PopulationTable t;
  std::string err;
  // Behind a byte-order mark, as an editor may save it.
  ASSERT_TRUE(ParsePopulationTable("\xEF\xBB\xBF# Sequence: (null)\n1 0.25 0.5 0.25\n", &t, &err))
      << err;
  EXPECT_EQ("", t.sequence);
  EXPECT_EQ("", t.temperature);
  EXPECT_EQ((std::vector<int>{2, 1, 3}), MostPopulatedStates(t, 3));
}

// How a table ends tells whether the run finished: the closing line after
// the last row, or no closing line (a run stopped early), or a last row
// without its newline (a cut file; the row is left out, since its last
// number may be cut too).
TEST(PopulationTable, UnfinishedTables) {
  struct Case {
    const char* name;
    const char* text;
    size_t rows;
    bool finished;
    bool cut_row;
  } cases[] = {
      {"finished", "1 0.5 0.5\n2 0.25 0.75\n# of iterations: 2\n", 2, true, false},
      {"closing line without newline", "1 0.5 0.5\n# of iterations: 1", 1, true, false},
      {"no closing line", "# Date: x\n1 0.5 0.5\n2 0.25 0.75\n", 2, false, false},
      {"closing line cut", "1 0.5 0.5\n# of itera", 1, false, false},
      {"rows after the closing line", "1 0.5 0.5\n# of iterations: 1\n2 0.5 0.5\n", 2, false,
       false},
      {"cut inside a number", "1 0.5 0.5\n2 0.25 7.5e", 1, false, true},
      {"cut after a number", "1 0.5 0.5\n2 0.25 0.75", 1, false, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    PopulationTable t;
    std::string err;
    ASSERT_TRUE(ParsePopulationTable(c.text, &t, &err)) << err;
    EXPECT_EQ(c.rows, t.times.size());
    EXPECT_EQ(c.rows, t.populations.size());
    EXPECT_EQ(c.finished, t.finished);
    EXPECT_EQ(c.cut_row, t.cut_row);
  }
}

TEST(PopulationTable, RefusesWhatIsNotATable) {
  struct Case {
    const char* name;
    const char* text;
    const char* message;
  } cases[] = {
      {"empty", "", "no rows of populations"},
      {"header only", "# Date: x\n# of iterations: 0\n", "no rows of populations"},
      {"words", "# Date: x\nUsing rates matrix from STDIN\n",
       "line 2 is neither a header line nor a row of numbers"},
      {"glued token", "1 0.5x 0.5\n", "line 1 is neither a header line nor a row of numbers"},
      {"not a number", "1 nan 0.5\n", "line 1 is neither a header line nor a row of numbers"},
      {"infinite", "1 0.5 0.5\n2 inf 0.5\n",
       "line 2 is neither a header line nor a row of numbers"},
      {"no time above 0", "0 0.5 0.5\n-1 0.5 0.5\n", "no row has a time above 0"},
      {"only subnormal or huge times", "0 1 0\n1e-310 0.5 0.5\n1e308 0.5 0.5\n",
       "no row has a time from 2.2e-308 to 1e307, the times the time axis can show"},
      {"huge population", "1 0.5 0.5\n2 -1e308 0.5\n",
       "line 2 holds a population beyond 1e307, which the plot cannot show"},
      {"only a cut row", "# Date: x\n1 0.5 0.", "no rows of populations"},
      {"time only", "1 0.5 0.5\n2\n", "line 2 holds a time but no population"},
      {"binary",
       "\x7f"
       "ELF\x02\x01",
       "line 1 is neither a header line nor a row of numbers"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    PopulationTable t;
    std::string err;
    EXPECT_FALSE(ParsePopulationTable(c.text, &t, &err));
    EXPECT_EQ(c.message, err);
  }
}

}  // namespace

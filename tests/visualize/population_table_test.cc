// Reading a population table back: header values, peaks per state, the
// choice of the most populated states, and text that is not a table.
#include "visualize/population_table.h"

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
  EXPECT_EQ(3, t.rows);
  EXPECT_EQ((std::vector<double>{0.9, 0.3, 0.5}), t.peak);
  EXPECT_EQ((std::vector<int>{1, 3}), MostPopulatedStates(t, 2));
  EXPECT_EQ((std::vector<int>{1, 3, 2}), MostPopulatedStates(t, 10));
}

TEST(PopulationTable, NullSequenceAndEqualPeaksInStateOrder) {
  PopulationTable t;
  std::string err;
  ASSERT_TRUE(ParsePopulationTable("# Sequence: (null)\n1 0.25 0.5 0.25\n", &t, &err)) << err;
  EXPECT_EQ("", t.sequence);
  EXPECT_EQ("", t.temperature);
  EXPECT_EQ((std::vector<int>{2, 1, 3}), MostPopulatedStates(t, 3));
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

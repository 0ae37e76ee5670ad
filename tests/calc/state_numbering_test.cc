// The mapping from the states a run computes on back to the input's states.
#include "calc/model/state_numbering.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace {

// With and without an ergodicity reduction, and a list of kept states that
// does not fit the columns.
TEST(StateNumbering, MapsCurrentStatesToInputStates) {
  struct Case {
    const char* name;
    std::vector<int> kept;
    int kept_columns;
    int dim;
    int input_dim;
    std::vector<int> reduced;  // ReducedIndices
  };
  const Case cases[] = {
      {"nothing removed", {}, 0, 3, 3, {0, 1, 2}},
      // kept_columns is only read once a state was removed.
      {"nothing removed, stale columns", {}, 7, 2, 2, {0, 1}},
      {"first and last removed", {1, 2}, 4, 2, 4, {-1, 0, 1, -1}},
      {"every other state", {0, 2, 4}, 5, 3, 5, {0, -1, 1, -1, 2}},
      {"one state left", {3}, 4, 1, 4, {-1, -1, -1, 0}},
      // A damaged list never writes outside the input states.
      {"kept beyond the columns", {0, 5}, 3, 2, 3, {0, -1, -1}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    StateNumbering numbering;
    numbering.kept = c.kept;
    numbering.kept_columns = c.kept_columns;
    EXPECT_EQ(c.input_dim, numbering.InputDim(c.dim));
    EXPECT_EQ(c.reduced, numbering.ReducedIndices(c.dim));

    // Values 10, 11, ... of the current states land at their input states.
    std::vector<double> values(static_cast<size_t>(c.dim));
    for (int i = 0; i < c.dim; ++i) values[static_cast<size_t>(i)] = 10.0 + i;
    const std::vector<double> input = numbering.ToInputNumbering(values.data(), c.dim, -1.0);
    ASSERT_EQ(input.size(), static_cast<size_t>(c.input_dim));
    for (int i = 0; i < c.input_dim; ++i) {
      const int r = c.reduced[static_cast<size_t>(i)];
      EXPECT_EQ(input[static_cast<size_t>(i)], r < 0 ? -1.0 : 10.0 + r) << "input state " << i;
    }
  }
}

TEST(StateNumbering, RemovedStatesTakeTheGivenValue) {
  StateNumbering numbering;
  numbering.kept = {1};
  numbering.kept_columns = 3;
  const double reduced = 0.5;
  const std::vector<double> input = numbering.ToInputNumbering(&reduced, 1, std::nan(""));
  ASSERT_EQ(input.size(), 3u);
  EXPECT_TRUE(std::isnan(input[0]));
  EXPECT_EQ(input[1], 0.5);
  EXPECT_TRUE(std::isnan(input[2]));
}

}  // namespace

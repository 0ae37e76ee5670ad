// A population table as zolvane prints it, read back for plotting: the header
// block ("# Key: value" lines), then one row per time point holding the time
// and the population of every state. Guards against text that is not such a
// table: a row must be numbers only, and there must be at least one row.
#ifndef ZOLVANE_VISUALIZE_POPULATION_TABLE_H_
#define ZOLVANE_VISUALIZE_POPULATION_TABLE_H_

#include <string>
#include <vector>

struct PopulationTable {
  std::string sequence;         // "# Sequence:" value; empty when absent or "(null)"
  std::string temperature;      // "# Temperature:" value as printed; empty when absent
  int rows = 0;                 // rows of populations
  bool positive_times = false;  // some row's time is above 0
  // peak[k]: the largest population of state k + 1 over all rows. Its size is
  // the widest row's number of states (a narrower row simply lacks states).
  std::vector<double> peak;
};

// Parses the whole table `text`. Lines starting with '#' and blank lines are
// comments; every other line is a row of numbers separated by blanks or tabs
// (a carriage return before the newline is allowed). Returns false and a
// one-line reason in *err (no newline) for a line that is not finite numbers,
// a row with a time but no population, a table without rows, or one whose
// times are all 0 or below (the time axis is logarithmic).
bool ParsePopulationTable(const std::string& text, PopulationTable* table, std::string* err);

// The states to plot when none are named: the `top` states with the largest
// peak population, largest first; equal peaks in state order. State numbers
// are 1-based; fewer than `top` come back when the table has fewer states.
std::vector<int> MostPopulatedStates(const PopulationTable& table, int top);

#endif  // ZOLVANE_VISUALIZE_POPULATION_TABLE_H_

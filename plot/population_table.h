// A population table as zolvane prints it, read back for plotting: the header
// block ("# Key: value" lines), then one row per time point holding the time
// and the population of every state, then the closing "# of iterations" line.
// Guards against text that is not such a table: a row must be numbers only,
// and there must be at least one row. A table that a stopped run or a cut
// file left without its end is still read, and marked unfinished.
#ifndef ZOLVANE_PLOT_POPULATION_TABLE_H_
#define ZOLVANE_PLOT_POPULATION_TABLE_H_

#include <string>
#include <vector>

struct PopulationTable {
  std::string sequence;     // "# Sequence:" value, bytes as found; empty when absent or "(null)"
  std::string temperature;  // "# Temperature:" value as printed; empty when absent
  // One entry per row, in table order: its time and its populations (state
  // k + 1 at index k). A row may be narrower than others: it lacks states.
  std::vector<double> times;
  std::vector<std::vector<double>> populations;
  // peak[k]: the largest population of state k + 1 over all rows. Its size is
  // the widest row's number of states.
  std::vector<double> peak;
  // A "# of iterations:" line follows the last row: the run went to its end.
  bool finished = false;
  // The text ended inside a row (no newline after it); that row was left out.
  bool cut_row = false;
};

// Parses the whole table `text`. Lines starting with '#' and blank lines are
// comments; every other line is a row of numbers separated by blanks or tabs
// (a carriage return before the newline is allowed). A last line without its
// newline that holds only characters of numbers is a cut row: it is dropped
// and `cut_row` set. Returns false and a one-line reason in *err (no newline)
// for a line that is not finite numbers, a population beyond
// kLargestPlotted in size, a row with a time but no population, a table
// without rows, or one without a time the logarithmic time axis can show.
bool ParsePopulationTable(const std::string& text, PopulationTable* table, std::string* err);

// gnuplot takes numbers beyond about half the largest double for undefined
// and needs room above the largest value to round its axis up: values up to
// this one are safe.
constexpr double kLargestPlotted = 1e307;

// Whether the row time `t` can be placed on the logarithmic time axis: a
// normal double (gnuplot cannot take the logarithm of a subnormal) from
// DBL_MIN to kLargestPlotted.
bool DrawableTime(double t);

// The states to plot when none are named: the `top` states with the largest
// peak population, largest first; equal peaks in state order. State numbers
// are 1-based; fewer than `top` come back when the table has fewer states.
std::vector<int> MostPopulatedStates(const PopulationTable& table, int top);

#endif  // ZOLVANE_PLOT_POPULATION_TABLE_H_

// Population-table reader for the plot command.
#include "visualize/population_table.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>

namespace {

// The value of header line `line` if it reads "# <key>: value", else none.
bool HeaderValue(const std::string& line, const char* key, std::string* value) {
  const std::string prefix = std::string("# ") + key + ":";
  if (line.compare(0, prefix.size(), prefix) != 0) return false;
  size_t start = line.find_first_not_of(" \t", prefix.size());
  size_t end = line.find_last_not_of(" \t\r");
  *value = start == std::string::npos || end < start ? "" : line.substr(start, end - start + 1);
  return true;
}

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r'; }

}  // namespace

bool ParsePopulationTable(const std::string& text, PopulationTable* table, std::string* err) {
  *table = PopulationTable();
  size_t pos = 0;
  for (int line_no = 1; pos < text.size(); ++line_no) {
    size_t end = text.find('\n', pos);
    if (end == std::string::npos) end = text.size();
    const std::string line = text.substr(pos, end - pos);
    pos = end + 1;
    if (line.find_first_not_of(" \t\r") == std::string::npos) continue;
    if (line[0] == '#') {
      if (HeaderValue(line, "Sequence", &table->sequence) && table->sequence == "(null)") {
        table->sequence.clear();
      }
      HeaderValue(line, "Temperature", &table->temperature);
      continue;
    }
    // A row: the time, then one population per state.
    const char* p = line.c_str();
    const char* const line_end = p + line.size();
    int column = 0;
    while (true) {
      while (p < line_end && IsBlank(*p)) ++p;
      if (p == line_end) break;
      char* after;
      errno = 0;
      const double x = strtod(p, &after);
      // Infinities and NaN are no populations; gnuplot would draw around them.
      if (after == p || (after < line_end && !IsBlank(*after)) || !std::isfinite(x)) {
        *err = "line " + std::to_string(line_no) + " is neither a header line nor a row of numbers";
        return false;
      }
      p = after;
      if (column == 0 && x > 0) table->positive_times = true;
      if (column > 0) {
        const size_t state = column - 1;
        if (table->peak.size() <= state) table->peak.resize(state + 1, 0.0);
        table->peak[state] = std::max(table->peak[state], x);
      }
      ++column;
    }
    if (column < 2) {
      *err = "line " + std::to_string(line_no) + " holds a time but no population";
      return false;
    }
    ++table->rows;
  }
  if (table->rows == 0) {
    *err = "no rows of populations";
    return false;
  }
  // The time axis is logarithmic: without a time above 0 gnuplot has no
  // range to draw and fails with a report of several lines.
  if (!table->positive_times) {
    *err = "no row has a time above 0";
    return false;
  }
  return true;
}

std::vector<int> MostPopulatedStates(const PopulationTable& table, int top) {
  std::vector<int> states(table.peak.size());
  for (size_t k = 0; k < states.size(); ++k) states[k] = static_cast<int>(k) + 1;
  // Stable: equal peaks keep state order.
  std::stable_sort(states.begin(), states.end(),
                   [&](int a, int b) { return table.peak[a - 1] > table.peak[b - 1]; });
  if (top >= 0 && static_cast<size_t>(top) < states.size()) states.resize(top);
  return states;
}

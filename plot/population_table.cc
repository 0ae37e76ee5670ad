// Population-table reader for the plot command.
#include "plot/population_table.h"

#include <algorithm>
#include <cerrno>
#include <cfloat>
#include <cmath>
#include <cstdlib>
#include <cstring>

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

// A line that could be the beginning of a row: blanks and the characters of
// numbers only. Anything else in an unterminated last line is not a cut row
// but text that is no table.
bool LooksLikeRowStart(const std::string& line) {
  for (char c : line) {
    if (!IsBlank(c) && strchr("0123456789+-.eE", c) == nullptr) return false;
  }
  return true;
}

}  // namespace

bool DrawableTime(double t) { return t >= DBL_MIN && t <= kLargestPlotted; }

bool ParsePopulationTable(const std::string& text, PopulationTable* table, std::string* err) {
  *table = PopulationTable();
  bool positive_time = false;
  bool drawable_time = false;
  // A table saved by an editor may start with a byte-order mark.
  size_t pos = text.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;
  for (int line_no = 1; pos < text.size(); ++line_no) {
    size_t end = text.find('\n', pos);
    const bool terminated = end != std::string::npos;
    if (!terminated) end = text.size();
    const std::string line = text.substr(pos, end - pos);
    pos = end + 1;
    if (line.find_first_not_of(" \t\r") == std::string::npos) continue;
    if (line[0] == '#') {
      if (HeaderValue(line, "Sequence", &table->sequence) && table->sequence == "(null)") {
        table->sequence.clear();
      }
      HeaderValue(line, "Temperature", &table->temperature);
      // zolvane ends a table it completed with this line; a run stopped by
      // the probability check, or a file cut short, lacks it.
      if (line.compare(0, 16, "# of iterations:") == 0) table->finished = true;
      continue;
    }
    // zolvane ends every row with a newline: a last line without one was cut
    // in the middle, and its last number may be cut too.
    if (!terminated && LooksLikeRowStart(line)) {
      table->cut_row = true;
      table->finished = false;
      break;
    }
    // A row: the time, then one population per state.
    const char* p = line.c_str();
    const char* const line_end = p + line.size();
    std::vector<double> row;
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
      row.push_back(x);
    }
    if (row.size() < 2) {
      *err = "line " + std::to_string(line_no) + " holds a time but no population";
      return false;
    }
    for (size_t k = 1; k < row.size(); ++k) {
      if (std::fabs(row[k]) > kLargestPlotted) {
        *err = "line " + std::to_string(line_no) + " holds a population beyond 1e307, which " +
               "the plot cannot show";
        return false;
      }
    }
    if (row[0] > 0) positive_time = true;
    if (DrawableTime(row[0])) drawable_time = true;
    if (table->peak.size() < row.size() - 1) table->peak.resize(row.size() - 1, 0.0);
    for (size_t k = 1; k < row.size(); ++k) {
      table->peak[k - 1] = std::max(table->peak[k - 1], row[k]);
    }
    table->times.push_back(row[0]);
    row.erase(row.begin());
    table->populations.push_back(std::move(row));
    table->finished = false;
  }
  if (table->times.empty()) {
    *err = "no rows of populations";
    return false;
  }
  // The time axis is logarithmic: without a time above 0 gnuplot has no
  // range to draw and fails with a report of several lines. It cannot take
  // the logarithm of a subnormal time either, nor draw a huge one.
  if (!positive_time) {
    *err = "no row has a time above 0";
    return false;
  }
  if (!drawable_time) {
    *err = "no row has a time from 2.2e-308 to 1e307, the times the time axis can show";
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

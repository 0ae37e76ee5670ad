// Ergodicity reduction: states the initial population can never reach keep
// population 0 forever, so U and p0 are shrunk to the reachable states and
// numbering.kept remembers their numbers in the input.
#include "calc/model/ergodicity.h"

#include <cstdio>
#include <utility>
#include <vector>

#include "base/exit_status.h"
#include "base/status.h"
#include "calc/model/calc.h"

Status MxFindUnreached(const std::vector<double>& p0, int n,
                       const std::function<RatesOutOf(int d)>& out_of, std::vector<char>& reached,
                       std::vector<int>& kept) {
  kept.clear();
  int s = 0;
  while (s < n && p0[s] == 0) ++s;
  if (s == n) return Failure(1, "ERROR: the initial population is 0 in every state\n");

  // Breadth-first search along positive rates (a rate that is not a number
  // does not connect).
  reached.assign(n, 0);
  std::vector<int> queue;
  queue.reserve(n);
  reached[s] = 1;
  queue.push_back(s);
  int count = 1;
  for (size_t front = 0; front < queue.size() && count < n; ++front) {
    const int d = queue[front];
    const RatesOutOf line = out_of(d);
    for (int k = 0; k < n; ++k) {
      if (k == d || reached[k] || !(line.rates[static_cast<size_t>(k) * line.stride] > 0)) continue;
      reached[k] = 1;
      queue.push_back(k);
      ++count;
    }
  }
  if (count == n) return Status{};

  // Only the first populated state seeds the search, so every other populated
  // state must lie in what it reaches.
  for (int j = s + 1; j < n; ++j) {
    if (p0[j] > 0 && !reached[j]) {
      return Failure(kExitInconsistentRates,
                     "ERROR: Matrix is non-ergodic and initial populations are disconected!! "
                     "Exiting...\n");
    }
  }

  for (int i = 0; i < n; ++i) {
    if (reached[i]) kept.push_back(i);
  }
  return Status{};
}

Status MxErgodicity(Calc& calc, std::vector<double>& U, std::vector<double>& p0, int n) {
  std::vector<char> reached;
  const size_t stride = static_cast<size_t>(n);
  StateNumbering numbering = calc.numbering();
  // Column d of U holds the rates out of d.
  Status status = MxFindUnreached(
      p0, n,
      [&U, stride](int d) {
        return RatesOutOf{U.data() + d, stride};
      },
      reached, numbering.kept);
  if (!status.ok() || numbering.kept.empty()) return status;
  const int m = static_cast<int>(numbering.kept.size());

  // Later stages take the absorbing state to be the last one and the absorbed
  // minimum to be the only way into it, both in the reduced numbering.
  if (numbering.absorbing_state != 0) {
    const int absorbed = numbering.absorbed_minimum;
    if (!reached[n - 1]) {
      return Failure(1,
                     "ERROR: the initial population cannot reach the absorbing state through "
                     "minimum %d\n",
                     absorbed + 1);
    }
    if (absorbed >= 0 && absorbed < n && reached[absorbed]) {
      int renumbered = 0;
      while (numbering.kept[renumbered] != absorbed) ++renumbered;
      numbering.absorbed_minimum = renumbered;
    } else {
      // Only the absorbing state itself holds population: nothing else is
      // reached and the table stays there.
      numbering.absorbed_minimum = -1;
    }
  }

  // Compaction front to back is safe in place because kept[l] >= l.
  for (int l = 0; l < m; ++l) {
    const size_t from = static_cast<size_t>(numbering.kept[l]) * n;
    const size_t to = static_cast<size_t>(l) * m;
    for (int k = 0; k < m; ++k) U[to + k] = U[from + numbering.kept[k]];
    p0[l] = p0[numbering.kept[l]];
  }
  U.resize(static_cast<size_t>(m) * m);
  U.shrink_to_fit();
  p0.resize(m);
  p0.shrink_to_fit();
  EndErgodicityReduction(calc, n, std::move(numbering));
  return Status{};
}

void EndErgodicityReduction(Calc& calc, int n, StateNumbering numbering) {
  const int m = static_cast<int>(numbering.kept.size());
  numbering.kept_columns = n;
  calc.Renumber(m, std::move(numbering));
  if (!calc.opts.quiet) {
    fprintf(stderr, "WARNING: Matrix is non-ergodic! Decreasing dimension to %d.\n", m);
  }
}

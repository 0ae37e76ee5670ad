// The first passage stage around the times of one arithmetic (state
// reduction in double, a solve in the extended types), written once: which
// times the run asks for, the warning when some do not exist, and the output.
#ifndef ZOLVANE_CALC_PASSAGE_FIRST_PASSAGE_STAGE_H_
#define ZOLVANE_CALC_PASSAGE_FIRST_PASSAGE_STAGE_H_

#include <cstdio>
#include <limits>
#include <optional>
#include <vector>

#include "base/run_options.h"
#include "calc/model/calc.h"
#include "calc/passage/first_passage.h"

// A state that cannot reach a target has no finite time: the run reports
// NaN then and says why.
inline void WarnSingularFirstPassage(const RunOptions& opts) {
  if (!opts.quiet) {
    fprintf(stderr, "WARNING: singular system, first passage times are undefined\n");
  }
}

// Without an absorbing state all times, all(times) giving the dim x dim of
// them (from i to j at i * dim + j); with one the absorbing times,
// absorbing(times) giving dim - 1. Each returns false, with every time NaN,
// when some do not exist. Written to `out` as MxWriteFirstPassageTimes or
// MxWriteAbsorbingTimes writes them.
template <class All, class Absorbing>
void FirstPassageStage(const Calc& calc, All&& all, Absorbing&& absorbing, FILE* out) {
  std::vector<double> times;
  const bool to_absorption = calc.numbering().absorbing_state != 0;
  const bool ok = to_absorption ? absorbing(times) : all(times);
  if (!ok) WarnSingularFirstPassage(calc.opts);
  if (to_absorption) {
    MxWriteAbsorbingTimes(calc, times, out);
  } else {
    MxWriteFirstPassageTimes(calc, times, out);
  }
}

// The dim times from every state to `target` (0-based), 0 at the target:
// solve(times) gives them, or returns false when some do not exist (they
// are all NaN then but the target's). nullopt, with a message, when there is
// no such state.
template <class Solve>
std::optional<std::vector<double>> FirstPassageToStage(const Calc& calc, int target,
                                                       Solve&& solve) {
  const int n = calc.dim();
  if (target < 0 || target >= n) {
    fprintf(stderr, "State %d does not exist (--fpt %d)", target + 1, target + 1);
    return std::nullopt;
  }
  std::vector<double> times;
  if (!solve(times)) {
    WarnSingularFirstPassage(calc.opts);
    times.assign(static_cast<size_t>(n), std::numeric_limits<double>::quiet_NaN());
    times[static_cast<size_t>(target)] = 0.0;
  }
  return times;
}

#endif  // ZOLVANE_CALC_PASSAGE_FIRST_PASSAGE_STAGE_H_

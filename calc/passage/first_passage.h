// First passage times: the stage that prints them, and its numbers for
// callers that want them as values rather than printed (the run writes
// exactly these).
// `U` is the generator of order n as Calc holds it (U[i * n + j] the rate from
// j to i; the diagonal is never read).
#ifndef ZOLVANE_CALC_PASSAGE_FIRST_PASSAGE_H_
#define ZOLVANE_CALC_PASSAGE_FIRST_PASSAGE_H_

#include <cstddef>
#include <cstdio>
#include <optional>
#include <vector>

#include "calc/model/calc.h"

// The first passage stage of the serial run: all mean first passage times
// (or the absorbing times when there is an absorbing state) of U, written
// to `out`.
void MxFirstPassageTimes(const Calc& calc, const std::vector<double>& U,
                         const std::vector<double>& p8, FILE* out);
// Times from every state to `target` (0-based); nullopt if it does not exist.
std::optional<std::vector<double>> MxFirstPassageTo(const Calc& calc, const std::vector<double>& U,
                                                    int target);
// The writers of MxFirstPassageTimes, shared by every arithmetic: the
// dim x dim times (row-major, (i, j) from i to j), or the absorbing times.
void MxWriteFirstPassageTimes(const Calc& calc, const std::vector<double>& times, FILE* out);
void MxWriteAbsorbingTimes(const Calc& calc, const std::vector<double>& times, FILE* out);

// All mean first passage times: times[i * n + j] from i to j, zero diagonal.
// False when some state cannot reach another; `times` is then all NaN.
bool FirstPassageMatrix(const std::vector<double>& U, size_t n, std::vector<double>& times);

// The absorbing times of a generator whose last state is absorbing and is
// entered from the state `absorbed_minimum` only: n - 1 values, the mean time
// from each transient state to the absorbed minimum (0 there), which is the
// time to absorption less the time from the minimum itself. A minimum beyond
// the transient states (removed by the ergodicity reduction): the times to the
// absorbing state. False when some state cannot get there; `times` is then
// all NaN.
bool AbsorbingTimes(const std::vector<double>& U, size_t n, int absorbed_minimum,
                    std::vector<double>& times);

#endif  // ZOLVANE_CALC_PASSAGE_FIRST_PASSAGE_H_

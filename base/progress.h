// One updating progress line on standard error for long runs: the stage and,
// where known, its percent. It shows only when standard error is a terminal
// and the run is not quiet, only once the run has lasted kProgressDelay
// seconds, and only while a stage is open; closing the stage erases it, so
// the output that follows starts on a clean line. A painter thread redraws
// it, so a single long call (a diagonalisation) shows too; the stages only
// say where the run is, which costs a few stores.
//
// Until ProgressStart enables it (the program's entry point does), every call
// here does nothing: the Python module and the tests never see a line.
#ifndef ZOLVANE_BASE_PROGRESS_H_
#define ZOLVANE_BASE_PROGRESS_H_

#include <cstddef>
#include <string>

// Seconds a run lasts before the line appears, and between redraws.
constexpr double kProgressDelay = 2.0;
constexpr double kProgressTick = 0.25;

// Enables the line for this process when standard error is a terminal and
// `quiet` is 0; the clock of the delay starts here. Later calls do nothing.
// SIGINT and SIGTERM then erase the line before they end the process, by the
// same signal.
void ProgressStart(int quiet);

// Opens a stage (a static string such as "reading"); percent unknown. A
// stage that writes the population table to standard output stays silent
// when standard output is a terminal too: the table's lines are the
// progress there, and the two would mix.
void ProgressStage(const char* stage, bool writes_table = false);

// The percent done of the open stage, 0..100.
void ProgressPercent(int percent);

// The same for a walk along the logarithmic time axis t0..t8 now at time t;
// without a line to draw it does not even work out the percent.
void ProgressTimePoint(double t, double t0, double t8);

// Closes the stage and erases the line if it is shown.
void ProgressEnd();

// The pure part, for the painter and the tests.
struct ProgressState {
  bool stderr_terminal = false;
  bool stdout_terminal = false;
  bool quiet = false;
  const char* stage = nullptr;  // nullptr: no stage open
  bool writes_table = false;
  int percent = -1;            // -1: unknown
  double elapsed = 0.0;        // seconds since ProgressStart
  double stage_seconds = 0.0;  // seconds since the stage opened
};

// The text of the line for `s`, or "" when no line is to show.
std::string ProgressText(const ProgressState& s);

// The bytes that put `text` on the line when `shown` columns show now: back
// to the first column, the text, blanks over what is left of the old line,
// and back to the first column again, so that a message some stage prints
// meanwhile writes over the line rather than after it. An empty text
// erases the line ("" when nothing shows).
std::string ProgressDraw(const std::string& text, size_t shown);

// The percent of the logarithmic time axis t0..t8 that time t has covered.
int ProgressAxisPercent(double t, double t0, double t8);

#endif  // ZOLVANE_BASE_PROGRESS_H_

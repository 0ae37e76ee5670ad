// TableWalk: the course of a population table, the same whichever way the
// populations are computed (eigenvectors in double or in an extended type,
// spread over processes, or collected for the Python module): the time-0
// line, the points of the time axis in blocks, the stop once every
// population is within 1e-6 of equilibrium, the first time each mode's
// exponential left the range of its type, and at the end the underflow
// report and the line at t8 when the table stopped before it. What a line
// does (print it, collect it) is the caller's `line`; a line that fails
// (its checks, say) ends the walk: nothing more is handed on or printed, and
// status() says why.
#ifndef ZOLVANE_CALC_TABLE_TABLE_WALK_H_
#define ZOLVANE_CALC_TABLE_TABLE_WALK_H_

#include <cstddef>
#include <functional>
#include <vector>

#include "base/run_options.h"
#include "base/status.h"
#include "calc/table/time_axis.h"

class TableWalk {
 public:
  // `line` gets each time and its n populations; it may change them (--num-err
  // R zeroes negative ones), and the convergence test sees what it left.
  using Line = std::function<Status(double t, double* p)>;

  // The axis runs from `first_time` to --t8 by --tinc.
  TableWalk(const RunOptions& opts, double first_time, int n, Line line);

  // The line at time 0 (p0 itself) when --t0 is 0; not counted.
  void Start(double* p0);

  // The next block of at most `block` time points; false once the table has
  // converged, a line failed or the axis is done.
  bool NextBlock(std::vector<double>& times, size_t block);

  // Mode (or state) i's exponential left the range of its type at the scaled
  // time t / --times; the first report of each counts.
  void OutOfRange(size_t i, double scaled_time) {
    if (out_of_range_[i] == 0.0) out_of_range_[i] = scaled_time;
  }

  // Hands the line at time t to `line`, counts it, keeps it for the closing
  // line and tells the progress line how far along the axis the table is.
  void Take(double t, double* p);

  // Whether the line just taken has reached p8 (|p8_i - p_i| < 1e-6 for
  // every i; NaN is not). Remembered: a converged table takes no more blocks.
  bool Converged(const double* p, const std::vector<double>& p8);
  // The same verdict reached by the caller (an extended type judges in its
  // own arithmetic).
  bool Converged(bool converged) { return converged_ = converged; }

  // The underflow report (--warnings) and the line at t8 with the last
  // populations when the table converged before t8 or the axis stalled.
  // Returns the number of axis points taken. Does nothing after a failed
  // line.
  int Finish();

  // The first failure of `line`; ok while every line passed.
  const Status& status() const { return status_; }

 private:
  const RunOptions& opts_;
  Line line_;
  double first_time_;
  TimeAxis axis_;
  std::vector<double> out_of_range_;  // by mode: first scaled time out of range, 0 = never
  std::vector<double> last_;          // the last line as `line` left it
  int count_ = 0;
  bool converged_ = false;
  double t_last_ = 0.0;
  Status status_;
};

// The table's closing line, "# of iterations: count", flushed.
void EndPopulationTable(int count);

#endif  // ZOLVANE_CALC_TABLE_TABLE_WALK_H_

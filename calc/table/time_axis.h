// TimeAxis: the time points of the population table.
//
// The points are t0, t0 + t0*f, t0 + t0*f + t0*f^2, ... (the step grows by the
// factor f = --tinc), clipped to t8, and the axis ends once a point has
// reached t8. With f below 1 the step can stop moving the time forward, and
// with f above 1 it can stop growing (subnormal steps); the axis then ends
// early and says so through stalled().
//
// The axis does not depend on the populations, so callers lay out a block of
// points ahead and evaluate them together; only convergence cuts it short.
#ifndef ZOLVANE_CALC_TABLE_TIME_AXIS_H_
#define ZOLVANE_CALC_TABLE_TIME_AXIS_H_

#include <cstddef>
#include <vector>

class TimeAxis {
 public:
  TimeAxis(double t0, double t8, double tinc);

  // Replaces `times` with up to `max_points` next points. Returns false (and
  // leaves `times` empty) once the axis is exhausted.
  bool NextBlock(std::vector<double>& times, size_t max_points);

  // True when the axis ended because a step no longer advanced the time,
  // before t8 was reached.
  bool stalled() const { return stalled_; }

 private:
  double t8_;
  double tinc_;
  double step_;  // the current step s
  double next_;  // the candidate for the next point, tau
  bool more_;
  bool stalled_ = false;
};

#endif  // ZOLVANE_CALC_TABLE_TIME_AXIS_H_

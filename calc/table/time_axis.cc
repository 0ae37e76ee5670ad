#include "calc/table/time_axis.h"

TimeAxis::TimeAxis(double t0, double t8, double tinc)
    : t8_(t8), tinc_(tinc), step_(t0), next_(t0), more_(t0 + t8 > t0) {}

bool TimeAxis::NextBlock(std::vector<double>& times, size_t max_points) {
  times.clear();
  while (more_ && times.size() < max_points) {
    const double t = t8_ < next_ ? t8_ : next_;
    times.push_back(t);
    const double previous_step = step_;
    step_ *= tinc_;
    next_ = t + step_;
    // A growing axis whose step no longer grows (a subnormal start time)
    // would creep forward by the same tiny step for ever: end it like a
    // stalled one. tinc 1 is a linear axis on purpose.
    if (tinc_ > 1.0 && !(step_ > previous_step)) {
      more_ = false;
      stalled_ = true;
      break;
    }
    // Written as sums, so that the axis ends exactly when t has reached t8.
    if (step_ + t8_ <= t + step_) {
      more_ = false;
    } else {
      const double following = t8_ < next_ ? t8_ : next_;
      if (!(following > t)) {
        more_ = false;
        stalled_ = true;
      }
    }
  }
  return !times.empty();
}

#include "calc/table/table_walk.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <utility>

#include "base/fatal.h"
#include "base/progress.h"
#include "base/step_hook.h"

TableWalk::TableWalk(const RunOptions& opts, double first_time, int n, Line line)
    : opts_(opts),
      line_(std::move(line)),
      first_time_(first_time),
      axis_(first_time, opts.t8, opts.tinc),
      out_of_range_(static_cast<size_t>(n), 0.0),
      last_(static_cast<size_t>(n)) {}

void TableWalk::Start(double* p0) {
  if (opts_.t0 == 0.0 && status_.ok()) status_ = line_(0.0, p0);
}

bool TableWalk::NextBlock(std::vector<double>& times, size_t block) {
  return !converged_ && status_.ok() && axis_.NextBlock(times, block);
}

void TableWalk::Take(double t, double* p) {
  if (!status_.ok()) return;
  status_ = line_(t, p);
  if (!status_.ok()) return;
  ProgressTimePoint(t, first_time_, opts_.t8);
  if (g_step_hook != nullptr) {
    StepDone("time points", ProgressAxisPercent(t, first_time_, opts_.t8) / 100.0);
  }
  ++count_;
  t_last_ = t;
  std::copy(p, p + last_.size(), last_.begin());
}

bool TableWalk::Converged(const double* p, const std::vector<double>& p8) {
  converged_ = true;
  for (size_t i = 0; i < last_.size(); ++i) {
    if (!(std::fabs(p8[i] - p[i]) < 1e-6)) {
      converged_ = false;
      break;
    }
  }
  return converged_;
}

int TableWalk::Finish() {
  if (!status_.ok()) return count_;
  if (opts_.warnings) {
    for (size_t i = 0; i < out_of_range_.size(); ++i) {
      if (out_of_range_[i] > 0.0) {
        fprintf(stderr, "underflow %5d at time %12g", static_cast<int>(i + 1), out_of_range_[i]);
      }
    }
  }
  if (count_ > 0 && (converged_ || !axis_.stalled()) && opts_.t8 > t_last_) {
    status_ = line_(opts_.t8, last_.data());
  }
  return count_;
}

void EndPopulationTable(int count) {
  printf("# of iterations: %d\n", count);
  FlushTable();
}

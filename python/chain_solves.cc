#include "python/chain_solves.h"

#include <cmath>
#include <limits>

#include "elimination/state_reduction.h"
#include "spectral/gth_factor.h"

namespace {

double Rate(const std::vector<double>& u, size_t n, size_t from, size_t to) {
  return u[to * n + from];
}

// The chain over `order` (order[a] the state at row a) as rows of rates, row
// stride n + 1, and in the last column `extra`. Rates are scaled by a power
// of two (exactly) so that their products neither overflow nor underflow;
// returns that exponent e (the scaled times are the true ones / 2^e).
int RowsInOrder(const std::vector<double>& u, size_t n, const std::vector<size_t>& order,
                double extra, std::vector<double>& k) {
  const size_t m = order.size(), ld = m + 1;
  k.assign(m * ld, 0.0);
  for (size_t a = 0; a < m; ++a) {
    for (size_t b = 0; b < m; ++b) {
      if (a != b) k[a * ld + b] = Rate(u, n, order[a], order[b]);
    }
    k[a * ld + m] = extra;
  }
  return ScaleRates(k.data(), ld, m, m);
}

}  // namespace

StateSet StatesReaching(const std::vector<double>& u, size_t n, const StateSet& set) {
  StateSet reaches(set);
  std::vector<size_t> queue;
  for (size_t i = 0; i < n; ++i) {
    if (reaches[i]) queue.push_back(i);
  }
  // Backwards along the rates: j reaches i when j -> i has a positive rate.
  while (!queue.empty()) {
    const size_t i = queue.back();
    queue.pop_back();
    for (size_t j = 0; j < n; ++j) {
      if (!reaches[j] && j != i && Rate(u, n, j, i) > 0) {
        reaches[j] = 1;
        queue.push_back(j);
      }
    }
  }
  return reaches;
}

std::vector<double> MeanTimesInto(const std::vector<double>& u, size_t n, const StateSet& target) {
  const double inf = std::numeric_limits<double>::infinity();
  // A finite mean needs every path to stay among the states that reach the
  // target: the states that can enter one that does not have infinite times.
  const StateSet reaching = StatesReaching(u, n, target);
  StateSet lost(n, 0);
  for (size_t i = 0; i < n; ++i) lost[i] = !reaching[i];
  const StateSet infinite = StatesReaching(u, n, lost);
  std::vector<size_t> order;
  for (size_t i = 0; i < n; ++i) {
    if (target[i]) order.push_back(i);
  }
  const size_t keep = order.size();
  for (size_t i = 0; i < n; ++i) {
    if (!target[i] && !infinite[i]) order.push_back(i);
  }
  std::vector<double> times(n, inf);
  for (size_t i = 0; i < n; ++i) {
    if (target[i]) times[i] = 0.0;
  }
  const size_t m = order.size();
  if (m == keep) return times;
  // Each eliminated state's row keeps its waiting time in the last column;
  // the back-substitution adds the times of the states it leaves to.
  std::vector<double> k;
  const int e = RowsInOrder(u, n, order, 1.0, k);
  std::vector<double> pivots(m), x(m, 0.0);
  if (EliminateLastStates(k.data(), m + 1, m, keep, m, 1, pivots.data()) >= 0) {
    return std::vector<double>(n, std::nan(""));  // cannot happen: every state reaches
  }
  BackSubstitute(k.data(), m + 1, m, keep, m, pivots.data(), x.data(), 1, 1);
  for (size_t a = keep; a < m; ++a) times[order[a]] = std::ldexp(x[a], e);
  return times;
}

std::vector<double> HittingProbabilities(const std::vector<double>& u, size_t n, const StateSet& to,
                                         const StateSet& avoid) {
  StateSet ends(n, 0);
  for (size_t i = 0; i < n; ++i) ends[i] = to[i] || avoid[i];
  const StateSet reaching = StatesReaching(u, n, ends);
  // Kept: `to` (value 1), then `avoid` and the states that reach neither
  // (value 0: from there `to` never comes); the others are eliminated.
  std::vector<size_t> order;
  for (size_t i = 0; i < n; ++i) {
    if (to[i]) order.push_back(i);
  }
  const size_t ones = order.size();
  for (size_t i = 0; i < n; ++i) {
    if (!to[i] && (avoid[i] || !reaching[i])) order.push_back(i);
  }
  const size_t keep = order.size();
  for (size_t i = 0; i < n; ++i) {
    if (!ends[i] && reaching[i]) order.push_back(i);
  }
  const size_t m = order.size();
  std::vector<double> x(m, 0.0);
  for (size_t a = 0; a < ones; ++a) x[a] = 1.0;
  if (m > keep) {
    // No waiting times: the last column stays 0, and each eliminated state
    // takes the mean of the values it leaves to, weighted by its rates.
    std::vector<double> k;
    RowsInOrder(u, n, order, 0.0, k);
    std::vector<double> pivots(m);
    if (EliminateLastStates(k.data(), m + 1, m, keep, m, 1, pivots.data()) >= 0) {
      return std::vector<double>(n, std::nan(""));  // cannot happen: every state reaches
    }
    BackSubstitute(k.data(), m + 1, m, keep, m, pivots.data(), x.data(), 1, 1);
  }
  std::vector<double> q(n);
  for (size_t a = 0; a < m; ++a) q[order[a]] = x[a];
  for (size_t i = 0; i < n; ++i) {
    if (!ends[i] && !reaching[i]) q[i] = std::nan("");
  }
  return q;
}

std::vector<double> ReversedRates(const std::vector<double>& u, size_t n,
                                  const std::vector<double>& p8) {
  std::vector<double> r(n * n, 0.0);
  for (size_t i = 0; i < n; ++i) {
    for (size_t j = 0; j < n; ++j) {
      // k~(i -> j) at r[j * n + i] from k(j -> i) at u[i * n + j].
      if (i != j) r[j * n + i] = p8[j] / p8[i] * u[i * n + j];
    }
  }
  return r;
}

bool StationaryDistribution(const std::vector<double>& u, size_t n, std::vector<double>& p8) {
  if (n == 1) {
    p8.assign(1, 1.0);
    return true;
  }
  std::vector<double> work(u);
  for (size_t i = 0; i < n; ++i) work[i * n + i] = 0.0;
  GthFactor factor;
  if (GthFactorize(static_cast<int>(n), work.data(), factor) != SpectrumStatus::kOk) return false;
  p8 = factor.p8;
  return true;
}

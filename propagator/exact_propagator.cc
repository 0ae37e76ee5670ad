#include "propagator/exact_propagator.h"

PropagatorStatus PropagateExactly(int n, const std::vector<double>& u,
                                  const std::vector<double>& p0, const std::vector<double>& times,
                                  PropagatorResult& out) {
  (void)n, (void)u, (void)p0, (void)times, (void)out;
  return PropagatorStatus::kBadArgument;
}

// propagate: the exact propagator alone on a text rates file, on the time
// axis of a population run, to report what a run costs it.
//   propagate FILE [--t8 T] [--tinc F] [--exponent] [--from-top]
// Prints the number of states and time points, the levels squared, the
// terms of the start series, the level products per time point and the
// seconds (wall) of the propagation. The axis is the default table's
// (cumulative steps from 0.1) or, with --exponent, the geometric one; all
// of it is propagated (no stop at equilibrium).
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "calc/table/time_axis.h"
#include "propagator/exact_propagator.h"

int main(int argc, char** argv) {
  if (argc < 2) {
    fprintf(stderr, "usage: propagate FILE [--t8 T] [--tinc F] [--exponent] [--from-top]\n");
    return 1;
  }
  double t8 = 1e30, tinc = 1.02;
  bool exponent = false, from_top = false;
  for (int i = 2; i < argc; ++i) {
    if (strcmp(argv[i], "--t8") == 0 && i + 1 < argc) {
      t8 = strtod(argv[++i], nullptr);
    } else if (strcmp(argv[i], "--tinc") == 0 && i + 1 < argc) {
      tinc = strtod(argv[++i], nullptr);
    } else if (strcmp(argv[i], "--exponent") == 0) {
      exponent = true;
    } else if (strcmp(argv[i], "--from-top") == 0) {
      from_top = true;
    } else {
      fprintf(stderr, "propagate: unknown argument %s\n", argv[i]);
      return 1;
    }
  }
  // Line i of the file: the rates i -> j.
  std::ifstream in(argv[1]);
  std::vector<std::vector<double>> rows;
  for (std::string line; std::getline(in, line);) {
    std::istringstream fields(line);
    std::vector<double> row;
    for (double x; fields >> x;) row.push_back(x);
    if (!row.empty()) rows.push_back(row);
  }
  const int n = static_cast<int>(rows.size());
  std::vector<double> u(static_cast<size_t>(n) * n, 0.0);
  for (int i = 0; i < n; ++i) {
    if (static_cast<int>(rows[i].size()) != n) {
      fprintf(stderr, "propagate: line %d holds %zu rates, not %d\n", i + 1, rows[i].size(), n);
      return 1;
    }
    for (int j = 0; j < n; ++j) u[static_cast<size_t>(j) * n + i] = i == j ? 0.0 : rows[i][j];
  }
  std::vector<double> times;
  if (exponent) {
    for (double tau = 0.1; tinc * t8 > tau && tau * tinc > tau; tau *= tinc) {
      times.push_back(tau < t8 ? tau : t8);
    }
  } else {
    TimeAxis axis(0.1, t8, tinc);
    for (std::vector<double> block; axis.NextBlock(block, 4096);) {
      times.insert(times.end(), block.begin(), block.end());
    }
  }
  std::vector<double> p0(static_cast<size_t>(n), 0.0);
  p0[from_top ? static_cast<size_t>(n) - 1 : 0] = 1.0;
  PropagatorResult result;
  const auto start = std::chrono::steady_clock::now();
  if (PropagateExactly(n, u, p0, times, result) != PropagatorStatus::kOk) {
    fprintf(stderr, "propagate: the propagator refused the input\n");
    return 1;
  }
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  printf("%d states, %zu times: %d squarings, %d series terms, %.1f products per time, %.2f s\n", n,
         times.size(), result.squarings, result.series_terms,
         static_cast<double>(result.column_products) / static_cast<double>(times.size()), seconds);
  return 0;
}

// First passage times and the exponential iteration on generated landscapes:
// all pairs (state reduction by divide and conquer plus O(n^2) output) and
// times to one target at up to 2000 states, and one exponential time point at
// 300 states.
// Wall-clock time, since OpenBLAS may use several threads.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <vector>

#include "bench/landscape.h"
#include "calc/model/calc.h"
#include "calc/passage/first_passage.h"
#include "calc/table/iterate_exponent.h"

namespace {

struct Problem {
  std::vector<double> U, p0, p8;
};

// U(i, j) = rate j -> i of the landscape, columns summing to 0; p8 the
// Boltzmann distribution of the minima; all population in state 1.
Problem MakeProblem(int n) {
  const landscape::Landscape land = landscape::MakeLandscape(n, 7, 60);
  const landscape::Tree tree = landscape::MakeTree(land);
  Problem p;
  p.U.assign(static_cast<size_t>(n) * n, 0.0);
  std::vector<double> saddle;
  for (int j = 0; j < n; ++j) {
    landscape::SaddlesFrom(tree, j, saddle);
    double out = 0.0;
    for (int i = 0; i < n; ++i) {
      if (i == j) continue;
      const double r = landscape::Rate(land, j, saddle[i]);
      p.U[static_cast<size_t>(i) * n + j] = r;
      out += r;
    }
    p.U[static_cast<size_t>(j) * n + j] = -out;
  }
  double z = 0.0;
  for (const auto& m : land.minima) z += std::exp(-m.energy / land.kT);
  for (const auto& m : land.minima) p.p8.push_back(std::exp(-m.energy / land.kT) / z);
  p.p0.assign(n, 0.0);
  p.p0[0] = 1.0;
  return p;
}

void BM_FirstPassageAll(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  const Problem p = MakeProblem(n);
  RunOptions opts;
  Calc calc(n, opts);
  FILE* sink = fopen("/dev/null", "w");
  for (auto _ : state) MxFirstPassageTimes(calc, p.U, p.p8, sink);
  fclose(sink);
}
BENCHMARK(BM_FirstPassageAll)
    ->Arg(500)
    ->Arg(1000)
    ->Arg(2000)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

void BM_FirstPassageTo(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  const Problem p = MakeProblem(n);
  RunOptions opts;
  Calc calc(n, opts);
  for (auto _ : state) benchmark::DoNotOptimize(MxFirstPassageTo(calc, p.U, n / 2));
}
BENCHMARK(BM_FirstPassageTo)->Arg(2000)->Unit(benchmark::kMillisecond)->UseRealTime();

// One time point of the exponential iteration (t0 = t8, so the table has a
// single line); the table goes to /dev/null, the report stays on stdout.
void BM_IterateExponentPoint(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  const Problem p = MakeProblem(n);
  RunOptions opts;
  opts.quiet = 1;
  opts.t0 = 1e3;
  opts.t8 = 1e3;
  Calc calc(n, opts);
  fflush(stdout);
  const int saved = dup(1);
  const int null_fd = open("/dev/null", O_WRONLY);
  dup2(null_fd, 1);
  for (auto _ : state) {
    std::vector<double> u = p.U;
    const Status status = MxIterateExponent(calc, p.p0, p.p8, u);
    benchmark::DoNotOptimize(status.exit_status);
  }
  fflush(stdout);
  dup2(saved, 1);
  close(null_fd);
  close(saved);
}
BENCHMARK(BM_IterateExponentPoint)->Arg(300)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();

// Dense kernels and the quasi-stationary reduction at the sizes a run meets:
// inverse, product and exponential of n x n matrices, and 2000 -> 200 states.
// Wall-clock time, since OpenBLAS may use several threads.
#include <benchmark/benchmark.h>

#include <random>
#include <vector>

#include "base/run_options.h"
#include "calc/backend/reduce.h"
#include "matrix/dense.h"

namespace {

// Random rates (column j = rates out of j) with every column summing to zero:
// a generator, well conditioned once shifted off its zero eigenvalue.
std::vector<double> Generator(int n, unsigned seed) {
  std::mt19937 gen(seed);
  std::uniform_real_distribution<double> dist(0.0, 1.0);
  std::vector<double> m(static_cast<size_t>(n) * n);
  for (double& v : m) v = dist(gen);
  for (int j = 0; j < n; ++j) {
    double sum = 0.0;
    for (int i = 0; i < n; ++i)
      if (i != j) sum += m[i * n + j];
    m[j * n + j] = -sum;
  }
  return m;
}

std::vector<double> Invertible(int n) {
  std::vector<double> m = Generator(n, 1);
  for (int i = 0; i < n; ++i) m[i * n + i] -= 1.0;
  return m;
}

void BM_MxInverse(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  const std::vector<double> a = Invertible(n);
  std::vector<double> work(a.size());
  for (auto _ : state) {
    work = a;  // O(n^2), negligible beside the inverse
    benchmark::DoNotOptimize(MxInverse(work.data(), n, 1e-15));
  }
}
BENCHMARK(BM_MxInverse)
    ->Arg(300)
    ->Arg(1000)
    ->Arg(2000)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

void BM_MxGemm(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  const std::vector<double> a = Generator(n, 2);
  const std::vector<double> b = Generator(n, 3);
  std::vector<double> out(a.size());
  for (auto _ : state) {
    MxGemm(n, n, n, a.data(), b.data(), out.data());
    benchmark::DoNotOptimize(out.data());
  }
}
BENCHMARK(BM_MxGemm)->Arg(300)->Arg(1000)->Arg(2000)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_MxExponential(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  const std::vector<double> a = Generator(n, 4);
  std::vector<double> out(a.size());
  for (auto _ : state) {
    const Status status = MxExponential(a.data(), out.data(), n, 30, 1e-15);
    benchmark::DoNotOptimize(status.exit_status);
    benchmark::DoNotOptimize(out.data());
  }
}
BENCHMARK(BM_MxExponential)->Arg(300)->Arg(1000)->Unit(benchmark::kMillisecond)->UseRealTime();

// Args: n, target m, step limit b (1000000 = one block, 1 = one state at a time).
void BM_MxReduce(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  const int m = static_cast<int>(state.range(1));
  const int b = static_cast<int>(state.range(2));
  const std::vector<double> rates = Generator(n, 5);
  RunOptions opts;
  opts.quiet = 1;
  for (auto _ : state) {
    std::vector<double> work = rates;
    int reduced = 0;
    const Status status = MxReduce(opts, work, m, n, b, reduced);
    benchmark::DoNotOptimize(status.exit_status);
    benchmark::DoNotOptimize(reduced);
  }
}
BENCHMARK(BM_MxReduce)
    ->Args({500, 50, 1000000})
    ->Args({500, 50, 1})
    ->Args({1000, 100, 1000000})
    ->Args({1000, 100, 1})
    ->Args({2000, 200, 1000000})
    ->Args({2000, 200, 500})
    ->Args({2000, 200, 1})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace

BENCHMARK_MAIN();

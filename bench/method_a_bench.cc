// Building U by method A from a synthetic tree of minima held in memory: the
// saddles of all pairs, n^2 exponentials and the diagonal.
#include <benchmark/benchmark.h>

#include <vector>

#include "calc/model/calc.h"
#include "calc/model/transition_matrix.h"
#include "landscape.h"

namespace {

std::vector<QorpRecord> Records(int n) {
  const landscape::Landscape land = landscape::MakeLandscape(n, /*seed=*/7, /*length=*/20);
  std::vector<QorpRecord> records(n);
  for (int k = 0; k < n; ++k) {
    const landscape::Minimum& m = land.minima[k];
    records[k].index = k + 1;
    records[k].father = m.father;
    records[k].energy = m.energy;
    records[k].saddle_height = m.saddle_height;
    records[k].free_energy = m.free_energy;
  }
  return records;
}

void BM_MethodA(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  const std::vector<QorpRecord> records = Records(n);
  RunOptions opts;
  opts.method = 'A';
  opts.quiet = 1;
  for (auto _ : state) {
    Calc calc(n, opts);
    std::vector<double> U;
    const Status status = MxMethodA(calc, records, U);
    benchmark::DoNotOptimize(status.exit_status);
    benchmark::DoNotOptimize(U.data());
  }
  state.counters["minima"] = n;
}
BENCHMARK(BM_MethodA)->Arg(1000)->Arg(2000)->Arg(5000)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();

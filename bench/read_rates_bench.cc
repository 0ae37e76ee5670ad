// Throughput of the text rates reader on a 2000-state file (about 100 MB),
// generated once into /tmp and removed at the end.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "input/rates_file.h"
#include "landscape.h"

namespace {

const std::string& RatesPath() {
  static const std::string path = "/tmp/zolvane_read_rates_bench_" + std::to_string(getpid());
  return path;
}

long FileSize(const std::string& path) {
  FILE* f = fopen(path.c_str(), "rb");
  if (f == nullptr) return -1;
  fseek(f, 0, SEEK_END);
  const long size = ftell(f);
  fclose(f);
  return size;
}

void BM_ParseRatesFile(benchmark::State& state) {
  const long bytes = FileSize(RatesPath());
  RunOptions opts;
  opts.quiet = 1;
  InputContext ctx{opts};
  std::vector<double> rates;
  for (auto _ : state) {
    FILE* f = fopen(RatesPath().c_str(), "r");
    if (f == nullptr) {
      state.SkipWithError("cannot open the generated rates file");
      break;
    }
    int n = 0;
    if (!ParseRatesFile(ctx, f, rates, n).ok()) {
      state.SkipWithError("the generated rates file was refused");
      break;
    }
    benchmark::DoNotOptimize(n);
    benchmark::DoNotOptimize(rates.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * bytes);
}
BENCHMARK(BM_ParseRatesFile)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  const landscape::Landscape land = landscape::MakeLandscape(2000, 2024, 60);
  if (!landscape::WriteTextRates(land, RatesPath().c_str())) {
    fprintf(stderr, "cannot write %s\n", RatesPath().c_str());
    return 1;
  }
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  remove(RatesPath().c_str());
  return 0;
}

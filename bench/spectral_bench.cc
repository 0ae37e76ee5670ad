// The factorised double solver (spectral/) beside LAPACK's dsyevd on a stiff
// generated landscape (rates spanning about 1e30): the factorisation, the
// one-sided Jacobi alone, the whole solver, and dsyevd on S. Wall-clock
// time, since BLAS may use several threads (OPENBLAS_NUM_THREADS); the
// counter `sweeps` is the Jacobi's.
//   spectral_bench --benchmark_filter=/2000
#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

#include "landscape.h"
#include "matrix/lapack.h"
#include "spectral/reversible_spectrum.h"

namespace {

// U row-major (U[i * n + j] = rate j -> i) of the bench landscape at a third
// of its temperature: its rates, 1e-9 to 1 at 37 degrees, then span about
// 1e27 to 1e30.
std::vector<double> StiffRates(int n) {
  landscape::Landscape land = landscape::MakeLandscape(n, 7, 20);
  land.kT /= 3.3;
  const landscape::Tree tree = landscape::MakeTree(land);
  std::vector<double> u(static_cast<size_t>(n) * n, 0.0), saddle;
  for (int j = 0; j < n; ++j) {
    landscape::SaddlesFrom(tree, j, saddle);
    for (int i = 0; i < n; ++i) {
      if (i != j) u[static_cast<size_t>(i) * n + j] = landscape::Rate(land, j, saddle[i]);
    }
  }
  return u;
}

// The landscape of each size, made once.
const std::vector<double>& Rates(int n) {
  static std::vector<std::pair<int, std::vector<double>>> made;
  for (const auto& [size, u] : made) {
    if (size == n) return u;
  }
  made.emplace_back(n, StiffRates(n));
  return made.back().second;
}

void BM_GthFactor(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  std::vector<double> u;
  for (auto _ : state) {
    state.PauseTiming();
    u = Rates(n);
    state.ResumeTiming();
    GthFactor factor;
    benchmark::DoNotOptimize(GthFactorize(n, u.data(), factor));
  }
}

void BM_OneSidedJacobi(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  std::vector<double> x = Rates(n), u, sigma(n);
  GthFactor factor;
  GthFactorize(n, x.data(), factor);
  JacobiResult result;
  for (auto _ : state) {
    state.PauseTiming();
    u = x;
    state.ResumeTiming();
    result = OneSidedJacobi(n, n - 1, u.data(), n, sigma.data());
  }
  state.counters["sweeps"] = result.sweeps;
}

void BM_ReversibleSpectrum(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  std::vector<double> u;
  ReversibleSpectrum s;
  for (auto _ : state) {
    state.PauseTiming();
    u = Rates(n);
    state.ResumeTiming();
    benchmark::DoNotOptimize(ComputeReversibleSpectrum(n, u, s));
  }
  state.counters["sweeps"] = s.sweeps;
}

// dsyevd on S = P^-1/2 U P^1/2, S_ij = sqrt(k_ij k_ji), as the default path
// diagonalises it (S built outside the timing).
void BM_Dsyevd(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  const std::vector<double>& u = Rates(n);
  const size_t nn = static_cast<size_t>(n);
  std::vector<double> s(nn * nn), a, w(nn);
  for (size_t i = 0; i < nn; ++i) {
    double out = 0.0;
    for (size_t j = 0; j < nn; ++j) {
      if (i == j) continue;
      s[i * nn + j] = std::sqrt(u[i * nn + j] * u[j * nn + i]);
      out += u[j * nn + i];
    }
    s[i * nn + i] = -out;
  }
  int lwork = -1, liwork = -1, iw = 0, info = 0;
  double wq = 0.0;
  dsyevd_("V", "L", &n, s.data(), &n, w.data(), &wq, &lwork, &iw, &liwork, &info, 1, 1);
  lwork = static_cast<int>(wq);
  liwork = iw;
  std::vector<double> work(static_cast<size_t>(lwork));
  std::vector<int> iwork(static_cast<size_t>(liwork));
  for (auto _ : state) {
    state.PauseTiming();
    a = s;
    state.ResumeTiming();
    dsyevd_("V", "L", &n, a.data(), &n, w.data(), work.data(), &lwork, iwork.data(), &liwork, &info,
            1, 1);
  }
  if (info != 0) state.SkipWithError("dsyevd failed");
}

#define SIZES Arg(500)->Arg(1000)->Arg(2000)->Arg(4000)->Unit(benchmark::kSecond)->UseRealTime()
BENCHMARK(BM_GthFactor)->SIZES->Iterations(1)->Repetitions(1);
BENCHMARK(BM_OneSidedJacobi)->SIZES->Iterations(1);
BENCHMARK(BM_ReversibleSpectrum)->SIZES->Iterations(1);
BENCHMARK(BM_Dsyevd)->SIZES->Iterations(1);

}  // namespace

BENCHMARK_MAIN();

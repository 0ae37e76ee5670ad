// Generators for the tests of the exact propagator: the stiff fixtures'
// rates files, driven cycles, random stiff chains without detailed balance,
// and reversible rates with every rate perturbed.
#ifndef ZOLVANE_TESTS_PROPAGATOR_CHAINS_H_
#define ZOLVANE_TESTS_PROPAGATOR_CHAINS_H_

#include <cmath>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "tests/test_util.h"

namespace chains {

// A generator in the program's layout: u[i * n + j] the rate j -> i.
struct Chain {
  std::string name;
  int n = 0;
  std::vector<double> u;
  double& rate(int from, int to) { return u[static_cast<size_t>(to) * n + from]; }
};

// A rates file of the stiff fixtures (line i lists the rates i -> j).
inline Chain FromRatesFile(const std::string& name) {
  const std::vector<std::string> lines =
      Lines(ReadFile(SourcePath("tests/stiff/fixtures/" + name + ".rates")));
  Chain c{name, static_cast<int>(lines.size()), {}};
  c.u.assign(static_cast<size_t>(c.n) * c.n, 0.0);
  for (int i = 0; i < c.n; ++i) {
    const std::vector<double> row = ParseNumbers(lines[i]);
    for (int j = 0; j < c.n && j < static_cast<int>(row.size()); ++j) {
      if (i != j) c.rate(i, j) = row[j];
    }
  }
  return c;
}

// The rates file of `c`, every rate with 17 digits (read back exactly).
inline std::string RatesText(const Chain& c) {
  std::string text;
  char number[32];
  for (int i = 0; i < c.n; ++i) {
    for (int j = 0; j < c.n; ++j) {
      snprintf(number, sizeof number, "%.17g ",
               i == j ? 0.0 : c.u[static_cast<size_t>(j) * c.n + i]);
      text += number;
    }
    text += "\n";
  }
  return text;
}

inline double LogUniform(std::mt19937_64& rng, double lo_exp, double hi_exp) {
  return std::pow(10.0, std::uniform_real_distribution<double>(lo_exp, hi_exp)(rng));
}

// A ring driven one way: forward rates 10^[0, 4], backward
// 10^[-spread, -spread/2]; far from detailed balance (the two directions
// around the ring differ by about 10^(n spread)).
inline Chain DrivenCycle(int n, double spread, unsigned seed) {
  std::mt19937_64 rng(seed);
  Chain c{"driven_cycle", n, std::vector<double>(static_cast<size_t>(n) * n, 0.0)};
  for (int i = 0; i < n; ++i) {
    c.rate(i, (i + 1) % n) = LogUniform(rng, 0, 4);
    c.rate((i + 1) % n, i) = LogUniform(rng, -spread, -spread / 2);
  }
  return c;
}

// A ring of two-way rates plus random two-way shortcuts, every rate
// 10^U(-spread/2, spread/2) on its own.
inline Chain RandomStiff(int n, double spread, unsigned seed) {
  std::mt19937_64 rng(seed);
  std::bernoulli_distribution shortcut(0.25);
  Chain c{"random_stiff", n, std::vector<double>(static_cast<size_t>(n) * n, 0.0)};
  for (int i = 0; i < n; ++i) {
    for (int j = i + 1; j < n; ++j) {
      if (j != i + 1 && !(i == 0 && j == n - 1) && !shortcut(rng)) continue;
      c.rate(i, j) = LogUniform(rng, -spread / 2, spread / 2);
      c.rate(j, i) = LogUniform(rng, -spread / 2, spread / 2);
    }
  }
  return c;
}

// Every rate multiplied by 1 + eps U(-1, 1): detailed balance broken at
// about eps.
inline Chain Perturbed(Chain c, double eps, unsigned seed) {
  std::mt19937_64 rng(seed);
  std::uniform_real_distribution<double> jitter(-1.0, 1.0);
  for (double& x : c.u) x *= 1.0 + eps * jitter(rng);
  char suffix[32];
  snprintf(suffix, sizeof suffix, "_perturbed_%.0e", eps);
  c.name += suffix;
  return c;
}

}  // namespace chains

#endif  // ZOLVANE_TESTS_PROPAGATOR_CHAINS_H_

// Fixtures for the spectral tests: generated reversible landscapes, an
// independent exp(U t) p0 by Taylor series with scaling and squaring, and a
// parser for the population table.
#ifndef ZOLVANE_TESTS_CALC_SPECTRAL_FIXTURE_H_
#define ZOLVANE_TESTS_CALC_SPECTRAL_FIXTURE_H_

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "matrix/lapack.h"

namespace spectral_test {

// U (row-major, U[i*n+j] = rate j -> i, columns summing to 0) and its
// equilibrium distribution.
struct Landscape {
  int n = 0;
  std::vector<double> U;
  std::vector<double> p8;
};

inline void SetDiagonal(std::vector<double>& U, int n) {
  for (int j = 0; j < n; ++j) {
    double sum = 0.0;
    for (int i = 0; i < n; ++i) {
      if (i != j) sum += U[i * n + j];
    }
    U[j * n + j] = -sum;
  }
}

// Minima with energies in [-10, 0] joined by a random tree plus extra edges;
// Arrhenius rates over a saddle shared by both directions give detailed
// balance with the Boltzmann distribution, over many orders of magnitude.
inline Landscape ReversibleLandscape(int n, unsigned seed, double kT = 0.6163) {
  std::mt19937 rng(seed);
  std::uniform_real_distribution<double> energy(-10.0, 0.0), barrier(0.2, 4.0);
  std::vector<double> e(n);
  for (double& x : e) x = energy(rng);
  Landscape l;
  l.n = n;
  l.U.assign(static_cast<size_t>(n) * n, 0.0);
  auto connect = [&](int a, int b) {
    double saddle = std::max(e[a], e[b]) + barrier(rng);
    l.U[a * n + b] = std::exp(-(saddle - e[b]) / kT);
    l.U[b * n + a] = std::exp(-(saddle - e[a]) / kT);
  };
  for (int i = 1; i < n; ++i) connect(i, static_cast<int>(rng() % i));
  for (int k = 0; k < 2 * n; ++k) {
    int a = static_cast<int>(rng() % n), b = static_cast<int>(rng() % n);
    if (a != b) connect(a, b);
  }
  SetDiagonal(l.U, n);
  l.p8.resize(n);
  double z = 0.0;
  for (int i = 0; i < n; ++i) z += l.p8[i] = std::exp(-e[i] / kT);
  for (double& p : l.p8) p /= z;
  return l;
}

// Row-major c = a * b, n x n.
inline void Product(const double* a, const double* b, double* c, int n) {
  const double one = 1.0, zero = 0.0;
  dgemm_("N", "N", &n, &n, &n, &one, b, &n, a, &n, &zero, c, &n, 1, 1);
}

// exp(U t) p0 without any eigen-decomposition.
inline std::vector<double> ExpTimesVector(const std::vector<double>& U, int n, double t,
                                          const std::vector<double>& p0) {
  const size_t nn = static_cast<size_t>(n);
  double norm = 0.0;
  for (size_t j = 0; j < nn; ++j) {
    double col = 0.0;
    for (size_t i = 0; i < nn; ++i) col += std::fabs(U[i * nn + j] * t);
    norm = std::max(norm, col);
  }
  int squarings = norm > 0.5 ? static_cast<int>(std::ceil(std::log2(norm / 0.5))) : 0;
  double scale = t / std::ldexp(1.0, squarings);
  std::vector<double> a(nn * nn), term(nn * nn, 0.0), sum(nn * nn, 0.0), tmp(nn * nn);
  for (size_t k = 0; k < nn * nn; ++k) a[k] = U[k] * scale;
  for (size_t i = 0; i < nn; ++i) term[i * nn + i] = sum[i * nn + i] = 1.0;
  for (int k = 1; k <= 20; ++k) {
    Product(term.data(), a.data(), tmp.data(), n);
    for (size_t x = 0; x < nn * nn; ++x) {
      term[x] = tmp[x] / k;
      sum[x] += term[x];
    }
  }
  for (int s = 0; s < squarings; ++s) {
    Product(sum.data(), sum.data(), tmp.data(), n);
    sum.swap(tmp);
  }
  std::vector<double> p(nn, 0.0);
  for (size_t i = 0; i < nn; ++i) {
    for (size_t j = 0; j < nn; ++j) p[i] += sum[i * nn + j] * p0[j];
  }
  return p;
}

// One population line of the table.
struct TableLine {
  std::string time_text;
  double time = 0.0;
  std::vector<double> pops;
};

struct Table {
  std::vector<std::string> header;  // the lines starting with "# " before the data
  std::vector<TableLine> lines;
  std::string closing;  // the last line of the output
};

inline Table ParseTable(const std::string& out) {
  Table table;
  std::istringstream in(out);
  std::string line;
  while (std::getline(in, line)) {
    if (line.rfind("# of iterations", 0) == 0) {
      table.closing = line;
    } else if (line.rfind("#", 0) == 0) {
      table.header.push_back(line);
    } else if (!line.empty()) {
      TableLine t;
      std::istringstream fields(line);
      fields >> t.time_text;
      t.time = std::strtod(t.time_text.c_str(), nullptr);
      double x;
      while (fields >> x) t.pops.push_back(x);
      table.lines.push_back(t);
    }
  }
  return table;
}

}  // namespace spectral_test

#endif  // ZOLVANE_TESTS_CALC_SPECTRAL_FIXTURE_H_

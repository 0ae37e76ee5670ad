// Synthetic energy landscapes for examples and benchmarks: a tree of minima
// drawn from a seed, written as a qorp file, a text rates file and a binary
// rates file. The rates follow the landscape's own Arrhenius law, so they obey
// detailed balance and agree exactly with rates built from the qorp file.
#ifndef ZOLVANE_BENCH_LANDSCAPE_H_
#define ZOLVANE_BENCH_LANDSCAPE_H_

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "generator.h"

namespace landscape {

// Energies and heights are kept on a 0.01 kcal/mol grid, so the values printed
// into the qorp file read back as exactly the doubles the rates came from.
inline double Round2(double x) { return std::round(x * 100.0) / 100.0; }

struct Minimum {
  std::string structure;
  double energy = 0.0;
  int father = 0;              // 1-based, smaller than the minimum's own number; 0 for the first
  double saddle_height = 0.0;  // join saddle = energy + saddle_height
  double extra4 = 0.0, extra5 = 0.0, extra6 = 0.0, extra7 = 0.0;
  double free_energy = 0.0;
};

struct Landscape {
  std::string sequence;
  std::vector<Minimum> minima;  // minima[k] is minimum number k + 1
  double kT = (37.0 + 273.15) * 0.00198717;
};

// A random secondary structure of `length` positions in dot-bracket notation:
// hairpins need at least three unpaired positions, unclosed pairs become dots.
inline std::string RandomStructure(generator::Rng& rng, int length) {
  std::string s(length, '.');
  std::vector<int> open;
  for (int i = 0; i < length; ++i) {
    const double r = rng.Uniform();
    if (!open.empty() && i - open.back() > 3 && r < 0.35) {
      s[open.back()] = '(';
      s[i] = ')';
      open.pop_back();
    } else if (r > 0.7) {
      open.push_back(i);
    }
  }
  return s;
}

// Energies ascend with the minimum's number (minimum 1 is the ground state)
// between -15 and -7 kcal/mol; barriers lie 0.3 to 4 kcal/mol above the
// higher of the two minima they join. Every rate then lies between about 1e-9
// and 1.
inline Landscape MakeLandscape(int n, uint64_t seed, int length) {
  generator::Rng rng{seed};
  Landscape land;
  for (int i = 0; i < length; ++i) land.sequence += "ACGU"[rng.Below(4)];
  std::vector<double> energies(n);
  for (double& e : energies) e = Round2(-15.0 + 8.0 * rng.Uniform());
  std::sort(energies.begin(), energies.end());

  land.minima.resize(n);
  double z_total = 0.0;
  for (int k = 0; k < n; ++k) {
    Minimum& m = land.minima[k];
    m.structure = RandomStructure(rng, length);
    m.energy = energies[k];
    if (k > 0) {
      m.father = 1 + rng.Below(k);
      m.saddle_height = Round2(0.3 + 3.7 * rng.Uniform());
    }
    m.free_energy = Round2(m.energy - rng.Uniform());
    m.extra4 = m.energy + m.saddle_height;
    m.extra5 = 1 + rng.Below(1000);
    m.extra6 = std::exp(-m.free_energy / land.kT);
    z_total += m.extra6;
  }
  for (Minimum& m : land.minima) m.extra7 = m.extra6 / z_total;
  return land;
}

// The tree of minima as adjacency lists; edge (k, father) carries the join
// saddle of k.
struct Tree {
  std::vector<std::vector<std::pair<int, double>>> next;
};

inline Tree MakeTree(const Landscape& land) {
  Tree tree;
  tree.next.resize(land.minima.size());
  for (size_t k = 1; k < land.minima.size(); ++k) {
    const Minimum& m = land.minima[k];
    const double join = m.energy + m.saddle_height;
    tree.next[k].push_back({m.father - 1, join});
    tree.next[m.father - 1].push_back({static_cast<int>(k), join});
  }
  return tree;
}

// saddle[i] = highest join saddle on the tree path between `source` and i:
// one walk of the tree, O(n).
inline void SaddlesFrom(const Tree& tree, int source, std::vector<double>& saddle) {
  const size_t n = tree.next.size();
  saddle.assign(n, 0.0);
  std::vector<int> parent(n, -1);
  std::vector<int> stack = {source};
  parent[source] = source;
  saddle[source] = -HUGE_VAL;
  while (!stack.empty()) {
    const int u = stack.back();
    stack.pop_back();
    for (const auto& [v, join] : tree.next[u]) {
      if (parent[v] != -1) continue;
      parent[v] = u;
      saddle[v] = std::max(saddle[u], join);
      stack.push_back(v);
    }
  }
}

// Rate of the transition from minimum `from` over `saddle` (0-based).
inline double Rate(const Landscape& land, int from, double saddle) {
  return std::exp(-(saddle - land.minima[from].energy) / land.kT);
}

inline bool WriteQorp(const Landscape& land, const char* path) {
  FILE* f = fopen(path, "w");
  if (f == nullptr) return false;
  fprintf(f, "%s\n", land.sequence.c_str());
  for (size_t k = 0; k < land.minima.size(); ++k) {
    const Minimum& m = land.minima[k];
    fprintf(f, "%4zu %s %7.2f %4d %6.2f %7.2f %4.0f %.6e %.6e %7.2f\n", k + 1, m.structure.c_str(),
            m.energy, m.father, m.saddle_height, m.extra4, m.extra5, m.extra6, m.extra7,
            m.free_energy);
  }
  return fclose(f) == 0;
}

// Row i from one walk of the tree from i.
inline bool WriteTextRates(const Landscape& land, const char* path) {
  const Tree tree = MakeTree(land);
  std::vector<double> saddle;
  return generator::WriteTextRates(path, static_cast<int>(land.minima.size()),
                                   [&](int i, std::vector<double>& row) {
                                     SaddlesFrom(tree, i, saddle);
                                     for (size_t j = 0; j < row.size(); ++j)
                                       row[j] = Rate(land, i, saddle[j]);
                                   });
}

// int32 n, then n*n doubles with element j*n+i = rate i -> j. Row j is the
// rates into j, which one walk from j gives, since saddles are symmetric.
inline bool WriteBinaryRates(const Landscape& land, const char* path) {
  FILE* f = fopen(path, "wb");
  if (f == nullptr) return false;
  const Tree tree = MakeTree(land);
  const int32_t n = static_cast<int32_t>(land.minima.size());
  bool ok = fwrite(&n, sizeof n, 1, f) == 1;
  std::vector<double> saddle, row(n);
  for (int j = 0; j < n && ok; ++j) {
    SaddlesFrom(tree, j, saddle);
    for (int i = 0; i < n; ++i) row[i] = i == j ? 0.0 : Rate(land, i, saddle[i]);
    ok = fwrite(row.data(), sizeof(double), n, f) == static_cast<size_t>(n);
  }
  return fclose(f) == 0 && ok;
}

}  // namespace landscape

#endif  // ZOLVANE_BENCH_LANDSCAPE_H_

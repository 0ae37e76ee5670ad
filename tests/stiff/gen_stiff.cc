// gen_stiff: writes a small landscape of a chosen stiffness, as a qorp file at
// 37 degrees Celsius and the text rates file of the same process.
//   gen_stiff --kind funnel|cascade --states N --stiffness R [--seed S]
//             --qorp FILE --rates FILE
// R is the ratio of the largest to the smallest rate. The shape of a kind
// depends only on N and the seed; R only scales every energy and barrier, so
// the fixtures of one kind are the same landscape at growing stiffness.
//   funnel:  a deep native state (number 1) at the bottom of a branched
//            funnel, with side traps behind high walls; the last state is the
//            highest, the natural start of a folding run.
//   cascade: a chain N -> N-1 -> ... -> 1 going downhill with barriers that
//            grow towards the bottom, so every step is slower than the last.
//   flat:    minima spread evenly in energy under one common saddle: every
//            state leaves to all others at the same rate, and the rates of
//            the states differ by up to R.
//   deep:    a chain going steeply downhill over low walls: the downhill
//            rates stay between about 0.1 and 1, so the spectrum is mild,
//            while the equilibrium spans R (the uphill rates are tiny).
// The smallest rate then leaves the native state over the highest saddle, so
// R is also the ratio between the fastest and the slowest relaxation time,
// up to the landscape's combinatorial factors.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "bench/generator.h"

namespace {

using generator::Rng;

double Uniform(Rng& rng, double low, double high) { return low + (high - low) * rng.Uniform(); }

int Between(Rng& rng, int low, int high) { return low + rng.Below(high - low + 1); }  // inclusive

struct Minimum {
  int father = 0;  // 1-based, 0 for the root
  double energy = 0.0;
  double height = 0.0;  // join saddle = energy + height
};

// Raw shapes in arbitrary energy units; Scale() fixes the units.
std::vector<Minimum> Funnel(int n, Rng& rng) {
  std::vector<Minimum> m(n);
  double highest = 0.0;
  for (int k = 1; k < n; ++k) {
    const bool last = k == n - 1;
    const bool trap = !last && k % 4 == 3;
    Minimum& x = m[k];
    x.father = Between(rng, std::max(1, k - 2), k);  // a father among the last few
    const double ef = m[x.father - 1].energy;
    x.energy = trap ? std::max(ef - Uniform(rng, 0.2, 0.6), 0.3) : ef + Uniform(rng, 0.2, 0.8);
    if (last) x.energy = highest + 0.5;
    const double wall = trap ? Uniform(rng, 1.5, 2.5) : Uniform(rng, 0.05, 0.4);
    // The wall into the native state is the folding barrier: the highest one.
    x.height = std::max(ef - x.energy, 0.0) + (x.father == 1 ? 3.0 : wall);
    highest = std::max(highest, x.energy);
  }
  return m;
}

std::vector<Minimum> Cascade(int n) {
  std::vector<Minimum> m(n);
  for (int k = 1; k < n; ++k) {
    m[k].father = k;  // state k + 1 joins state k
    m[k].energy = k;
    m[k].height = 0.2 + 1.5 * (n - 1 - k);
  }
  return m;
}

std::vector<Minimum> Flat(int n) {
  std::vector<Minimum> m(n);
  for (int k = 1; k < n; ++k) {
    m[k].father = 1;
    m[k].energy = static_cast<double>(k) / (n - 1);
    m[k].height = 1.5 - m[k].energy;  // every saddle at 1.5
  }
  m[0].height = 1.5;
  return m;
}

// Energies only: the walls are set after scaling, in kcal/mol.
std::vector<Minimum> Deep(int n, Rng& rng) {
  std::vector<Minimum> m(n);
  for (int k = 1; k < n; ++k) {
    m[k].father = k;
    m[k].energy = m[k - 1].energy + Uniform(rng, 0.5, 1.5);
  }
  return m;
}

// Highest join saddle on the tree path between a and b (0-based): climb from
// the one with the larger number, since fathers have smaller numbers.
double Saddle(const std::vector<Minimum>& m, int a, int b) {
  double s = -HUGE_VAL;
  while (a != b) {
    int& up = a > b ? a : b;
    s = std::max(s, m[up].energy + m[up].height);
    up = m[up].father - 1;
  }
  return s;
}

// Smallest and largest barrier S - E_j over all ordered pairs.
void BarrierRange(const std::vector<Minimum>& m, double& low, double& high) {
  low = HUGE_VAL;
  high = -HUGE_VAL;
  const int n = static_cast<int>(m.size());
  for (int i = 0; i < n; ++i) {
    for (int j = 0; j < n; ++j) {
      if (i == j) continue;
      const double b = Saddle(m, i, j) - m[j].energy;
      low = std::min(low, b);
      high = std::max(high, b);
    }
  }
}

// Values are printed with 6 decimals and read back, so that the rates file
// holds exactly what a method-A run computes from the qorp file.
double Printed(double x) {
  char buf[64];
  snprintf(buf, sizeof buf, "%.6f", x);
  return strtod(buf, nullptr);
}

}  // namespace

int main(int argc, char** argv) {
  const generator::Tool tool{
      "gen_stiff",
      "usage: gen_stiff --kind funnel|cascade|flat|deep --states N --stiffness R "
      "[--seed S] --qorp FILE --rates FILE\n"};
  const char* kind = nullptr;
  const char* qorp = nullptr;
  const char* rates = nullptr;
  int n = 0;
  double stiffness = 0.0;
  uint64_t seed = 1;
  tool.ForEachOption(argc, argv, [&](std::string_view option, const char* value) {
    if (option == "--kind") {
      kind = value;
    } else if (option == "--states") {
      n = static_cast<int>(tool.Whole(option, value, 2, 4000));
    } else if (option == "--stiffness") {
      stiffness = tool.Above(option, value, 1.0);
    } else if (option == "--seed") {
      seed = tool.Whole(option, value, 0, UINT64_MAX);
    } else if (option == "--qorp") {
      qorp = value;
    } else if (option == "--rates") {
      rates = value;
    } else {
      return false;
    }
    return true;
  });
  if (kind == nullptr || n == 0 || stiffness == 0.0 || qorp == nullptr || rates == nullptr) {
    tool.Die("missing option");
  }
  Rng rng{seed};
  std::vector<Minimum> m;
  if (strcmp(kind, "funnel") == 0) {
    m = Funnel(n, rng);
  } else if (strcmp(kind, "cascade") == 0) {
    m = Cascade(n);
  } else if (strcmp(kind, "flat") == 0) {
    m = Flat(n);
  } else if (strcmp(kind, "deep") == 0) {
    m = Deep(n, rng);
  } else {
    tool.Die(std::string("unknown kind ") + kind);
  }

  // Rates exp(-(S - E_j)/kT) span exp((high - low)/kT): one common factor on
  // energies and heights sets that span to R, and a shift of all energies
  // puts the ground state at -10 kcal/mol.
  const double kT = (37.0 + 273.15) * 0.00198717;
  if (strcmp(kind, "deep") == 0) {
    // The equilibrium spans R: the energies rise by kT ln R from the native
    // state to the top, and every wall stands 0 to 1.5 kT above the minimum
    // it holds.
    const double scale = kT * std::log(stiffness) / m[n - 1].energy;
    for (int k = 0; k < n; ++k) {
      Minimum& x = m[k];
      x.energy = Printed(-10.0 + scale * x.energy);
      x.height = k == 0 ? 0.0 : Printed(kT * Uniform(rng, 0.0, 1.5));
    }
  } else {
    double low = 0.0, high = 0.0;
    BarrierRange(m, low, high);
    const double scale = kT * std::log(stiffness) / (high - low);
    for (Minimum& x : m) {
      x.energy = Printed(-10.0 + scale * x.energy);
      x.height = Printed(scale * x.height);
    }
  }

  FILE* f = fopen(qorp, "w");
  if (f == nullptr) tool.CannotWrite(qorp);
  Rng letters{seed + 17};
  std::string sequence;
  for (int i = 0; i < 20; ++i) sequence += "ACGU"[letters.Below(4)];
  fprintf(f, "%s\n", sequence.c_str());
  for (int k = 0; k < n; ++k) {
    // The structure column only has to look like one; the reader skips it.
    fprintf(f, "%4d %s %.6f %4d %.6f\n", k + 1, std::string(20, '.').c_str(), m[k].energy,
            m[k].father, m[k].height);
  }
  if (fclose(f) != 0) tool.CannotWrite(qorp);

  double largest = 0.0, smallest = HUGE_VAL;
  const bool written = generator::WriteTextRates(rates, n, [&](int i, std::vector<double>& row) {
    for (int j = 0; j < n; ++j) {
      if (j == i) continue;
      row[j] = std::exp(-(Saddle(m, i, j) - m[i].energy) / kT);
      largest = std::max(largest, row[j]);
      smallest = std::min(smallest, row[j]);
    }
  });
  if (!written) tool.CannotWrite(rates);
  printf("%s n=%d: rates from %.3g to %.3g, R = %.3g\n", kind, n, smallest, largest,
         largest / smallest);
  return 0;
}

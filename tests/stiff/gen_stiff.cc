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
// The smallest rate then leaves the native state over the highest saddle, so
// R is also the ratio between the fastest and the slowest relaxation time,
// up to the landscape's combinatorial factors.
#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr char kUsage[] =
    "usage: gen_stiff --kind funnel|cascade --states N --stiffness R [--seed S] --qorp FILE "
    "--rates FILE\n";

[[noreturn]] void Die(const char* message, const char* value) {
  fprintf(stderr, "gen_stiff: %s%s\n%s", message, value, kUsage);
  exit(1);
}

// splitmix64: fully specified, so a seed gives the same landscape everywhere.
struct Rng {
  uint64_t state;
  uint64_t Next() {
    uint64_t z = (state += 0x9e3779b97f4a7c15ULL);
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
    return z ^ (z >> 31);
  }
  double Uniform(double low, double high) {
    return low + (high - low) * static_cast<double>(Next() >> 11) * 0x1.0p-53;
  }
  int Between(int low, int high) {  // inclusive
    return low + static_cast<int>(Next() % static_cast<uint64_t>(high - low + 1));
  }
};

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
    x.father = rng.Between(std::max(1, k - 2), k);  // a father among the last few
    const double ef = m[x.father - 1].energy;
    x.energy = trap ? std::max(ef - rng.Uniform(0.2, 0.6), 0.3) : ef + rng.Uniform(0.2, 0.8);
    if (last) x.energy = highest + 0.5;
    const double wall = trap ? rng.Uniform(1.5, 2.5) : rng.Uniform(0.05, 0.4);
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
  const char* kind = nullptr;
  const char* qorp = nullptr;
  const char* rates = nullptr;
  int n = 0;
  double stiffness = 0.0;
  uint64_t seed = 1;
  for (int i = 1; i < argc; ++i) {
    const char* option = argv[i];
    if (i + 1 >= argc) Die("missing value for ", option);
    const char* value = argv[++i];
    char* end = nullptr;
    errno = 0;
    if (strcmp(option, "--kind") == 0) {
      kind = value;
    } else if (strcmp(option, "--states") == 0) {
      const long v = strtol(value, &end, 10);
      if (*end != '\0' || v < 2 || v > 1000) Die("bad value for --states: ", value);
      n = static_cast<int>(v);
    } else if (strcmp(option, "--stiffness") == 0) {
      stiffness = strtod(value, &end);
      if (*end != '\0' || !(stiffness > 1.0) || errno == ERANGE) {
        Die("bad value for --stiffness: ", value);
      }
    } else if (strcmp(option, "--seed") == 0) {
      seed = strtoull(value, &end, 10);
      if (*end != '\0' || errno == ERANGE) Die("bad value for --seed: ", value);
    } else if (strcmp(option, "--qorp") == 0) {
      qorp = value;
    } else if (strcmp(option, "--rates") == 0) {
      rates = value;
    } else {
      Die("unknown option ", option);
    }
  }
  if (kind == nullptr || n == 0 || stiffness == 0.0 || qorp == nullptr || rates == nullptr) {
    Die("missing option", "");
  }
  Rng rng{seed};
  std::vector<Minimum> m;
  if (strcmp(kind, "funnel") == 0) {
    m = Funnel(n, rng);
  } else if (strcmp(kind, "cascade") == 0) {
    m = Cascade(n);
  } else {
    Die("unknown kind ", kind);
  }

  // Rates exp(-(S - E_j)/kT) span exp((high - low)/kT): one common factor on
  // energies and heights sets that span to R, and a shift of all energies
  // puts the ground state at -10 kcal/mol.
  const double kT = (37.0 + 273.15) * 0.00198717;
  double low = 0.0, high = 0.0;
  BarrierRange(m, low, high);
  const double scale = kT * std::log(stiffness) / (high - low);
  for (Minimum& x : m) {
    x.energy = Printed(-10.0 + scale * x.energy);
    x.height = Printed(scale * x.height);
  }

  FILE* f = fopen(qorp, "w");
  if (f == nullptr) Die("cannot write ", qorp);
  Rng letters{seed + 17};
  std::string sequence;
  for (int i = 0; i < 20; ++i) sequence += "ACGU"[letters.Between(0, 3)];
  fprintf(f, "%s\n", sequence.c_str());
  for (int k = 0; k < n; ++k) {
    // The structure column only has to look like one; the reader skips it.
    fprintf(f, "%4d %s %.6f %4d %.6f\n", k + 1, std::string(20, '.').c_str(), m[k].energy,
            m[k].father, m[k].height);
  }
  if (fclose(f) != 0) Die("cannot write ", qorp);

  // Line i lists the rates i -> 1..n, the diagonal as 0; "%.17g" round-trips.
  f = fopen(rates, "w");
  if (f == nullptr) Die("cannot write ", rates);
  double largest = 0.0, smallest = HUGE_VAL;
  for (int i = 0; i < n; ++i) {
    for (int j = 0; j < n; ++j) {
      double rate = 0.0;
      if (i != j) {
        rate = std::exp(-(Saddle(m, i, j) - m[i].energy) / kT);
        largest = std::max(largest, rate);
        smallest = std::min(smallest, rate);
      }
      fprintf(f, j == 0 ? "%.17g" : " %.17g", rate);
    }
    fputc('\n', f);
  }
  if (fclose(f) != 0) Die("cannot write ", rates);
  printf("%s n=%d: rates from %.3g to %.3g, R = %.3g\n", kind, n, smallest, largest,
         largest / smallest);
  return 0;
}

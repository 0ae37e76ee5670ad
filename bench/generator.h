// What the landscape generators (bench/gen_landscape, tests/stiff/gen_stiff)
// share: a seeded random source that gives the same numbers everywhere, the
// "--option value" command line with its messages, and the text rates file.
#ifndef ZOLVANE_BENCH_GENERATOR_H_
#define ZOLVANE_BENCH_GENERATOR_H_

#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

namespace generator {

// splitmix64: tiny and fully specified, so a seed gives the same landscape on
// every platform (the standard distributions do not promise that).
struct Rng {
  uint64_t state;
  uint64_t Next() {
    uint64_t z = (state += 0x9e3779b97f4a7c15ULL);
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
    return z ^ (z >> 31);
  }
  double Uniform() { return static_cast<double>(Next() >> 11) * 0x1.0p-53; }  // [0, 1)
  int Below(int n) { return static_cast<int>(Next() % static_cast<uint64_t>(n)); }
};

// A generator's name and usage text, for its messages.
struct Tool {
  const char* name;
  const char* usage;

  // "NAME: message", then the usage text, on standard error; status 1.
  [[noreturn]] void Die(const std::string& message) const {
    fprintf(stderr, "%s: %s\n%s", name, message.c_str(), usage);
    exit(1);
  }

  [[noreturn]] void CannotWrite(const char* path) const {
    Die(std::string("cannot write ") + path);
  }

  // Calls take(option, value) on every "--option value" pair in order; take
  // returns false on an option it does not know.
  template <class Take>
  void ForEachOption(int argc, char** argv, Take take) const {
    for (int i = 1; i < argc; i += 2) {
      if (i + 1 >= argc) Die(std::string("missing value for ") + argv[i]);
      if (!take(std::string_view(argv[i]), argv[i + 1])) {
        Die(std::string("unknown option ") + argv[i]);
      }
    }
  }

  // `text`, the value of `option`, as a whole number in [low, high].
  uint64_t Whole(std::string_view option, const char* text, uint64_t low, uint64_t high) const {
    char* end = nullptr;
    errno = 0;
    const unsigned long long value = strtoull(text, &end, 10);
    // strtoull takes "-1" as the largest number: no sign is a number here.
    if (end == text || *end != '\0' || errno == ERANGE || strchr(text, '-') != nullptr ||
        value < low || value > high) {
      BadValue(option, text);
    }
    return value;
  }

  // `text`, the value of `option`, as a finite number above `low`.
  double Above(std::string_view option, const char* text, double low) const {
    char* end = nullptr;
    errno = 0;
    const double value = strtod(text, &end);
    if (end == text || *end != '\0' || errno == ERANGE || !std::isfinite(value) || !(value > low)) {
      BadValue(option, text);
    }
    return value;
  }

  [[noreturn]] void BadValue(std::string_view option, const char* text) const {
    Die("bad value for " + std::string(option) + ": " + text);
  }
};

// The text rates file of n states: line i lists the rates i -> 1..n with the
// diagonal as 0, in "%.17g", which reads back as the same doubles.
// fill_row(i, row) sets row[j] to the rate i -> j for every j != i (0-based).
template <class FillRow>
bool WriteTextRates(const char* path, int n, FillRow fill_row) {
  FILE* f = fopen(path, "w");
  if (f == nullptr) return false;
  std::vector<double> row(n);
  for (int i = 0; i < n; ++i) {
    fill_row(i, row);
    for (int j = 0; j < n; ++j) fprintf(f, j == 0 ? "%.17g" : " %.17g", j == i ? 0.0 : row[j]);
    fputc('\n', f);
  }
  return fclose(f) == 0;
}

}  // namespace generator

#endif  // ZOLVANE_BENCH_GENERATOR_H_

// gen_landscape: writes a synthetic landscape of any size from a seed, as a
// qorp file, a text rates file and/or a binary rates file.
//   gen_landscape --states N [--seed S] [--length L] [--qorp F] [--rates F] [--bin F]
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "landscape.h"

namespace {

constexpr char kUsage[] =
    "usage: gen_landscape --states N [--seed S] [--length L] [--qorp FILE] [--rates FILE] "
    "[--bin FILE]\n";

[[noreturn]] void Die(const char* message, const char* value) {
  fprintf(stderr, "gen_landscape: %s%s\n%s", message, value, kUsage);
  exit(1);
}

long long ParseInteger(const char* option, const char* text, long long low, long long high) {
  char* end = nullptr;
  errno = 0;
  const long long value = strtoll(text, &end, 10);
  if (end == text || *end != '\0' || errno == ERANGE || value < low || value > high) {
    fprintf(stderr, "gen_landscape: bad value for %s: %s\n", option, text);
    exit(1);
  }
  return value;
}

}  // namespace

int main(int argc, char** argv) {
  long long states = 0, seed = 1, length = 60;
  const char* qorp = nullptr;
  const char* rates = nullptr;
  const char* bin = nullptr;
  for (int i = 1; i < argc; ++i) {
    const char* option = argv[i];
    if (i + 1 >= argc) Die("missing value for ", option);
    const char* value = argv[++i];
    if (strcmp(option, "--states") == 0) {
      states = ParseInteger(option, value, 1, 100000000);
    } else if (strcmp(option, "--seed") == 0) {
      seed = ParseInteger(option, value, 0, INT64_MAX);
    } else if (strcmp(option, "--length") == 0) {
      length = ParseInteger(option, value, 1, 100000);
    } else if (strcmp(option, "--qorp") == 0) {
      qorp = value;
    } else if (strcmp(option, "--rates") == 0) {
      rates = value;
    } else if (strcmp(option, "--bin") == 0) {
      bin = value;
    } else {
      Die("unknown option ", option);
    }
  }
  if (states == 0) Die("--states is required", "");
  if (bin != nullptr && states * states > 0xffffffffLL) {
    Die("too many states for a binary rates file (n*n must fit 32 bits)", "");
  }

  const landscape::Landscape land = landscape::MakeLandscape(
      static_cast<int>(states), static_cast<uint64_t>(seed), static_cast<int>(length));
  if (qorp != nullptr && !landscape::WriteQorp(land, qorp)) Die("cannot write ", qorp);
  if (rates != nullptr && !landscape::WriteTextRates(land, rates)) Die("cannot write ", rates);
  if (bin != nullptr && !landscape::WriteBinaryRates(land, bin)) Die("cannot write ", bin);
  return 0;
}

#include "tests/stiff/stiff_fixture.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <sstream>

#include "tests/test_util.h"

namespace stiff {

std::vector<Fixture> AllFixtures() {
  std::vector<Fixture> all;
  for (const char* kind : {"funnel", "cascade", "funnel30"}) {
    for (int exponent : {6, 12, 18, 24, 30, 36}) {
      if (kind == std::string("funnel30") && exponent < 30) continue;
      for (bool qorp : {true, false}) all.push_back({kind, exponent, qorp});
    }
  }
  return all;
}

std::vector<Fixture> EveryFamily() {
  // The rna fixtures' exponents come from their references: built once per
  // test binary, like every reference (Reference() keeps them).
  static const std::vector<Fixture> every = [] {
    std::vector<Fixture> all = AllFixtures();
    for (int exponent : {12, 24, 36}) {
      for (bool qorp : {true, false}) all.push_back({"flat", exponent, qorp});
    }
    for (int exponent : {24, 30}) {
      for (bool qorp : {true, false}) all.push_back({"deep", exponent, qorp});
    }
    for (double temp : {37.0, 0.0, -50.0}) {
      Fixture f{"rna", 0, true};
      f.temp = temp;
      f.exponent = static_cast<int>(std::ceil(std::log10(Reference(f).StiffnessRatio())));
      all.push_back(f);
    }
    return all;
  }();
  return every;
}

std::vector<Fixture> InThisBuild(const std::vector<Fixture>& fixtures) {
#if defined(ZOLVANE_LONG_TABLES)
  return fixtures;
#else
  std::vector<Fixture> sample;
  for (const Fixture& f : fixtures) {
    const std::string kind = f.kind;
    if ((kind == "cascade" && (f.exponent == 6 || f.exponent == 36)) ||
        (kind == "rna" && f.temp == 37.0)) {
      sample.push_back(f);
    }
  }
  return sample;
#endif
}

std::string Name(const Fixture& f) {
  return std::string(f.kind) + "_1e" + std::to_string(f.exponent) + (f.qorp ? "_qorp" : "_rates") +
         (f.absorb != 0 ? "_absorb" + std::to_string(f.absorb) : "") +
         (f.from_native ? "_from_native" : "") +
         (f.temp != 37.0 ? "_at_" + std::to_string(static_cast<int>(f.temp)) + "C" : "");
}

std::string Path(const Fixture& f) {
  if (std::string(f.kind) == "rna") return SourcePath("examples/landscape.qorp");
  return SourcePath("tests/stiff/fixtures/" + std::string(f.kind) + "_1e" +
                    std::to_string(f.exponent) + (f.qorp ? ".qorp" : ".rates"));
}

namespace {

// The references this test binary has built, by file, temperature and
// absorbing state. A reference decomposes its generator on first use, in
// multiple precision: the costly part, which the tests comparing against the
// same fixture then share.
const reference::Kinetics& Kept(const Fixture& f, int absorb) {
  static std::map<std::string, reference::Kinetics> kept;
  const std::string key = Path(f) + " " + std::to_string(f.temp) + " " + std::to_string(absorb);
  auto it = kept.find(key);
  if (it != kept.end()) return it->second;
  if (absorb != 0) {
    // Method A's rate into the absorbing state is exp(-E/kT) / exp(-E/kT).
    return kept.emplace(key, Kept(f, 0).WithAbsorbingState(absorb - 1, 1.0)).first->second;
  }
  return kept
      .emplace(key, f.qorp ? reference::Kinetics::FromQorp(Path(f), f.temp)
                           : reference::Kinetics::FromRates(Path(f)))
      .first->second;
}

const reference::Kinetics& Landscape(const Fixture& f) { return Kept(f, 0); }

std::vector<std::string> InputArgs(const Fixture& f) {
  std::vector<std::string> args;
  if (f.qorp) {
    args = {"-m", "A", "--qorp", Path(f)};
    if (f.temp != 37.0) {
      args.push_back("--Temp");
      args.push_back(std::to_string(f.temp));
    }
  } else {
    args = {"--ratesfile", Path(f)};
  }
  if (f.absorb != 0) {
    args.push_back("--absorb");
    args.push_back(std::to_string(f.absorb));
  }
  return args;
}

}  // namespace

const reference::Kinetics& Reference(const Fixture& f) { return Kept(f, f.absorb); }

std::vector<double> StartPopulation(const Fixture& f, const reference::Kinetics& ref) {
  std::vector<double> p0(ref.states(), 0.0);
  p0[f.from_native ? 0 : ref.states() - 1 - (f.absorb != 0 ? 1 : 0)] = 1.0;
  return p0;
}

std::vector<std::string> PopulationArgs(const Fixture& f, const reference::Kinetics& ref) {
  const int minima = ref.states() - (f.absorb != 0 ? 1 : 0);
  // The slowest relaxation is near the smallest rate, 1e-R relative to the
  // fastest (about 1): a stop time of 1e4 R is well past equilibrium, and a
  // factor 4 per step gives about two lines per decade.
  std::vector<std::string> args = InputArgs(f);
  const int start = f.from_native ? 1 : minima;
  const std::vector<std::string> axis = {"--p0",   std::to_string(start) + "=1",
                                         "--t8",   "1e" + std::to_string(f.exponent + 4),
                                         "--tinc", "4"};
  args.insert(args.end(), axis.begin(), axis.end());
  return args;
}

bool ParseTable(const std::string& out, int states, Table& table, std::string& error) {
  table = Table();
  std::istringstream in(out);
  int iterations = -1;
  for (std::string line; std::getline(in, line);) {
    if (line.rfind('#', 0) == 0) {
      if (line.rfind("# of iterations: ", 0) == 0) iterations = atoi(line.c_str() + 17);
      continue;
    }
    std::istringstream fields(line);
    std::vector<double> v;
    for (double x; fields >> x;) v.push_back(x);
    if (static_cast<int>(v.size()) != states + 1 || !fields.eof()) {
      error = "not a table line: " + line;
      return false;
    }
    table.times.push_back(v[0]);
    table.populations.emplace_back(v.begin() + 1, v.end());
  }
  const int lines = static_cast<int>(table.times.size());
  if (iterations < 1 || lines < iterations || lines > iterations + 1) {
    error = "table of " + std::to_string(lines) + " lines for " + std::to_string(iterations) +
            " iterations";
    return false;
  }
  table.last_repeated = lines == iterations + 1;
  return true;
}

namespace {

// Half a unit of the last digit "%e" prints of x (7 significant digits).
double HalfUnitOfPrinted(double x) {
  if (x == 0.0 || !std::isfinite(x)) return 0.0;
  return 5e-7 * std::pow(10.0, std::floor(std::log10(std::fabs(x))));
}

double WorstPopulationError(const Table& table, const reference::Kinetics& ref,
                            const std::vector<double>& p0, bool beyond_print, std::string& where) {
  // The repeated line at the stop time carries the populations of the line
  // before it; compare it at that line's time.
  std::vector<double> times = table.times;
  if (table.last_repeated && times.size() >= 2) times.back() = times[times.size() - 2];
  const std::vector<std::vector<double>> want = ref.Populations(p0, times);
  double worst = 0.0;
  where = "nowhere";
  for (size_t line = 0; line < times.size(); ++line) {
    for (size_t k = 0; k < want[line].size(); ++k) {
      const double printed = table.populations[line][k];
      double err = std::fabs(printed - std::fabs(want[line][k]));
      if (beyond_print) err = std::fmax(0.0, err - HalfUnitOfPrinted(printed));
      if (!(err <= worst)) {  // NaN counts as the worst
        worst = err;
        char buf[160];
        snprintf(buf, sizeof buf, "line %zu (t = %.6g), state %zu: printed %.7g, reference %.7g",
                 line + 1, table.times[line], k + 1, printed, want[line][k]);
        where = buf;
        if (std::isnan(err)) return err;
      }
    }
  }
  return worst;
}

}  // namespace

double MaxPopulationError(const Table& table, const reference::Kinetics& ref,
                          const std::vector<double>& p0, std::string& where) {
  return WorstPopulationError(table, ref, p0, false, where);
}

double MaxPopulationErrorBeyondPrint(const Table& table, const reference::Kinetics& ref,
                                     const std::vector<double>& p0, std::string& where) {
  return WorstPopulationError(table, ref, p0, true, where);
}

std::vector<Printed> PrintedNumbers(const std::string& text) {
  std::vector<Printed> numbers;
  std::istringstream in(text);
  for (std::string token; in >> token;) {
    char* end = nullptr;
    const double value = strtod(token.c_str(), &end);
    if (end == token.c_str()) continue;
    // The last digit sits at 10^(exponent - decimals).
    const size_t dot = token.find('.');
    const size_t e = token.find_first_of("eE");
    const std::string mantissa = token.substr(0, e);
    const int decimals = dot == std::string::npos ? 0 : static_cast<int>(mantissa.size() - dot - 1);
    const int exponent = e == std::string::npos ? 0 : atoi(token.c_str() + e + 1);
    numbers.push_back({value, 0.5 * std::pow(10.0, exponent - decimals)});
  }
  return numbers;
}

std::vector<std::string> FirstPassageArgs(const Fixture& f, const std::string& which) {
  std::vector<std::string> args = InputArgs(f);
  const std::vector<std::string> fpt = {"--fpt", which, "--fptfile", "fpt.txt", "--t8", "1"};
  args.insert(args.end(), fpt.begin(), fpt.end());
  return args;
}

std::vector<double> ReferenceTimes(const Fixture& f, const std::string& which) {
  // Absorption needs the absorbed minimum to be reached first, so the
  // absorbing times are the times to that minimum in the landscape itself.
  const reference::Kinetics& landscape = Landscape(f);
  if (f.absorb != 0) return landscape.FirstPassageTo(f.absorb - 1);
  if (which != "all") return landscape.FirstPassageTo(std::stoi(which) - 1);
  std::vector<double> all;
  for (const std::vector<double>& row : landscape.FirstPassageAll()) {
    all.insert(all.end(), row.begin(), row.end());
  }
  return all;
}

double MaxRelativeError(const std::vector<Printed>& printed, const std::vector<double>& want,
                        std::string& where) {
  if (printed.size() != want.size()) {
    where = std::to_string(printed.size()) + " numbers printed for " + std::to_string(want.size()) +
            " expected";
    return HUGE_VAL;
  }
  double worst = 0.0;
  where = "nowhere";
  for (size_t k = 0; k < want.size(); ++k) {
    const double excess = std::fabs(printed[k].value - want[k]) - printed[k].half_unit;
    const double err = excess <= 0.0 ? 0.0 : excess / std::fabs(want[k]);
    if (!(err <= worst)) {  // NaN counts as the worst
      worst = err;
      char buf[160];
      snprintf(buf, sizeof buf, "number %zu: printed %.9g, reference %.9g", k + 1, printed[k].value,
               want[k]);
      where = buf;
      if (std::isnan(err)) return err;
    }
  }
  return worst;
}

void ExpectReferenceTable(int status, const std::string& out, const std::string& err,
                          const Fixture& f, const reference::Kinetics& ref, double slack) {
  ASSERT_EQ(0, status) << err;
  EXPECT_EQ(err.find("WARNING"), std::string::npos) << err;
  Table table;
  std::string error, where;
  ASSERT_TRUE(ParseTable(out, ref.states(), table, error)) << error;
  EXPECT_LE(MaxPopulationErrorBeyondPrint(table, ref, StartPopulation(f, ref), where), slack)
      << where;
}

}  // namespace stiff

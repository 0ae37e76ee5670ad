// Iteration by matrix exponential: the table against an independent
// exp(U t) p0 (Taylor series with many squarings), the geometric time axis
// and its ends, convergence, and the probability checks.
#include "calc/table/iterate_exponent.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include "calc/model/calc.h"
#include "tests/test_util.h"

namespace {

// Three states in a chain 1 - 2 - 3; rates j -> i scaled by `speed`.
// Equilibrium (0.25, 0.5, 0.25).
std::vector<double> ChainU(double speed, bool plus_i) {
  const double k01 = 1.0 * speed, k10 = 0.5 * speed, k12 = 0.2 * speed, k21 = 0.4 * speed;
  const double s = plus_i ? 1.0 : 0.0;
  return {s - k01, k10,           0.0,  //
          k01,     s - k10 - k12, k21,  //
          0.0,     k12,           s - k21};
}
const std::vector<double> kChainP8 = {0.25, 0.5, 0.25};

// exp(a) for a small matrix: Taylor series of a / 2^s, then s squarings.
std::vector<double> NaiveExp(std::vector<double> a, int n) {
  double norm = 0.0;
  for (double x : a) norm = std::max(norm, std::fabs(x));
  int s = 0;
  while (norm > 0.05) {
    norm /= 2;
    ++s;
  }
  for (double& x : a) x = std::ldexp(x, -s);
  auto mul = [n](const std::vector<double>& x, const std::vector<double>& y) {
    std::vector<double> z(n * n, 0.0);
    for (int i = 0; i < n; ++i)
      for (int k = 0; k < n; ++k)
        for (int j = 0; j < n; ++j) z[i * n + j] += x[i * n + k] * y[k * n + j];
    return z;
  };
  std::vector<double> result(n * n, 0.0), term(n * n, 0.0);
  for (int i = 0; i < n; ++i) result[i * n + i] = term[i * n + i] = 1.0;
  for (int k = 1; k <= 20; ++k) {
    term = mul(term, a);
    for (double& x : term) x /= k;
    for (int i = 0; i < n * n; ++i) result[i] += term[i];
  }
  for (int i = 0; i < s; ++i) result = mul(result, result);
  return result;
}

std::vector<double> Evolve(const std::vector<double>& u, const std::vector<double>& p0, double t) {
  const int n = static_cast<int>(p0.size());
  std::vector<double> ut(u);
  for (double& x : ut) x *= t;
  const std::vector<double> e = NaiveExp(ut, n);
  std::vector<double> p(n, 0.0);
  for (int i = 0; i < n; ++i)
    for (int j = 0; j < n; ++j) p[i] += e[i * n + j] * p0[j];
  return p;
}

struct Table {
  int status = 0;       // the exit status of what the stage returned
  std::string message;  // and its message
  std::string out, err;
  std::vector<std::string> times;         // time field of every table line
  std::vector<std::vector<double>> rows;  // populations of every table line
  std::vector<std::string> lines;         // all of stdout, "# Date:" dropped
};

Table RunExponent(RunOptions& opts, const std::vector<double>& u, const std::vector<double>& p0,
                  const std::vector<double>& p8) {
  Calc calc(static_cast<int>(p0.size()), opts);
  std::vector<double> scratch(u);
  Table t;
  testing::internal::CaptureStdout();
  testing::internal::CaptureStderr();
  const Status status = MxIterateExponent(calc, p0, p8, scratch);
  t.status = status.exit_status;
  t.message = status.message;
  t.out = testing::internal::GetCapturedStdout();
  t.err = testing::internal::GetCapturedStderr();
  std::istringstream in(t.out);
  for (std::string line; std::getline(in, line);) {
    if (line.rfind("# Date:", 0) == 0) continue;
    t.lines.push_back(line);
    if (line.empty() || line[0] == '#') continue;
    std::istringstream fields(line);
    std::string time;
    fields >> time;
    std::vector<double> row;
    for (double x; fields >> x;) row.push_back(x);
    t.times.push_back(time);
    t.rows.push_back(row);
  }
  return t;
}

std::string FormatE(double t) {
  char buf[64];
  snprintf(buf, sizeof buf, "%e", t);
  return buf;
}

// Every printed line matches exp(U t) p0 at t0 * f^k, and the table ends
// either past f * t8 or where the populations are within 1e-4 of p8.
TEST(IterateExponentTest, TableMatchesIndependentExponential) {
  const std::vector<double> p0 = {1.0, 0.0, 0.0};
  const std::vector<double> u = ChainU(1.0, false);
  Table plain;
  for (bool plus_i : {false, true}) {
    SCOPED_TRACE(plus_i ? "useplusI" : "plain");
    RunOptions opts;
    opts.t0 = 0.01;
    opts.t8 = 1e6;
    opts.tinc = 1.3;
    opts.useplusI = plus_i;
    const Table t = RunExponent(opts, ChainU(1.0, plus_i), p0, kChainP8);
    ASSERT_EQ(t.status, 0);
    ASSERT_FALSE(t.rows.empty());
    double tau = opts.t0;
    for (size_t k = 0; k < t.rows.size(); ++k, tau *= opts.tinc) {
      SCOPED_TRACE(t.times[k]);
      EXPECT_EQ(t.times[k], FormatE(tau));
      ExpectArrayNear(Evolve(u, p0, tau), t.rows[k], 1e-5);
    }
    // Stopped by convergence, well before t8.
    const std::vector<double> next = Evolve(u, p0, tau);
    for (int i = 0; i < 3; ++i) EXPECT_LT(std::fabs(next[i] - kChainP8[i]), 1e-4 + 1e-6);
    EXPECT_EQ(t.lines.back(), "# of iterations: " + std::to_string(t.rows.size()));

    // --useplusI gives the same table (up to the last printed digit).
    if (!plus_i) {
      plain = t;
      continue;
    }
    EXPECT_EQ(t.times, plain.times);
    ASSERT_EQ(t.rows.size(), plain.rows.size());
    for (size_t k = 0; k < t.rows.size(); ++k) ExpectArrayNear(plain.rows[k], t.rows[k], 2e-6);
  }
}

TEST(IterateExponentTest, TimeAxisEnds) {
  struct Case {
    const char* name;
    double t0, t8, tinc;
    std::vector<std::string> times;
  };
  const Case cases[] = {
      {"t8 between two points",
       1,
       5,
       2,
       {"1.000000e+00", "2.000000e+00", "4.000000e+00", "5.000000e+00"}},
      {"t0 at or beyond f*t8", 10, 5, 2, {}},
      {"t0 between t8 and f*t8", 7, 5, 2, {"5.000000e+00"}},
      {"tinc 1", 1, 5, 1, {"1.000000e+00"}},
      {"tinc below 1", 1, 5, 0.5, {"1.000000e+00"}},
  };
  // Slow rates: nothing converges on these axes.
  const std::vector<double> u = ChainU(1e-4, false);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    RunOptions opts;
    opts.t0 = c.t0;
    opts.t8 = c.t8;
    opts.tinc = c.tinc;
    const Table t = RunExponent(opts, u, {1, 0, 0}, kChainP8);
    EXPECT_EQ(t.status, 0);
    EXPECT_EQ(t.times, c.times);
    EXPECT_EQ(t.lines.back(), "# of iterations: " + std::to_string(c.times.size()));
    EXPECT_EQ(t.err, "");
  }
}

// The time-0 line comes before the header, in its own format, and the axis
// then starts at 1e-4.
TEST(IterateExponentTest, ZeroStartTimePrintsInitialLineFirst) {
  RunOptions opts;
  opts.t0 = 0.0;
  opts.t8 = 2e-4;
  opts.tinc = 2;
  const Table t = RunExponent(opts, ChainU(1.0, false), {0.5, 0.5, 0}, kChainP8);
  EXPECT_EQ(t.out.rfind("0.00000000000000000000e+00 5.000000e-01 5.000000e-01 0.000000e+00 \n"
                        "# Date: ",
                        0),
            0u)
      << t.out;
  EXPECT_EQ(opts.t0, 0.0);        // the options stay as given
  ASSERT_EQ(t.times.size(), 3u);  // the time-0 line and two points
  EXPECT_EQ(t.times[1], "1.000000e-04");
  EXPECT_EQ(t.times[2], "2.000000e-04");
  EXPECT_EQ(t.lines.back(), "# of iterations: 2");
}

TEST(IterateExponentTest, AlreadyAtEquilibriumPrintsNoLine) {
  RunOptions opts;
  const Table t = RunExponent(opts, ChainU(1.0, false), kChainP8, kChainP8);
  EXPECT_TRUE(t.times.empty());
  EXPECT_EQ(t.lines.back(), "# of iterations: 0");
}

// Populations summing to 1.1: the message in every mode, values never divided,
// and only mode H stops (returning 1, without the closing line).
TEST(IterateExponentTest, ProbabilityErrorByMode) {
  struct Case {
    char mode;
    const char* word;
    int status;
  };
  const Case cases[] = {{'H', "exiting", 1}, {'I', "exiting", 0}, {'R', "rescaling", 0}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.mode);
    RunOptions opts;
    opts.num_err = c.mode;
    opts.t0 = 1;
    opts.t8 = 2;
    opts.tinc = 2;
    const Table t = RunExponent(opts, ChainU(1e-4, false), {0.55, 0.55, 0}, kChainP8);
    EXPECT_EQ(t.status, c.status);
    EXPECT_EQ(t.message, "");  // printed above, as the run goes on in the other modes
    EXPECT_EQ(t.err.rfind(std::string("overall probability at time 1.000000e+00 is "
                                      "1.100000e+00 != 1.0 ") +
                              c.word + "!\n",
                          0),
              0u)
        << t.err;
    ASSERT_FALSE(t.rows.empty());
    double sum = 0.0;
    for (double x : t.rows[0]) sum += x;
    EXPECT_NEAR(sum, 1.1, 1e-5);
    EXPECT_EQ(t.lines.back().rfind("# of iterations", 0) == 0, c.status == 0);
  }
}

// Populations that are not a number stop the run in every mode, and their
// line never reaches standard output; a negative population stops it in
// every mode too.
TEST(IterateExponentTest, BadPopulationsStopBeforeTheirLine) {
  struct Case {
    const char* name;
    std::vector<double> p0;
    std::string message;
  };
  const Case cases[] = {
      {"not a number",
       {NAN, 0.5, 0.5},
       "overall probability at time 1.000000e+00 is nan != 1.0 exiting!\n"},
      {"negative", {1.5, -0.5, 0}, "prob of lmin 2 has become negative!\n"},
  };
  for (const Case& c : cases) {
    for (char mode : {'H', 'I', 'R'}) {
      SCOPED_TRACE(std::string(c.name) + " in mode " + mode);
      RunOptions opts;
      opts.t0 = 1;
      opts.t8 = 2;
      opts.tinc = 2;
      opts.num_err = mode;
      const Table t = RunExponent(opts, ChainU(1e-4, false), c.p0, kChainP8);
      EXPECT_EQ(kExitError, t.status);
      EXPECT_EQ(c.message, t.message);
      EXPECT_TRUE(t.rows.empty()) << t.out;
      EXPECT_EQ("", t.err);
    }
  }
}

}  // namespace

// The multiple-precision reference itself: closed forms for two states, the
// saddle of a tree path, agreement of its two independent population methods
// on the stiffest fixtures, an identity of first passage times, and the
// fixtures being what their names say.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "tests/reference/reference_kinetics.h"
#include "tests/stiff/stiff_fixture.h"
#include "tests/test_util.h"

namespace {

using reference::Kinetics;

TEST(Reference, TwoStatesFollowTheClosedForm) {
  ScopedTempDir dir;
  // Rate 1 -> 2 is a, rate 2 -> 1 is b (file line i: rates i -> j).
  const double a = 3e-20, b = 2.0;
  WriteFile("two.rates", "0 3e-20\n2 0\n");
  const Kinetics k = Kinetics::FromRates("two.rates");
  EXPECT_EQ(2, k.states());
  EXPECT_NEAR(b / a, k.StiffnessRatio(), 1e-10 * b / a);
  const std::vector<double> times = {0.0, 0.1, 1.0, 1e10, 1e19, 1e21};
  const std::vector<std::vector<double>> p = k.Populations({0.0, 1.0}, times);
  for (size_t i = 0; i < times.size(); ++i) {
    // From state 2: p1(t) = b/(a+b) (1 - exp(-(a+b) t)).
    const double p1 = b / (a + b) * -std::expm1(-(a + b) * times[i]);
    EXPECT_NEAR(p1, p[i][0], 1e-15) << "t = " << times[i];
    EXPECT_NEAR(1.0 - p1, p[i][1], 1e-15) << "t = " << times[i];
  }
  EXPECT_NEAR(b / (a + b), k.Equilibrium()[0], 1e-16);
  const std::vector<double> to1 = k.FirstPassageTo(0), to2 = k.FirstPassageTo(1);
  EXPECT_EQ(0.0, to1[0]);
  EXPECT_NEAR(1.0 / b, to1[1], 1e-15 / b);
  EXPECT_NEAR(1.0 / a, to2[0], 1e-15 / a);
  EXPECT_EQ(0.0, to2[1]);
}

// Minimum 3 hangs below minimum 2, which joins minimum 1: the rate from 3 to
// 1 crosses the higher of the two join saddles, and the Boltzmann weights
// follow the energies.
TEST(Reference, QorpRatesCrossTheHighestSaddleOfTheTreePath) {
  ScopedTempDir dir;
  WriteFile("three.qorp",
            "GGGAAACCC\n"
            "   1 (((...))) -10.0    0 0.0\n"
            "   2 ((.....)) -8.0    1 5.0\n"
            "   3 ......... -7.0    2 1.5\n");
  const double kT = (25.0 + 273.15) * 0.00198717;
  const Kinetics k = Kinetics::FromQorp("three.qorp", 25.0);
  // Saddles: 1-2 at -3.0, 2-3 at -5.5, 1-3 at max(-3.0, -5.5) = -3.0.
  // Slowest rate 1 -> 2 or 1 -> 3 over -3.0 from -10: exp(-7/kT); fastest 3 -> 2.
  EXPECT_NEAR(std::exp(-1.5 / kT) / std::exp(-7.0 / kT), k.StiffnessRatio(),
              1e-9 * k.StiffnessRatio());
  const double w2 = std::exp(-2.0 / kT), w3 = std::exp(-3.0 / kT), z = 1 + w2 + w3;
  const std::vector<double> p8 = k.Equilibrium();
  EXPECT_NEAR(1 / z, p8[0], 1e-15);
  EXPECT_NEAR(w2 / z, p8[1], 1e-15);
  EXPECT_NEAR(w3 / z, p8[2], 1e-15);
  // Times to minimum 1 from the backward equations solved by hand; r23 is
  // the rate from 2 to 3.
  const double r21 = std::exp(-5.0 / kT), r23 = std::exp(-2.5 / kT);
  const double r31 = std::exp(-4.0 / kT), r32 = std::exp(-1.5 / kT);
  // x2 (r21 + r23) - r23 x3 = 1; x3 (r31 + r32) - r32 x2 = 1.
  const double det = (r21 + r23) * (r31 + r32) - r23 * r32;
  const double x2 = ((r31 + r32) + r23) / det, x3 = ((r21 + r23) + r32) / det;
  const std::vector<double> to1 = k.FirstPassageTo(0);
  EXPECT_NEAR(x2, to1[1], 1e-14 * x2);
  EXPECT_NEAR(x3, to1[2], 1e-14 * x3);
}

// Jacobi at about 516 bits against scaling and squaring at about 260 bits on
// the stiffest fixtures, from the first steps to long past equilibrium
// (where a false slow leak of probability would show).
TEST(Reference, EigenAndExponentialAgreeOnTheStiffestFixtures) {
  for (const stiff::Fixture f :
       {stiff::Fixture{"funnel", 36, true}, stiff::Fixture{"funnel", 36, false},
        stiff::Fixture{"cascade", 36, true}, stiff::Fixture{"cascade", 36, false}}) {
    SCOPED_TRACE(stiff::Name(f));
    const Kinetics& k = stiff::Reference(f);
    const std::vector<double> p0 = stiff::StartPopulation(f, k);
    const std::vector<double> times = {0.5, 1e9, 1e20, 1e29, 1e42};
    const std::vector<std::vector<double>> eigen = k.Populations(p0, times);
    for (size_t i = 0; i < times.size(); ++i) {
      const std::vector<double> expm = k.PopulationsByExponential(p0, times[i]);
      ExpectArrayNear(expm, eigen[i], 1e-13);
    }
  }
}

// The same with an absorbing state behind the native minimum, whose
// generator is no longer symmetrisable as a whole.
TEST(Reference, EigenAndExponentialAgreeWithAnAbsorbingState) {
  const stiff::Fixture f{"funnel", 36, true, 1};
  const Kinetics& k = stiff::Reference(f);
  const std::vector<double> p0 = stiff::StartPopulation(f, k);
  const std::vector<double> times = {0.5, 1e9, 1e20, 1e29};
  const std::vector<std::vector<double>> eigen = k.Populations(p0, times);
  for (size_t i = 0; i < times.size(); ++i) {
    const std::vector<double> expm = k.PopulationsByExponential(p0, times[i]);
    ExpectArrayNear(expm, eigen[i], 1e-13);
  }
  EXPECT_NEAR(1.0, k.Populations(p0, {1e40})[0].back(), 1e-13);
}

// Whatever the start, the mean time to reach a state drawn from equilibrium
// is the same (Kemeny's constant): sum_j p8[j] T(i, j) does not depend on i.
TEST(Reference, FirstPassageTimesKeepKemenysConstant) {
  for (const stiff::Fixture f :
       {stiff::Fixture{"funnel", 36, true}, stiff::Fixture{"cascade", 30, false}}) {
    SCOPED_TRACE(stiff::Name(f));
    const Kinetics& k = stiff::Reference(f);
    const std::vector<std::vector<double>> t = k.FirstPassageAll();
    const std::vector<double> p8 = k.Equilibrium();
    std::vector<double> kemeny;
    for (int i = 0; i < k.states(); ++i) {
      double sum = 0.0;
      for (int j = 0; j < k.states(); ++j) sum += p8[j] * t[i][j];
      kemeny.push_back(sum);
    }
    for (double x : kemeny) EXPECT_NEAR(kemeny[0], x, 1e-12 * kemeny[0]);
  }
}

// Every fixture has the stiffness its name says, and its qorp and rates files
// describe the same process.
TEST(Reference, FixturesHaveTheirStiffnessAndBothFilesAgree) {
  for (const stiff::Fixture& f : stiff::AllFixtures()) {
    if (!f.qorp) continue;
    SCOPED_TRACE(stiff::Name(f));
    const Kinetics& qorp = stiff::Reference(f);
    const Kinetics& rates = stiff::Reference({f.kind, f.exponent, false});
    const double r = std::pow(10.0, f.exponent);
    EXPECT_NEAR(r, qorp.StiffnessRatio(), 1e-3 * r);
    EXPECT_NEAR(r, rates.StiffnessRatio(), 1e-3 * r);
    ASSERT_EQ(qorp.states(), rates.states());
    const std::vector<double> p0 = stiff::StartPopulation(f, qorp);
    const std::vector<double> times = {1.0, std::pow(10.0, f.exponent / 2), r};
    const std::vector<std::vector<double>> a = qorp.Populations(p0, times);
    const std::vector<std::vector<double>> b = rates.Populations(p0, times);
    for (size_t i = 0; i < times.size(); ++i) ExpectArrayNear(a[i], b[i], 1e-12);
  }
}

}  // namespace

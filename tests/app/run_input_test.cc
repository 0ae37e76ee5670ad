// Reading the input and choosing the equilibrium, in process: which check
// fails with which message for the command line and for the module's
// requests, and what the equilibrium choice decides for rates with and
// without detailed balance.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "app/choose_equilibrium.h"
#include "app/read_input.h"
#include "app/run_stages.h"
#include "base/run_options.h"
#include "tests/test_util.h"

namespace {

const char kQorp[] =
    "GGGAAACCC\n"
    "    1 ((...)) -5.0 1 0.0\n"
    "    2 (.....) -4.0 1 2.0\n"
    "    3 ....... -3.0 2 1.5\n";
const char kTwoStates[] = "0 1\n2 0\n";

// The streams of one case; nullptr: standard input, as when the option was
// not given. kSame: the qorp stream is the rates stream, which the rates
// reader consumes (as standard input given for both). kNoStream: no qorp
// stream handed over at all.
const char kSame[] = "same";
const char kNoStream[] = "none";

struct ReadCase {
  const char* name;
  char method;
  const char* rates;  // text of the rates file
  const char* qorp;
  int absorb;
  bool module;              // the module's request: silent, qorp read beside the rates
  const char* given_rates;  // module: rates in hand (parsed from this text), n = 2
  InputCheck check;         // kNone: ok unless `message` is set
  const char* message;      // the failure's message, or nullptr for success
  int n;                    // on success
  bool have_records;        // on success
  bool announced;           // "Using ..." on standard error
};

TEST(ReadInputTest, ChecksAndMessagesForTheCommandLineAndTheModule) {
  const ReadCase cases[] = {
      {"A: no minimum", 'A', nullptr, "SEQ\n", 0, false, nullptr, InputCheck::kNoMinimum,
       "ERROR: qorp file holds no local minimum!\n", 0, false, true},
      {"A: three minima", 'A', nullptr, kQorp, 0, false, nullptr, InputCheck::kNone, nullptr, 3,
       true, true},
      {"A: no sequence", 'A', nullptr, "", 0, false, nullptr, InputCheck::kNone,
       "could not get sequence from first line of qorpfile\n", 0, false, true},
      {"I: empty", 'I', "", nullptr, 0, false, nullptr, InputCheck::kEmpty,
       "ERROR: Rate file empty!\n", 0, false, true},
      {"I: qorp beside rates is not read", 'I', kTwoStates, kQorp, 0, false, nullptr,
       InputCheck::kNone, nullptr, 2, false, true},
      {"I: absorb, qorp consumed", 'I', kTwoStates, kSame, 1, false, nullptr, InputCheck::kNone,
       "ERROR: Qorpmap file handle is either NULL or already closed!", 0, false, true},
      {"I: absorb, no qorp stream", 'I', kTwoStates, kNoStream, 1, false, nullptr,
       InputCheck::kQorpMissing,
       "ERROR: qorp file must be provided via --qorp option for computing proper free "
       "energy/partition function for the absorbing state\n",
       0, false, true},
      {"I: absorb, mismatch", 'I', kTwoStates, kQorp, 1, false, nullptr,
       InputCheck::kDimensionMismatch,
       "ERROR: dimension mismatch among input rates file and qorp file 2 != 3\n", 0, false, true},
      {"module A: three minima", 'A', nullptr, kQorp, 0, true, nullptr, InputCheck::kNone, nullptr,
       3, true, false},
      {"module I: qorp beside rates is read", 'I', kTwoStates, kQorp, 0, true, nullptr,
       InputCheck::kDimensionMismatch,
       "ERROR: dimension mismatch among input rates file and qorp file 2 != 3\n", 0, false, false},
      {"module I: no qorp", 'I', kTwoStates, nullptr, 0, true, nullptr, InputCheck::kNone, nullptr,
       2, false, false},
      {"module I: absorb without qorp", 'I', kTwoStates, nullptr, 1, true, nullptr,
       InputCheck::kQorpMissing,
       "ERROR: qorp file must be provided via --qorp option for computing proper free "
       "energy/partition function for the absorbing state\n",
       0, false, false},
      {"module I: empty before absorb", 'I', "", nullptr, 1, true, nullptr, InputCheck::kEmpty,
       "ERROR: Rate file empty!\n", 0, false, false},
      {"module given: qorp mismatch", 'I', nullptr, kQorp, 0, true, kTwoStates,
       InputCheck::kDimensionMismatch,
       "ERROR: dimension mismatch among input rates file and qorp file 2 != 3\n", 0, false, false},
      {"module given: absorb without qorp", 'I', nullptr, nullptr, 1, true, kTwoStates,
       InputCheck::kQorpMissing,
       "ERROR: qorp file must be provided via --qorp option for computing proper free "
       "energy/partition function for the absorbing state\n",
       0, false, false},
      {"module given: rates taken over", 'I', nullptr, nullptr, 0, true, kTwoStates,
       InputCheck::kNone, nullptr, 2, false, false},
  };
  for (const ReadCase& c : cases) {
    SCOPED_TRACE(c.name);
    RunOptions opts;
    opts.method = c.method;
    opts.absorb = c.absorb;
    if (c.rates != nullptr) opts.ratesfile = FileFromString(c.rates);
    if (c.qorp == kSame) {
      opts.qorp = opts.ratesfile;
    } else if (c.qorp == kNoStream) {
      opts.qorp = nullptr;
    } else if (c.qorp != nullptr) {
      opts.qorp = FileFromString(c.qorp);
    }
    InputRequest request;
    std::vector<double> given = {0.0, 1.0, 2.0, 0.0};
    if (c.module) {
      request.announce = false;
      request.qorp_beside_rates = true;
      if (c.given_rates != nullptr) {
        request.rates = &given;
        request.rates_n = 2;
      }
    }
    RunInput input;
    testing::internal::CaptureStderr();
    const Status status = ReadInput(opts, request, input);
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(c.announced, err.rfind("Using ", 0) == 0) << err;
    EXPECT_EQ(c.check, input.failed);
    if (c.message != nullptr) {
      EXPECT_EQ(1, status.exit_status);
      EXPECT_EQ(c.message, status.message);
      continue;
    }
    ASSERT_TRUE(status.ok()) << status.message;
    EXPECT_EQ(c.n, input.n);
    EXPECT_EQ(c.have_records, input.have_records);
    EXPECT_EQ(c.have_records, input.sequence.has_value());
    if (c.method == 'I') {
      EXPECT_EQ(static_cast<size_t>(c.n) * c.n, input.rates.size());
    }
    if (c.given_rates != nullptr) {
      EXPECT_EQ((std::vector<double>{0.0, 1.0, 2.0, 0.0}), input.rates);
    }
  }
}

// A three-state cycle: rate 2 one way round, 1 the other (no detailed
// balance), or 1 one way only. Either way every state has as much flow in as
// out at the uniform distribution, which is the equilibrium.
const char kCycle[] = "0 2 1\n1 0 2\n2 1 0\n";
const char kOneWay[] = "0 1 0\n0 0 1\n1 0 0\n";

struct EquilibriumCase {
  const char* name;
  const char* rates;
  bool settle;
  Eigensolver eigensolver;
  Arithmetic arithmetic;
  int recoverE, dumpE, exponent;
  const char* failure;  // the start of the message, or nullptr
  std::vector<double> p8;
  bool exact_table;
  const char* printed;  // the balance message printed on standard error, or nullptr
};

TEST(ChooseEquilibriumTest, RatesWithAndWithoutBalance) {
  const double third = 1.0 / 3.0;
  const std::vector<double> uniform = {third, third, third};
  const EquilibriumCase cases[] = {
      {"balanced",
       kTwoStates,
       true,
       Eigensolver::kAuto,
       Arithmetic::kDefault,
       0,
       0,
       0,
       nullptr,
       {2.0 / 3.0, 1.0 / 3.0},
       false,
       ""},
      {"cycle: exact propagator", kCycle, true, Eigensolver::kAuto, Arithmetic::kDefault, 0, 0, 0,
       nullptr, uniform, true, "The rates do not obey detailed balance"},
      {"cycle: lapack warns", kCycle, true, Eigensolver::kLapack, Arithmetic::kDefault, 0, 0, 0,
       nullptr, uniform, false, "WARNING: the rates do not obey detailed balance"},
      {"cycle: exponent", kCycle, true, Eigensolver::kAuto, Arithmetic::kDefault, 0, 0, 1, nullptr,
       uniform, false, nullptr},
      {"cycle: mlapack-method",
       kCycle,
       true,
       Eigensolver::kAuto,
       Arithmetic::kDouble,
       0,
       0,
       0,
       "ERROR: the rates do not obey detailed balance (largest relative deviation",
       {},
       false,
       nullptr},
      {"cycle: recoverE",
       kCycle,
       true,
       Eigensolver::kAuto,
       Arithmetic::kDefault,
       1,
       0,
       0,
       "ERROR: the rates do not obey detailed balance (largest relative deviation",
       {},
       false,
       nullptr},
      {"cycle: dumpE",
       kCycle,
       true,
       Eigensolver::kAuto,
       Arithmetic::kDefault,
       0,
       1,
       0,
       "ERROR: the rates do not obey detailed balance (largest relative deviation",
       {},
       false,
       nullptr},
      {"cycle: balance only",
       kCycle,
       false,
       Eigensolver::kAuto,
       Arithmetic::kDefault,
       0,
       0,
       0,
       nullptr,
       {},
       false,
       nullptr},
      {"one way: elimination", kOneWay, true, Eigensolver::kAuto, Arithmetic::kDefault, 0, 0, 0,
       nullptr, uniform, true, "The rates do not obey detailed balance"},
      {"one way: lapack",
       kOneWay,
       true,
       Eigensolver::kLapack,
       Arithmetic::kDefault,
       0,
       0,
       0,
       "Local balance is unsatisfiable",
       {},
       false,
       nullptr},
      {"one way: balance only",
       kOneWay,
       false,
       Eigensolver::kAuto,
       Arithmetic::kDefault,
       0,
       0,
       0,
       "Local balance is unsatisfiable",
       {},
       false,
       nullptr},
  };
  for (const EquilibriumCase& c : cases) {
    SCOPED_TRACE(c.name);
    RunOptions opts;
    opts.ratesfile = FileFromString(c.rates);
    opts.quiet = 1;
    BuiltChain chain;
    ASSERT_TRUE(BuildChain(opts, InputRequest{}, chain).ok());
    opts.quiet = 0;
    opts.eigensolver = c.eigensolver;
    opts.mlapack_method = c.arithmetic;
    opts.recoverE = c.recoverE;
    opts.dumpE = c.dumpE;
    opts.exponent = c.exponent;
    EquilibriumChoice choice;
    testing::internal::CaptureStderr();
    const Status status = ChooseEquilibrium(*chain.calc, chain.U, chain.input.records,
                                            chain.reshaped, c.settle, choice);
    const std::string err = testing::internal::GetCapturedStderr();
    if (c.failure != nullptr) {
      EXPECT_FALSE(status.ok());
      EXPECT_EQ(0u, status.message.rfind(c.failure, 0)) << status.message;
      continue;
    }
    ASSERT_TRUE(status.ok()) << status.message;
    if (c.printed != nullptr) {
      EXPECT_NE(std::string::npos, err.find(c.printed)) << err;
    } else {
      EXPECT_EQ(std::string::npos, err.find("detailed balance (largest")) << err;
    }
    EXPECT_EQ(c.exact_table, choice.exact_table);
    EXPECT_EQ(nullptr, choice.energies);
    if (!c.p8.empty()) ExpectArrayNear(c.p8, choice.p8, 1e-14);
  }
}

// Method A takes the Boltzmann weights of the minima, unless a rescale
// reshaped the rates: then the balance of U.
TEST(ChooseEquilibriumTest, EnergiesUnlessReshaped) {
  for (double hard_rescale : {1.0, 0.5}) {
    SCOPED_TRACE(hard_rescale);
    RunOptions opts;
    opts.method = 'A';
    opts.qorp = FileFromString(kQorp);
    opts.hard_rescale = hard_rescale;
    opts.quiet = 1;
    BuiltChain chain;
    testing::internal::CaptureStderr();
    ASSERT_TRUE(BuildChain(opts, InputRequest{}, chain).ok());
    EquilibriumChoice choice;
    const Status status =
        ChooseEquilibrium(*chain.calc, chain.U, chain.input.records, chain.reshaped, true, choice);
    testing::internal::GetCapturedStderr();
    ASSERT_TRUE(status.ok()) << status.message;
    EXPECT_EQ(hard_rescale != 1.0, chain.reshaped);
    EXPECT_EQ(hard_rescale == 1.0 ? &chain.input.records : nullptr, choice.energies);
    EXPECT_FALSE(choice.exact_table);
    ASSERT_EQ(3u, choice.p8.size());
    // Lower energy, more weight, whichever way p8 was found.
    EXPECT_GT(choice.p8[0], choice.p8[1]);
    EXPECT_GT(choice.p8[1], choice.p8[2]);
  }
}

}  // namespace

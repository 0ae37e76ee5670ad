// Binary rates reader: count and doubles in memory order, short and damaged
// files, impossible counts, the reduction of what it read; and the shipped
// example landscape, whose text and binary rates must describe one matrix.
#include "input/bin_rates_file.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "base/fatal.h"
#include "calc/backend/reduce.h"
#include "input/qorp_file.h"
#include "input/rates_file.h"
#include "tests/test_util.h"

namespace {

std::string BinaryFile(int32_t n, const std::vector<double>& values) {
  std::string bytes(reinterpret_cast<const char*>(&n), sizeof n);
  bytes.append(reinterpret_cast<const char*>(values.data()), values.size() * sizeof(double));
  return bytes;
}

Status ReadBinary(FILE* stream, std::vector<double>& rates, int& n) {
  RunOptions opts;
  opts.quiet = 1;
  InputContext ctx{opts};
  return ParseBinaryRatesFile(ctx, stream, rates, n);
}

// A pipe already holding `bytes`, its writing end closed.
FILE* PipeHolding(const std::string& bytes) {
  int fds[2];
  if (pipe(fds) != 0) return nullptr;
  if (write(fds[1], bytes.data(), bytes.size()) < 0) return nullptr;
  close(fds[1]);
  return fdopen(fds[0], "rb");
}

TEST(ParseBinaryRatesFile, TableOfFiles) {
  struct Case {
    const char* name;
    std::string bytes;
    int n;
    std::vector<double> matrix;
  };
  const std::vector<double> m2 = {0.0, 0.25, 1e-300, -3.5};
  const Case cases[] = {
      {"matrix kept in file order", BinaryFile(2, m2), 2, m2},
      {"trailing bytes are not read", BinaryFile(2, m2) + "garbage", 2, m2},
      {"empty file gives dimension 0", "", 0, {}},
      {"a cut count gives dimension 0", std::string("\x05\x00", 2), 0, {}},
      {"count 0", BinaryFile(0, {1, 2}), 0, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<double> rates = {42.0};
    int n = -1;
    ASSERT_TRUE(ReadBinary(FileFromString(c.bytes), rates, n).ok());
    EXPECT_EQ(c.n, n);
    ASSERT_EQ(c.matrix.size(), rates.size());
    // Bitwise, so a zero that came from indeterminate bytes would show.
    if (!rates.empty()) {
      EXPECT_EQ(0, memcmp(c.matrix.data(), rates.data(), rates.size() * sizeof(double)));
    }
  }
}

// A file shorter than its count announces is refused with both sizes; zeros
// in place of the missing rates would make a plausible wrong table. Also
// through a pipe, where the size is known only after reading. Every refusal
// comes back as status 1 with the message the run prints.
TEST(ParseBinaryRatesFile, RefusalsComeBackAsStatus) {
  struct Case {
    const char* name;
    std::string bytes;
    std::string message;
  };
  const Case cases[] = {
      {"count only", BinaryFile(3, {}),
       "ERROR: standard input is truncated: 76 bytes expected, 4 found\n"},
      {"missing doubles", BinaryFile(2, {1, 2, 3}),
       "ERROR: standard input is truncated: 36 bytes expected, 28 found\n"},
      {"a double cut in half", BinaryFile(2, {1, 2, 3, -1.0}).substr(0, 4 + 3 * 8 + 7),
       "ERROR: standard input is truncated: 36 bytes expected, 35 found\n"},
      {"negative count", BinaryFile(-3, {1, 2}),
       "ERROR: binary rates file announces -3 states, which is out of range\n"},
      {"a count whose square passes 32 bits", BinaryFile(65536, {1, 2}),
       "ERROR: binary rates file announces 65536 states, which is out of range\n"},
      {"largest count", BinaryFile(INT32_MAX, {1, 2}),
       "ERROR: binary rates file announces 2147483647 states, which is out of range\n"},
  };
  for (const Case& c : cases) {
    for (bool pipe : {false, true}) {
      SCOPED_TRACE(std::string(c.name) + (pipe ? " (pipe)" : " (file)"));
      std::vector<double> rates;
      int n = -1;
      const Status status =
          ReadBinary(pipe ? PipeHolding(c.bytes) : FileFromString(c.bytes), rates, n);
      EXPECT_EQ(kExitError, status.exit_status);
      EXPECT_EQ(c.message, status.message);
      EXPECT_EQ(0, n);
    }
  }
  std::vector<double> rates;
  int n = -1;
  const Status status = ReadBinary(nullptr, rates, n);
  EXPECT_EQ(kExitError, status.exit_status);
  EXPECT_EQ("ERROR: Rates matrix (binary) file handle is either NULL or already closed!",
            status.message);
}

// Reads `bytes` through a pipe under an address-space limit of 4 GB (none
// under the address sanitizer, which reserves far more).
// The limit holds for the whole process, so this runs in a death test's
// child, which ends with the status as the run would.
void ReadFromPipeWithLimitedMemory(const std::string& bytes) {
#if !defined(__SANITIZE_ADDRESS__)
  const rlimit limit = {rlim_t{1} << 32, rlim_t{1} << 32};
  if (setrlimit(RLIMIT_AS, &limit) != 0) exit(2);
#endif
  std::vector<double> rates;
  int n = 0;
  const Status status = ReadBinary(PipeHolding(bytes), rates, n);
  if (!status.ok()) Fatal(status);
  exit(0);
}

// A pipe has no size to check beforehand: a few bytes announcing the largest
// count the format allows (a 17 GB matrix) must be refused without sizing
// anything by that count. Under the limit, a reader that does allocate fails
// with another message instead of taking half a minute.
TEST(ParseBinaryRatesFileDeathTest, PipeIsReadAsItArrives) {
  EXPECT_EXIT(ReadFromPipeWithLimitedMemory(BinaryFile(46340, {1.0, 2.0})),
              testing::ExitedWithCode(1),
              "^ERROR: standard input is truncated: 17179164804 bytes expected, 20 found\n$");
}

TEST(ParseBinaryRatesFile, ClosesTheStreamItWasGiven) {
  RunOptions opts;
  InputContext ctx{opts};
  ctx.ratesfile = FileFromString(BinaryFile(1, {0.0}));
  std::vector<double> rates;
  int n = 0;
  EXPECT_TRUE(ParseBinaryRatesFile(ctx, ctx.ratesfile, rates, n).ok());
  EXPECT_EQ(1, n);
  EXPECT_EQ(nullptr, ctx.ratesfile);
}

TEST(ParseBinaryRatesFile, FewerStatesReduceWhatWasRead) {
  // Column j holds the rates out of j; the diagonal in the file is ignored.
  const std::vector<double> m = {9, 2, 1,  //
                                 3, 9, 4,  //
                                 5, 6, 9};
  // Generator with the diagonal rebuilt from the columns, then state 2
  // eliminated: M'ij = Mij - Mi2 * M2j / M22.
  std::vector<double> g = m;
  for (int j = 0; j < 3; ++j) {
    g[j * 3 + j] = 0;
    double sum = 0;
    for (int i = 0; i < 3; ++i) sum += g[i * 3 + j];
    g[j * 3 + j] = -sum;
  }
  std::vector<double> want(4);
  for (int i = 0; i < 2; ++i) {
    for (int j = 0; j < 2; ++j) want[i * 2 + j] = g[i * 3 + j] - g[i * 3 + 2] * g[6 + j] / g[8];
  }
  RunOptions opts;
  opts.quiet = 1;
  for (int max_decrease : {1, 1000000}) {
    SCOPED_TRACE(max_decrease);
    std::vector<double> rates;
    int n = 0;
    ASSERT_TRUE(ReadBinary(FileFromString(BinaryFile(3, m)), rates, n).ok());
    ASSERT_EQ(3, n);
    int reduced = 0;
    ASSERT_TRUE(MxReduce(opts, rates, 2, 3, max_decrease, reduced).ok());
    ASSERT_EQ(2, reduced);
    ExpectArrayNear(want, rates, 1e-12);
  }
}

// The examples were written by the landscape generator: the text file lists
// rates i -> j on line i, the binary file holds them transposed, and both
// follow exp(-(S - E_from)/kT), so rate(j->i) * exp(-E_j/kT) is symmetric.
TEST(ExampleLandscape, TextAndBinaryRatesAgreeAndObeyDetailedBalance) {
  RunOptions opts;
  InputContext ctx{opts};
  FILE* text_file = fopen(SourcePath("examples/landscape.rates").c_str(), "r");
  FILE* bin_file = fopen(SourcePath("examples/landscape.bin").c_str(), "rb");
  FILE* qorp_file = fopen(SourcePath("examples/landscape.qorp").c_str(), "r");
  ASSERT_TRUE(text_file && bin_file && qorp_file);
  std::vector<double> text, bin;
  std::vector<QorpRecord> minima;
  int n = 0, n_bin = 0, n_qorp = 0;
  ASSERT_TRUE(ParseRatesFile(ctx, text_file, text, n).ok());
  ASSERT_TRUE(ParseBinaryRatesFile(ctx, bin_file, bin, n_bin).ok());
  ASSERT_TRUE(ParseQorpFile(ctx, qorp_file, minima, n_qorp).ok());
  ASSERT_EQ(n, n_bin);
  ASSERT_EQ(n, n_qorp);
  ASSERT_GE(n, 10);
  EXPECT_EQ(text, bin);

  const double kT = (37.0 + 273.15) * 0.00198717;
  for (int i = 0; i < n; ++i) {
    EXPECT_EQ(i + 1, minima[i].index);
    if (i > 0) {
      EXPECT_LT(minima[i].father, i + 1) << "father must precede minimum " << i + 1;
    }
    for (int j = 0; j < n; ++j) {
      if (i == j) continue;
      const double rate = text[i * n + j];  // j -> i
      ASSERT_GT(rate, 1e-12);
      ASSERT_LT(rate, 1.0);
      const double flux_ji = rate * std::exp(-minima[j].energy / kT);
      const double flux_ij = text[j * n + i] * std::exp(-minima[i].energy / kT);
      EXPECT_NEAR(1.0, flux_ji / flux_ij, 1e-12) << i << " " << j;
    }
  }
}

}  // namespace

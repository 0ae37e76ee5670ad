// End-to-end runs of the built executable: the driver's stage order, its own
// messages and outputs, and the main table on small landscapes.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "run/entry_point.h"
#include "tests/test_util.h"

#if defined(__SANITIZE_ADDRESS__)
#define ZOLVANE_TEST_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define ZOLVANE_TEST_ASAN 1
#endif
#endif

namespace {

// Two states: rate 1 -> 2 is 1, rate 2 -> 1 is 2; equilibrium (2/3, 1/3).
const char kTwoStates[] = "0 1\n2 0\n";

// Five-state rates file and a three-minimum qorp file for the absorbing case.
const char kFiveStates[] =
    "0 1 1 1 1\n1 0 1 1 1\n1 1 0 1 1\n1 1 1 0 1\n1 1 1 1 0\n";
const char kQorp[] =
    "GGGAAACCC\n"
    "    1 ((...)) -5.0 1 0.0\n"
    "    2 (.....) -4.0 1 2.0\n"
    "    3 ....... -3.0 2 1.5\n";

bool Contains(const std::string& s, const std::string& part) {
  return s.find(part) != std::string::npos;
}

// Table lines of the population output (lines not starting with '#').
std::vector<std::string> TableLines(const std::string& out) {
  std::vector<std::string> lines;
  std::istringstream in(out);
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line[0] != '#') lines.push_back(line);
  }
  return lines;
}

TEST(Driver, FailuresOfTheInputStage) {
  ScopedTempDir dir;
  WriteFile("five.rates", kFiveStates);
  WriteFile("three.qorp", kQorp);
  WriteFile("empty.qorp", "GGGAAACCC\n");
  // Empty lines still count as minima: a 1 MB file announces an 8 TB matrix.
  WriteFile("million.qorp", "GGGAAACCC\n" + std::string(1000000, '\n'));
  struct Case {
    const char* name;
    std::vector<std::string> args;
    std::string stdin_text;
    std::string message;
  } cases[] = {
      {"empty rates file", {}, "", "ERROR: Rate file empty!\n"},
      {"heading instead of numbers", {}, "from to\n1 2\n", "ERROR: Rate file empty!\n"},
      {"absorbing state, rates on stdin, no qorp file",
       {"--absorb", "1"},
       kTwoStates,
       "ERROR: Qorpmap file handle is either NULL or already closed!"},
      {"qorp limited by --nstates, rates not",
       {"--absorb", "1", "-f", "five.rates", "--qorp", "three.qorp", "-n", "3"},
       "",
       "ERROR: dimension mismatch among input rates file and qorp file 5 != 3\n"},
      {"method A without minima", {"-m", "A", "--qorp", "empty.qorp"}, "",
       "ERROR: qorp file holds no local minimum!\n"},
      {"method A with more minima than memory can hold",
       {"-m", "A", "--qorp", "million.qorp"},
       "",
       "ERROR: a transition matrix of dimension 1000000 does not fit in memory\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    RunResult r = RunZolvane(c.args, c.stdin_text);
    EXPECT_EQ(1, r.status);
    EXPECT_TRUE(Contains(r.err, c.message)) << r.err;
    EXPECT_EQ("", r.out);
  }
}

TEST(Driver, NormalRunPrintsTableAndTimingLinesInOrder) {
  ScopedTempDir dir;
  RunResult r = RunZolvane({"--t8", "100"}, kTwoStates);
  ASSERT_EQ(0, r.status) << r.err;
  size_t using_line = r.err.find("Using rates matrix from STDIN for constructing transition matrix\n");
  size_t init = r.err.find("Time to initialize: ");
  size_t diag = r.err.find("Time to diagonalize: ");
  size_t iter = r.err.find("Time to iterate: ");
  ASSERT_NE(std::string::npos, using_line);
  ASSERT_NE(std::string::npos, init);
  ASSERT_NE(std::string::npos, diag);
  ASSERT_NE(std::string::npos, iter);
  EXPECT_LT(using_line, init);
  EXPECT_LT(init, diag);
  EXPECT_LT(diag, iter);
  EXPECT_EQ(0u, r.out.find("# Date: "));
  EXPECT_TRUE(Contains(r.out, "# Method: I\n"));
  EXPECT_TRUE(Contains(r.out, "\n# of iterations: "));
  // The last line before the count is at the stop time and at equilibrium.
  std::vector<std::string> lines = TableLines(r.out);
  ASSERT_FALSE(lines.empty());
  double t, p1, p2;
  ASSERT_EQ(3, sscanf(lines.back().c_str(), "%lf %lf %lf", &t, &p1, &p2));
  EXPECT_DOUBLE_EQ(100.0, t);
  EXPECT_NEAR(2.0 / 3.0, p1, 1e-6);
  EXPECT_NEAR(1.0 / 3.0, p2, 1e-6);
}

TEST(Driver, QuietSilencesTheDriverButNotTheTable) {
  ScopedTempDir dir;
  RunResult loud = RunZolvane({"--t8", "100"}, kTwoStates);
  RunResult quiet = RunZolvane({"--t8", "100", "-q", "--fpt", "2", "--fptfile", "/no/such/dir/f"},
                               kTwoStates);
  ASSERT_EQ(0, quiet.status) << quiet.err;
  for (const char* line : {"Using rates matrix", "Time to", "Cannot open file"}) {
    EXPECT_FALSE(Contains(quiet.err, line)) << line;
  }
  EXPECT_EQ(TableLines(loud.out), TableLines(quiet.out));
}

TEST(Driver, JustShortenStopsAfterFirstPassageTimes) {
  ScopedTempDir dir;
  RunResult r =
      RunZolvane({"--just-shorten", "--equil-file", "p8.txt", "--fpt", "2"}, kTwoStates);
  ASSERT_EQ(0, r.status) << r.err;
  EXPECT_EQ("", r.out);
  EXPECT_EQ("      0.6666667       0.3333333 \n", ReadFile("p8.txt"));
  EXPECT_TRUE(Contains(r.err,
                       "First passage times to state number 2:\n"
                       "      1.0000000       0.0000000 \n---\n"))
      << r.err;
  EXPECT_TRUE(Contains(r.err, "Time to compute fpt: "));
  EXPECT_FALSE(Contains(r.err, "Time to diagonalize"));
  EXPECT_FALSE(Contains(r.err, "Time to iterate"));
}

TEST(Driver, FirstPassageTimesToAFileHoldOnlyTheValues) {
  ScopedTempDir dir;
  RunResult r = RunZolvane({"--just-shorten", "--fpt", "1", "--fptfile", "fpt.txt"}, kTwoStates);
  ASSERT_EQ(0, r.status) << r.err;
  EXPECT_EQ("      0.0000000       0.5000000 \n", ReadFile("fpt.txt"));
  EXPECT_FALSE(Contains(r.err, "First passage times to state number"));
  EXPECT_TRUE(Contains(r.err, "Time to compute fpt: "));
}

TEST(Driver, UnwritableFptFileFallsBackToStandardError) {
  ScopedTempDir dir;
  RunResult r =
      RunZolvane({"--just-shorten", "--fpt", "2", "--fptfile", "/no/such/dir/f"}, kTwoStates);
  ASSERT_EQ(0, r.status) << r.err;
  EXPECT_TRUE(Contains(r.err,
                       "Cannot open file \"/no/such/dir/f\" for FPT output, using \"stderr\" "
                       "instead\n"
                       "First passage times to state number 2:\n"))
      << r.err;
}

TEST(Driver, MethodAWritesNoRateGraph) {
  ScopedTempDir dir;
  WriteFile("three.qorp", kQorp);
  RunResult r = RunZolvane({"-m", "A", "--qorp", "three.qorp", "--visualize", "graph",
                            "--just-shorten"});
  ASSERT_EQ(0, r.status) << r.err;
  EXPECT_TRUE(Contains(r.err, "Using qorp file from STDIN for constructing transition matrix\n"));
  EXPECT_FALSE(std::filesystem::exists("graph.dot"));
  EXPECT_FALSE(std::filesystem::exists("graph.eps"));
}

TEST(Driver, RatesWithQorpForTheAbsorbingState) {
  ScopedTempDir dir;
  WriteFile("three.qorp", kQorp);
  RunResult r = RunZolvane({"--absorb", "2", "--qorp", "three.qorp", "--t8", "1e3"},
                           "0 1 0\n1 0 1\n0 1 0\n");
  ASSERT_EQ(0, r.status) << r.err;
  EXPECT_TRUE(Contains(r.err, "dim increased to 4\n"));
  EXPECT_TRUE(Contains(r.out, "# Absorbing state: 4\n"));
  EXPECT_TRUE(Contains(r.out, "# Sequence: GGGAAACCC\n"));
}

void LimitAddressSpaceTo400MoreMegabytes() {
  long pages = 0;
  FILE* statm = fopen("/proc/self/statm", "r");
  if (statm == nullptr || fscanf(statm, "%ld", &pages) != 1) exit(2);
  fclose(statm);
  const rlim_t room = static_cast<rlim_t>(pages) * sysconf(_SC_PAGESIZE) + (400u << 20);
  const rlimit limit = {room, room};
  if (setrlimit(RLIMIT_AS, &limit) != 0) exit(2);
}

// A stage that runs out of memory ends the run with one line, not an abort.
TEST(DriverDeathTest, RunningOutOfMemoryEndsWithAMessage) {
#ifdef ZOLVANE_TEST_ASAN
  GTEST_SKIP() << "an address-space limit does not mix with the address sanitizer";
#endif
  ScopedTempDir dir;
  // 6000 states: the zero rates read from the short binary file (288 MB) fit
  // under the limit set below; the copy with the absorbing state does not.
  const int32_t n = 6000;
  WriteFile("n.bin", std::string(reinterpret_cast<const char*>(&n), sizeof n));
  std::string qorp = "SEQ\n";
  for (int k = 1; k <= n; ++k) qorp += std::to_string(k) + " . -1 " + (k > 1 ? "1" : "0") + " 1\n";
  WriteFile("n.qorp", qorp);
  std::vector<std::string> store = {"zolvane", "-b", "-f", "n.bin", "-a", "1", "-B", "n.qorp", "-q"};
  std::vector<char*> argv;
  for (std::string& a : store) argv.push_back(a.data());
  argv.push_back(nullptr);
  EXPECT_EXIT(
      {
        LimitAddressSpaceTo400MoreMegabytes();
        ZolvaneMain(static_cast<int>(store.size()), argv.data());
      },
      testing::ExitedWithCode(1), "ERROR: out of memory\n$");
}

}  // namespace

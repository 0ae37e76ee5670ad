// Rate-graph export: the DOT text byte for byte, which rates become edges,
// energy labels, names that a shell would misread, and a real drawing.
#include "visualize/rate_graph.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "tests/test_util.h"

namespace {

namespace fs = std::filesystem;

std::set<std::string> FilesHere() {
  std::set<std::string> names;
  for (const auto& entry : fs::directory_iterator(".")) {
    names.insert(entry.path().filename().string());
  }
  return names;
}

bool DotOnPath() {
  const char* path = getenv("PATH");
  std::string dirs = path ? path : "";
  size_t start = 0;
  while (start <= dirs.size()) {
    size_t end = dirs.find(':', start);
    if (end == std::string::npos) end = dirs.size();
    const std::string dir = dirs.substr(start, end - start);
    if (!dir.empty() && access((dir + "/dot").c_str(), X_OK) == 0) return true;
    start = end + 1;
  }
  return false;
}

// In memory, element j*n+i is the rate i -> j: the text rows "0 0.5" and
// "0.25 0" give 1 -> 2 at 0.5 and 2 -> 1 at 0.25.
const std::vector<double> kTwoStates = {0, 0.25, 0.5, 0};

TEST(RateGraphTest, TwoStateFileIsExact) {
  ScopedTempDir dir;
  EXPECT_TRUE(ExportRateGraph("g", kTwoStates, nullptr, 2).ok());
  EXPECT_EQ(ReadFile("g.dot"),
            "digraph G {\n"
            "\tnode [width=0.1, height=0.1, shape=circle];\n"
            "\"1\" [label=\"1\"]\n"
            "\"2\" [label=\"2\"]\n"
            "\n"
            "\"1\" -> \"2\" [label=\"       0.5\"]\n"
            "\"2\" -> \"1\" [label=\"      0.25\"]\n"
            "\n"
            "}\n");
}

// Sources in increasing order, then targets; only positive off-diagonal rates.
TEST(RateGraphTest, OnlyPositiveRatesBecomeEdgesWithEnergyLabels) {
  ScopedTempDir dir;
  // Column i holds the rates out of i+1 (element j*3+i is i+1 -> j+1).
  const std::vector<double> rates = {
      5.0,   0.0, 1e-7,      // into 1: from 1 (diagonal), 2 (zero), 3
      -2.0,  7.0, 123456.0,  // into 2: from 1 (negative), 2 (diagonal), 3
      0.125, 3.0, 0.0,       // into 3: from 1, 2, 3 (diagonal)
  };
  std::vector<QorpRecord> records(3);
  records[0].energy = -1.234;
  records[1].energy = 5.678;
  records[2].energy = 0.0;
  EXPECT_TRUE(ExportRateGraph("g", rates, &records, 3).ok());
  EXPECT_EQ(ReadFile("g.dot"),
            "digraph G {\n"
            "\tnode [width=0.1, height=0.1, shape=circle];\n"
            "\"1\" [label=\"1\\n-1.23\"]\n"
            "\"2\" [label=\"2\\n5.68\"]\n"
            "\"3\" [label=\"3\\n0.00\"]\n"
            "\n"
            "\"1\" -> \"3\" [label=\"     0.125\"]\n"
            "\"2\" -> \"3\" [label=\"         3\"]\n"
            "\"3\" -> \"1\" [label=\"     1e-07\"]\n"
            "\"3\" -> \"2\" [label=\" 1.235e+05\"]\n"
            "\n"
            "}\n");
}

// The name is only ever a file name: nothing a shell would do with it happens.
TEST(RateGraphTest, HostileNamesWriteExactlyTwoFiles) {
  const char* names[] = {"a b;touch pwned", "x'\"$(touch pwned)`touch pwned`", "-Tpng", "|cat"};
  for (const char* name : names) {
    SCOPED_TRACE(name);
    ScopedTempDir dir;
    EXPECT_TRUE(ExportRateGraph(name, kTwoStates, nullptr, 2).ok());
    const std::string base(name);
    EXPECT_EQ(FilesHere(), (std::set<std::string>{base + ".dot", base + ".eps"}));
  }
}

TEST(RateGraphTest, RealDrawingIsPostScript) {
  if (!DotOnPath()) GTEST_SKIP() << "dot is not installed";
  ScopedTempDir dir;
  EXPECT_TRUE(ExportRateGraph("graph", kTwoStates, nullptr, 2).ok());
  const std::string eps = ReadFile("graph.eps");
  EXPECT_EQ(eps.rfind("%!PS", 0), 0u) << eps.substr(0, 40);
}

TEST(RateGraphTest, FailedDrawingsDoNotStopTheRun) {
  ScopedTempDir dir;
  // No dot on PATH: the DOT file is still written, but no (empty) g.eps is
  // left behind; one warning unless quiet.
  const char* old = getenv("PATH");
  const std::string saved = old ? old : "";
  setenv("PATH", dir.path().c_str(), 1);
  for (bool quiet : {false, true}) {
    SCOPED_TRACE(quiet);
    testing::internal::CaptureStderr();
    EXPECT_TRUE(ExportRateGraph("g", kTwoStates, nullptr, 2, quiet).ok());
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(quiet ? "" : "WARNING: could not draw g.eps: dot: No such file or directory\n", err);
    EXPECT_FALSE(ReadFile("g.dot").empty());
    EXPECT_FALSE(fs::exists("g.eps"));
  }
  // A dot that fails leaves no g.eps either.
  fs::create_directory("bin");
  WriteFile("bin/dot", "#!/bin/sh\necho partial\nexit 1\n");
  fs::permissions("bin/dot", fs::perms::owner_all);
  setenv("PATH", (dir.path() + "/bin").c_str(), 1);
  testing::internal::CaptureStderr();
  EXPECT_TRUE(ExportRateGraph("g", kTwoStates, nullptr, 2).ok());
  EXPECT_EQ("WARNING: could not draw g.eps: dot failed\n", testing::internal::GetCapturedStderr());
  setenv("PATH", saved.c_str(), 1);
  EXPECT_FALSE(fs::exists("g.eps"));
}

// NAME.dot that cannot be opened (no such directory, a directory of that
// name) or written (a full device) is an error, and nothing is drawn: a run
// that ends well must have written it.
TEST(RateGraphTest, DotFileThatCannotBeWrittenIsRefused) {
  ScopedTempDir dir;
  fs::create_directory("bin");
  WriteFile("bin/dot", "#!/bin/sh\necho drawn\n");
  fs::permissions("bin/dot", fs::perms::owner_all);
  fs::create_directory("d");
  fs::create_directory("d/g.dot");
  const bool have_full = fs::exists("/dev/full");
  if (have_full) {
    fs::create_directory("f");
    fs::create_symlink("/dev/full", "f/g.dot");
  }
  const char* old = getenv("PATH");
  const std::string saved = old ? old : "";
  setenv("PATH", (dir.path() + "/bin").c_str(), 1);
  for (const char* name : {"missing/g", "d/g", "f/g"}) {
    if (std::string(name) == "f/g" && !have_full) continue;
    SCOPED_TRACE(name);
    const Status status = ExportRateGraph(name, kTwoStates, nullptr, 2);
    EXPECT_EQ(kExitError, status.exit_status);
    EXPECT_EQ("ERROR: could not write DOT file " + std::string(name) + ".dot\n", status.message);
    EXPECT_FALSE(fs::exists(std::string(name) + ".eps"));
  }
  setenv("PATH", saved.c_str(), 1);
}

}  // namespace

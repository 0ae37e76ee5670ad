// zolvane-plot end to end on the bundled example's table: the pictures gnuplot
// writes (SVG checked as XML, one curve per chosen state, PNG and PDF by
// extension), and the one-line errors that leave no picture behind.
#include "visualize/population_plot.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <sstream>
#include <string>
#include <vector>

#include "tests/test_util.h"

namespace {

const char kXmllint[] = "/usr/bin/xmllint";
const char kCurves[] = "//*[local-name()='g'][starts-with(@id,'gnuplot_plot_')]";

std::string Table() { return ReadFile(SourcePath("tests/run/golden/landscape_rates.table")); }

RunResult Plot(const std::vector<std::string>& args, const std::string& stdin_text = "") {
  return RunProgram(ZOLVANE_PLOT_BIN, args, stdin_text);
}

// The value of an XPath expression over `svg`, without xmllint's newline.
std::string XPath(const std::string& svg, const std::string& expression) {
  RunResult r = RunProgram(kXmllint, {"--xpath", expression, svg});
  EXPECT_EQ(0, r.status) << expression << ": " << r.err;
  if (!r.out.empty() && r.out.back() == '\n') r.out.pop_back();
  return r.out;
}

// Checks that `svg` is well-formed XML holding exactly one curve, drawn as one
// path, per state of `states`, in that order, each titled with its number.
void ExpectCurves(const std::string& svg, const std::vector<int>& states) {
  RunResult lint = RunProgram(kXmllint, {"--noout", svg});
  ASSERT_EQ(0, lint.status) << lint.err;
  ASSERT_EQ(std::to_string(states.size()), XPath(svg, std::string("count(") + kCurves + ")"));
  for (size_t i = 0; i < states.size(); ++i) {
    SCOPED_TRACE("curve " + std::to_string(i + 1));
    const std::string curve = std::string("(") + kCurves + ")[" + std::to_string(i + 1) + "]";
    EXPECT_EQ(std::to_string(states[i]),
              XPath(svg, "string(" + curve + "/*[local-name()='title'])"));
    EXPECT_EQ("1", XPath(svg, "count(" + curve + "//*[local-name()='path'])"));
  }
}

// The states of the largest peak populations, found by reading the table
// with a stream instead of the plot command's parser.
std::vector<int> TopStates(const std::string& table, size_t k) {
  std::vector<double> peak;
  std::istringstream in(table);
  for (std::string line; std::getline(in, line);) {
    if (line.empty() || line[0] == '#') continue;
    std::istringstream row(line);
    double x;
    row >> x;
    for (size_t s = 0; row >> x; ++s) {
      if (peak.size() <= s) peak.resize(s + 1, 0.0);
      peak[s] = std::max(peak[s], x);
    }
  }
  std::vector<int> states(peak.size());
  for (size_t s = 0; s < peak.size(); ++s) states[s] = static_cast<int>(s) + 1;
  std::stable_sort(states.begin(), states.end(),
                   [&](int a, int b) { return peak[a - 1] > peak[b - 1]; });
  states.resize(std::min(k, states.size()));
  return states;
}

class PopulationPlot : public testing::Test {
 protected:
  void SetUp() override {
    if (access(kXmllint, X_OK) != 0) GTEST_SKIP() << "xmllint is not installed";
  }
  ScopedTempDir dir_;
};

TEST_F(PopulationPlot, DefaultIsTheFiveMostPopulatedStatesInSvg) {
  WriteFile("example.table", Table());
  RunResult r = Plot({"example.table"});
  ASSERT_EQ(0, r.status) << r.err;
  EXPECT_EQ("", r.out);
  EXPECT_EQ("", r.err);
  const std::vector<int> top = TopStates(Table(), 5);
  ASSERT_EQ(5u, top.size());
  EXPECT_EQ(1, top[0]);
  ExpectCurves("populations.svg", top);
  // Axis labels and the header's temperature (the example has no sequence).
  const std::string svg = ReadFile("populations.svg");
  EXPECT_NE(std::string::npos, svg.find(">time<"));
  EXPECT_NE(std::string::npos, svg.find(">population<"));
  EXPECT_NE(std::string::npos, svg.find("37.00 \xC2\xB0"
                                        "C"));
}

TEST_F(PopulationPlot, ChosenStatesFromStandardInputAndTopK) {
  RunResult r = Plot({"--states", "1,3,7", "-o", "chosen.svg"}, Table());
  ASSERT_EQ(0, r.status) << r.err;
  ExpectCurves("chosen.svg", {1, 3, 7});

  r = Plot({"--top", "2", "-o", "top.svg", "-"}, Table());
  ASSERT_EQ(0, r.status) << r.err;
  ExpectCurves("top.svg", TopStates(Table(), 2));

  // The sequence of a qorp run goes into the title, quotes and all.
  r = Plot({"-o", "title.svg"},
           "# Sequence: GG'AA\n# Temperature: 25.00\n1 0.5 0.5\n10 0.25 0.75\n");
  ASSERT_EQ(0, r.status) << r.err;
  ExpectCurves("title.svg", {2, 1});
  EXPECT_NE(std::string::npos, ReadFile("title.svg")
                                   .find("GG'AA, 25.00 \xC2\xB0"
                                         "C"));
}

TEST_F(PopulationPlot, PngAndPdfByExtension) {
  WriteFile("t", Table());
  RunResult r = Plot({"t", "-o", "p.PNG"});
  ASSERT_EQ(0, r.status) << r.err;
  EXPECT_EQ(0u, ReadFile("p.PNG").rfind("\x89PNG\r\n", 0));
  r = Plot({"t", "--output=p.pdf"});
  ASSERT_EQ(0, r.status) << r.err;
  EXPECT_EQ(0u, ReadFile("p.pdf").rfind("%PDF-", 0));
}

TEST_F(PopulationPlot, ErrorsAreOneLineAndLeaveNoPicture) {
  WriteFile("t", Table());
  WriteFile("words", "Using rates matrix from STDIN\n");
  struct Case {
    std::vector<std::string> args;
    const char* message;
  } cases[] = {
      {{"t", "--states", "1,21"}, "zolvane-plot: state 21 is not in t, which has 20 states\n"},
      {{"t", "--states", "1,,3"},
       "zolvane-plot: --states needs state numbers >= 1 separated by commas, not '1,,3'\n"},
      {{"t", "--states", "0"},
       "zolvane-plot: --states needs state numbers >= 1 separated by commas, not '0'\n"},
      {{"t", "--states", "2,2"}, "zolvane-plot: state 2 is listed twice in --states\n"},
      {{"t", "--top", "0"}, "zolvane-plot: --top needs a whole number >= 1, not '0'\n"},
      {{"t", "--top", "3", "--states", "1"},
       "zolvane-plot: --states and --top exclude each other\n"},
      {{"t", "--top"}, "zolvane-plot: --top needs a value; see zolvane-plot --help\n"},
      {{"t", "--colour"}, "zolvane-plot: unknown option --colour; see zolvane-plot --help\n"},
      {{"t", "u"}, "zolvane-plot: one table at most; see zolvane-plot --help\n"},
      {{"missing"}, "zolvane-plot: cannot open missing: No such file or directory\n"},
      {{"words"}, "zolvane-plot: words: line 1 is neither a header line nor a row of numbers\n"},
      {{"t", "-o", "no/such/dir.svg"},
       "zolvane-plot: cannot write no/such/dir.svg: No such file or directory\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args.back());
    RunResult r = Plot(c.args);
    EXPECT_EQ(1, r.status);
    EXPECT_EQ(c.message, r.err);
    EXPECT_NE(0, access("populations.svg", F_OK));
  }
}

TEST_F(PopulationPlot, MissingGnuplotNamesThePackage) {
  WriteFile("t", Table());
  RunResult r = RunProgram("/usr/bin/env", {"PATH=/nonexistent", ZOLVANE_PLOT_BIN, "t"});
  EXPECT_EQ(1, r.status);
  EXPECT_EQ("zolvane-plot: gnuplot not found; install the Debian package gnuplot-nox\n", r.err);
  EXPECT_NE(0, access("populations.svg", F_OK));
}

TEST(PictureFormat, ByExtension) {
  EXPECT_EQ(PictureFormat::kSvg, PictureFormatFor("a.svg"));
  EXPECT_EQ(PictureFormat::kSvg, PictureFormatFor("plot"));
  EXPECT_EQ(PictureFormat::kSvg, PictureFormatFor("dir.png/plot"));
  EXPECT_EQ(PictureFormat::kPng, PictureFormatFor("a.Png"));
  EXPECT_EQ(PictureFormat::kPdf, PictureFormatFor("x/a.pdf"));
}

}  // namespace

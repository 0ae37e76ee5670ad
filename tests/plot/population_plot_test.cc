// zolvane-plot end to end on the bundled example's table: the pictures gnuplot
// writes (SVG checked as XML, one curve per chosen state, PNG and PDF by
// extension), the one-line errors that leave no picture behind and never
// cost an existing file, and odd but valid tables, titles and file names.
#include "plot/population_plot.h"

#include <dirent.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <set>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "tests/test_util.h"

namespace {

const char kXmllint[] = "/usr/bin/xmllint";
const char kCurves[] = "//*[local-name()='g'][starts-with(@id,'gnuplot_plot_')]";

std::string Table() { return ReadFile(SourcePath("tests/run/golden/landscape_rates.table")); }

// The example's table as a run stopped early leaves it: no closing
// "# of iterations" line.
std::string UnfinishedTable() {
  std::string t = Table();
  const size_t closing = t.rfind("# of iterations:");
  EXPECT_NE(std::string::npos, closing);
  return t.substr(0, closing);
}

// The number of rows of populations in `table` (lines not starting with '#').
int Rows(const std::string& table) {
  int rows = 0;
  std::istringstream in(table);
  for (std::string line; std::getline(in, line);) rows += !line.empty() && line[0] != '#';
  return rows;
}

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

// The strings of all text elements of `svg` (title, labels, tick marks).
std::vector<std::string> Texts(const std::string& svg) {
  const std::string texts = "//*[local-name()='text']";
  const int n = atoi(XPath(svg, "count(" + texts + ")").c_str());
  std::vector<std::string> strings;
  for (int i = 1; i <= n; ++i) {
    strings.push_back(XPath(svg, "string((" + texts + ")[" + std::to_string(i) + "])"));
  }
  return strings;
}

// Whether `svg` shows `title` as one of its texts.
void ExpectTitle(const std::string& svg, const std::string& title) {
  const std::vector<std::string> texts = Texts(svg);
  EXPECT_NE(texts.end(), std::find(texts.begin(), texts.end(), title))
      << "no text \"" << title << "\" in " << testing::PrintToString(texts);
}

// The names in the working directory, sorted, without "." and "..".
std::vector<std::string> DirectoryEntries() {
  std::vector<std::string> names;
  DIR* dir = opendir(".");
  if (dir == nullptr) return names;
  while (dirent* e = readdir(dir)) {
    const std::string name = e->d_name;
    if (name != "." && name != "..") names.push_back(name);
  }
  closedir(dir);
  std::sort(names.begin(), names.end());
  return names;
}

// A stand-in for gnuplot in directory `dir` that writes `picture` and a
// report of several lines ending in `message`, then exits with `status`.
void WriteFakeGnuplot(const std::string& dir, const std::string& picture,
                      const std::string& message, int status) {
  mkdir(dir.c_str(), 0755);
  const std::string path = dir + "/gnuplot";
  WriteFile(path,
            "#!/bin/sh\n"
            "/bin/cat > /dev/null\n"
            "printf '" +
                picture +
                "'\n"
                "printf '\\ngnuplot> plot $populations using 1:2\\n' >&2\n"
                "printf '                  ^\\n' >&2\n"
                "printf '         line 14: " +
                message +
                "\\n\\n' >&2\n"
                "exit " +
                std::to_string(status) + "\n");
  chmod(path.c_str(), 0755);
}

// WCAG contrast ratio of an SVG stroke "rgb(r, g, b)" against white.
double ContrastOnWhite(const std::string& stroke) {
  int rgb[3];
  if (sscanf(stroke.c_str(), "rgb(%d,%d,%d)", &rgb[0], &rgb[1], &rgb[2]) != 3) return 0;
  double lum[3];
  for (int i = 0; i < 3; ++i) {
    const double c = rgb[i] / 255.0;
    lum[i] = c <= 0.03928 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
  }
  const double l = 0.2126 * lum[0] + 0.7152 * lum[1] + 0.0722 * lum[2];
  return 1.05 / (l + 0.05);
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
      // An unknown letter inside a cluster is named itself, not the word
      // before it or the program.
      {{"-px", "t"}, "zolvane-plot: unknown option -p; see zolvane-plot --help\n"},
      {{"t", "-xk", "2"}, "zolvane-plot: unknown option -x; see zolvane-plot --help\n"},
      {{"t", "--top", "2", "-k3p"}, "zolvane-plot: --top needs a whole number >= 1, not '3p'\n"},
      {{"t", "--help=3"}, "zolvane-plot: unknown option --help=3; see zolvane-plot --help\n"},
      {{"t", "-k"}, "zolvane-plot: -k needs a value; see zolvane-plot --help\n"},
      // Control characters in names and values are shown as escapes: one line.
      {{"line\nbreak"}, "zolvane-plot: cannot open line\\nbreak: No such file or directory\n"},
      {{"t", "-o", "no\r\x01/x.svg"},
       "zolvane-plot: cannot write no\\r\\x01/x.svg: No such file or directory\n"},
      {{"t", "--states", "1\n2"},
       "zolvane-plot: --states needs state numbers >= 1 separated by commas, not '1\\n2'\n"},
      {{"t", "--to\tp"}, "zolvane-plot: unknown option --to\\tp; see zolvane-plot --help\n"},
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

// A failed run leaves every file as it was: the table when it is also the
// picture (by any name), and an existing picture when gnuplot is missing or
// fails. No scratch file is left either.
TEST_F(PopulationPlot, NoFileIsLost) {
  WriteFile("same.txt", Table());
  ASSERT_EQ(0, symlink("same.txt", "symlink.txt"));
  ASSERT_EQ(0, link("same.txt", "hardlink.txt"));
  for (const char* name : {"same.txt", "./symlink.txt", "hardlink.txt"}) {
    SCOPED_TRACE(name);
    RunResult r = Plot({"same.txt", "-o", name});
    EXPECT_EQ(1, r.status);
    EXPECT_EQ(std::string("zolvane-plot: the picture ") + name +
                  " would replace the table; choose another --output\n",
              r.err);
    EXPECT_EQ(Table(), ReadFile("same.txt"));
  }
  const std::vector<std::string> before = {"hardlink.txt", "same.txt", "symlink.txt"};
  EXPECT_EQ(before, DirectoryEntries());

  WriteFile("keep.svg", "an older picture\n");
  chmod("keep.svg", 0640);
  RunResult r = RunProgram("/usr/bin/env",
                           {"PATH=/nonexistent", ZOLVANE_PLOT_BIN, "same.txt", "-o", "keep.svg"});
  EXPECT_EQ(1, r.status);
  EXPECT_EQ("zolvane-plot: gnuplot not found; install the Debian package gnuplot-nox\n", r.err);
  EXPECT_EQ("an older picture\n", ReadFile("keep.svg"));

  // gnuplot's report of several lines becomes one line of ours.
  WriteFakeGnuplot(dir_.path() + "/fake", "<svg partial", "all points y value undefined!", 1);
  r = RunProgram("/usr/bin/env",
                 {"PATH=" + dir_.path() + "/fake", ZOLVANE_PLOT_BIN, "same.txt", "-o", "keep.svg"});
  EXPECT_EQ(1, r.status);
  EXPECT_EQ("zolvane-plot: gnuplot failed to draw the plot (all points y value undefined!)\n",
            r.err);
  EXPECT_EQ("an older picture\n", ReadFile("keep.svg"));
  const std::vector<std::string> after = {"fake", "hardlink.txt", "keep.svg", "same.txt",
                                          "symlink.txt"};
  EXPECT_EQ(after, DirectoryEntries());

  // Success replaces the picture and keeps its mode.
  r = Plot({"same.txt", "-o", "keep.svg"});
  ASSERT_EQ(0, r.status) << r.err;
  EXPECT_EQ("", r.err);
  ExpectCurves("keep.svg", TopStates(Table(), 5));
  struct stat st;
  ASSERT_EQ(0, stat("keep.svg", &st));
  EXPECT_EQ(0640u, st.st_mode & 07777);
  EXPECT_EQ(after, DirectoryEntries());
}

// A picture name that is a symbolic link: the file it leads to is written and
// the link stays; a link to a device (here /dev/null) is written through and
// never removed, whether gnuplot succeeds or is missing.
TEST_F(PopulationPlot, PictureThroughSymbolicLinks) {
  WriteFile("t", Table());
  WriteFile("real.svg", "old\n");
  ASSERT_EQ(0, symlink("real.svg", "link.svg"));
  ASSERT_EQ(0, symlink("/dev/null", "null.svg"));
  RunResult r = Plot({"t", "-o", "link.svg"});
  ASSERT_EQ(0, r.status) << r.err;
  ExpectCurves("real.svg", TopStates(Table(), 5));
  struct stat st;
  ASSERT_EQ(0, lstat("link.svg", &st));
  EXPECT_TRUE(S_ISLNK(st.st_mode));

  r = Plot({"t", "-o", "null.svg"});
  EXPECT_EQ(0, r.status) << r.err;
  r = RunProgram("/usr/bin/env", {"PATH=/nonexistent", ZOLVANE_PLOT_BIN, "t", "-o", "null.svg"});
  EXPECT_EQ(1, r.status);
  ASSERT_EQ(0, lstat("null.svg", &st));
  EXPECT_TRUE(S_ISLNK(st.st_mode));
  const std::vector<std::string> names = {"link.svg", "null.svg", "real.svg", "t"};
  EXPECT_EQ(names, DirectoryEntries());
}

// A table a run did not finish (stopped by the probability check: no closing
// "# of iterations" line; or a file cut inside a row) is plotted with one
// warning; the cut row is left out.
TEST_F(PopulationPlot, UnfinishedTableIsPlottedWithOneWarning) {
  const std::string unfinished = UnfinishedTable();
  WriteFile("stopped", unfinished);
  RunResult r = Plot({"stopped", "-o", "stopped.svg"});
  ASSERT_EQ(0, r.status) << r.err;
  EXPECT_EQ(
      "zolvane-plot: warning: stopped lacks the closing \"# of iterations\" line: the run "
      "did not finish; plotting its " +
          std::to_string(Rows(unfinished)) + " rows\n",
      r.err);
  ExpectCurves("stopped.svg", TopStates(Table(), 5));

  // Cut in the middle of the last row's third number.
  const size_t last_row = unfinished.rfind('\n', unfinished.size() - 2) + 1;
  const std::string cut = unfinished.substr(0, last_row + 47);
  ASSERT_EQ(' ', cut[last_row + 39]);
  r = Plot({"-o", "cut.svg"}, cut);
  ASSERT_EQ(0, r.status) << r.err;
  EXPECT_EQ(
      "zolvane-plot: warning: standard input ends inside a row: the run did not finish; "
      "plotting its " +
          std::to_string(Rows(unfinished) - 1) + " rows\n",
      r.err);
  ExpectCurves("cut.svg", TopStates(Table(), 5));
}

// Curves stay apart: no two of the 20 states share colour and dash pattern,
// and every colour is readable on white. Under the C locale gnuplot has no
// word to say about the degree sign of the title.
TEST_F(PopulationPlot, PaletteStaysDistinctAndReadable) {
  WriteFile("t", Table());
  RunResult r = RunProgram("/usr/bin/env", {"LC_ALL=C", ZOLVANE_PLOT_BIN, "t", "--top", "20"});
  ASSERT_EQ(0, r.status) << r.err;
  EXPECT_EQ("", r.err);
  ExpectCurves("populations.svg", TopStates(Table(), 20));
  std::set<std::pair<std::string, std::string>> looks;
  for (int i = 1; i <= 20; ++i) {
    SCOPED_TRACE("curve " + std::to_string(i));
    const std::string path =
        std::string("(") + kCurves + ")[" + std::to_string(i) + "]//*[local-name()='path']";
    const std::string stroke = XPath("populations.svg", "string(" + path + "/@stroke)");
    const std::string dashes = XPath("populations.svg", "string(" + path + "/@stroke-dasharray)");
    EXPECT_GE(ContrastOnWhite(stroke), 3.0) << stroke;
    EXPECT_TRUE(looks.insert({stroke, dashes}).second) << stroke << " " << dashes;
  }
  EXPECT_NE(std::string::npos, ReadFile("populations.svg")
                                   .find("37.00 \xC2\xB0"
                                         "C"));
}

// The sequence is copied byte for byte from the qorp file: bytes that are not
// UTF-8, control characters and XML's special characters still give an SVG
// that parses, with a readable title. A long sequence is cut between
// characters, not inside one.
TEST_F(PopulationPlot, TitleFromAnyBytesIsValidXml) {
  const std::string rows = "1 0.5 0.5\n10 0.25 0.75\n# of iterations: 2\n";
  const std::string long_sequence = std::string(59, 'A') + "\xC3\xA9" + "GG";
  struct Case {
    std::string sequence;
    std::string title;
  } cases[] = {
      {"GG\xFF\xFE<&>\"AA\x01\x1B[1m\xC3", "GG\uFFFD\uFFFD<&>\"AA  [1m\uFFFD, 25.00 \u00B0C"},
      {"\xED\xA0\x80\xC0\xAF\xEF\xBF\xBF\xF4\x90\x80\x80",
       "\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD \uFFFD\uFFFD\uFFFD\uFFFD, 25.00 \u00B0C"},
      {long_sequence, std::string(59, 'A') + "\u00E9...," + " 25.00 \u00B0C"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.title);
    RunResult r =
        Plot({"-o", "title.svg"}, "# Sequence: " + c.sequence + "\n# Temperature: 25.00\n" + rows);
    ASSERT_EQ(0, r.status) << r.err;
    EXPECT_EQ("", r.err);
    ExpectCurves("title.svg", {2, 1});
    ExpectTitle("title.svg", c.title);
  }
}

// Titles are handed to gnuplot safely whatever they hold: a leading quote,
// quotes of both kinds, backslashes, and backquotes, which gnuplot would run
// as a shell command.
TEST_F(PopulationPlot, TitlesWithQuotesAndBackquotes) {
  const std::string rows = "1 0.5 0.5\n10 0.25 0.75\n# of iterations: 2\n";
  struct Case {
    std::string header;
    std::string title;
  } cases[] = {
      {"# Sequence: 'quoted\n", "'quoted"},
      {"# Sequence: '\n", "'"},
      {"# Sequence: ''\n", "''"},
      {"# Sequence: a\"b\\c\\\n", "a\"b\\c\\"},
      {"# Sequence: `touch injected`$(touch injected2)@x\n",
       "`touch injected`$(touch injected2)@x"},
      {"# Sequence:\n# Temperature: 'x\n", "'x \u00B0C"},
      {"# Sequence: \\'\n# Temperature: 25.00\n", "\\', 25.00 \u00B0C"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.header);
    RunResult r = Plot({"-o", "title.svg"}, c.header + rows);
    ASSERT_EQ(0, r.status) << r.err;
    EXPECT_EQ("", r.err);
    ExpectCurves("title.svg", {2, 1});
    ExpectTitle("title.svg", c.title);
  }
  EXPECT_NE(0, access("injected", F_OK));
  EXPECT_NE(0, access("injected2", F_OK));
}

// A table's name never reaches gnuplot: whatever it holds, the picture is
// the one drawn from the same table on standard input, even when a file of
// the name gnuplot once saw ("a b" for "a<TAB>b") holds other data.
TEST_F(PopulationPlot, OddTableNamesPlotTheirOwnData) {
  const std::string table = "1 0.5 0.5\n10 0.25 0.75\n# of iterations: 2\n";
  WriteFile("a b", "1 0.9 0.1\n10 0.8 0.2\n# of iterations: 2\n");
  RunResult r = Plot({"-o", "reference.svg"}, table);
  ASSERT_EQ(0, r.status) << r.err;
  const std::string reference = ReadFile("reference.svg");
  for (const char* name : {"a\tb", "line\nbreak", "cr\rname", "quote'name", "double\"name",
                           "back`touch injected`", "$data", "@x", "-starts-with-dash"}) {
    SCOPED_TRACE(name);
    WriteFile(name, table);
    r = Plot({"-o", "named.svg", "--", name});
    ASSERT_EQ(0, r.status) << r.err;
    EXPECT_EQ("", r.err);
    EXPECT_EQ(reference, ReadFile("named.svg"));
  }
  EXPECT_NE(0, access("injected", F_OK));
}

// Times and populations at the edges of what gnuplot's axes take: a
// subnormal time (as zolvane --t0 4.9e-324 prints), a time 0 line, one time
// point, a state never populated, huge values. Each gives a picture and not
// a word from gnuplot; a table it cannot draw at all is refused in one line.
TEST_F(PopulationPlot, EdgeTimesAndPopulations) {
  struct Case {
    const char* name;
    const char* table;
    std::vector<std::string> args;
    std::vector<int> curves;
  } cases[] = {
      {"subnormal time",
       "0 1 0\n4.9406564584124654e-324 1 0\n1e-310 1 0\n1e-3 0.75 0.25\n10 0.5 0.5\n",
       {},
       {1, 2}},
      {"one time point", "1 0.5 0.5\n", {}, {1, 2}},
      {"one tiny time point", "2.2250738585072014e-308 0.5 0.5\n", {}, {1, 2}},
      {"one huge time point", "1e307 0.5 0.5\n", {}, {1, 2}},
      {"times beyond the axis", "1 0.5 0.5\n1e306 0.25 0.75\n1e308 0 1\n", {}, {2, 1}},
      {"state never populated", "1 1 0\n10 1 0\n", {"--states", "2"}, {2}},
      {"huge populations", "1 1e307 0.5\n10 1e300 -1e307\n", {}, {1, 2}},
      {"narrow row", "1 0.5 0.5\n10 1\n100 0.25 0.75\n", {}, {1, 2}},
      {"hexadecimal numbers", "0x1p0 0x1p-1 0.5\n0x10 0.25 0x1.8p-1\n", {}, {2, 1}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<std::string> args = {"-o", "edge.svg"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    RunResult r = Plot(args, std::string(c.table) + "# of iterations: 1\n");
    ASSERT_EQ(0, r.status) << r.err;
    EXPECT_EQ("", r.err);
    ExpectCurves("edge.svg", c.curves);
    unlink("edge.svg");
  }
  struct Refusal {
    const char* table;
    const char* message;
  } refusals[] = {
      {"0 1 0\n4.9406564584124654e-324 1 0\n1e308 0 1\n",
       "zolvane-plot: standard input: no row has a time from 2.2e-308 to 1e307, the times the "
       "time axis can show\n"},
      {"1 0.5 0.5\n10 0.5 1e308\n",
       "zolvane-plot: standard input: line 2 holds a population beyond 1e307, which the plot "
       "cannot show\n"},
  };
  for (const Refusal& c : refusals) {
    SCOPED_TRACE(c.table);
    RunResult r = Plot({}, std::string(c.table) + "# of iterations: 1\n");
    EXPECT_EQ(1, r.status);
    EXPECT_EQ(c.message, r.err);
    EXPECT_NE(0, access("populations.svg", F_OK));
  }
}

// A run killed while gnuplot draws leaves no scratch file and the old
// picture as it was. The stand-in gnuplot sends the signal itself.
TEST_F(PopulationPlot, KilledRunLeavesNoScratchFile) {
  WriteFile("t", Table());
  WriteFile("keep.svg", "an older picture\n");
  const std::string fake = dir_.path() + "/fake";
  mkdir(fake.c_str(), 0755);
  WriteFile(fake + "/gnuplot",
            "#!/bin/sh\n/bin/cat > /dev/null\nprintf '<svg'\n/bin/kill -TERM $PPID\n");
  chmod((fake + "/gnuplot").c_str(), 0755);
  RunResult r =
      RunProgram("/usr/bin/env", {"PATH=" + fake, ZOLVANE_PLOT_BIN, "t", "-o", "keep.svg"});
  EXPECT_EQ(-1, r.status);
  EXPECT_EQ("an older picture\n", ReadFile("keep.svg"));
  const std::vector<std::string> names = {"fake", "keep.svg", "t"};
  EXPECT_EQ(names, DirectoryEntries());
}

// A picture we may not write is not replaced by renaming over it. Root may
// write any file, so as root the run is made as the user nobody.
TEST_F(PopulationPlot, ReadOnlyPictureIsRefused) {
  WriteFile("t", Table());
  WriteFile("keep.svg", "an older picture\n");
  chmod("keep.svg", 0444);
  std::string program = ZOLVANE_PLOT_BIN;
  std::vector<std::string> args = {"t", "-o", "keep.svg"};
  if (geteuid() == 0) {
    if (access("/usr/bin/setpriv", X_OK) != 0) GTEST_SKIP() << "no setpriv to drop root";
    constexpr uid_t kNobody = 65534;
    for (const char* name : {".", "t", "keep.svg"}) ASSERT_EQ(0, chown(name, kNobody, kNobody));
    args.insert(args.begin(), {"--reuid=65534", "--regid=65534", "--clear-groups", program});
    program = "/usr/bin/setpriv";
  }
  RunResult r = RunProgram(program, args);
  EXPECT_EQ(1, r.status);
  EXPECT_EQ("zolvane-plot: cannot write keep.svg: Permission denied\n", r.err);
  EXPECT_EQ("an older picture\n", ReadFile("keep.svg"));
  const std::vector<std::string> names = {"keep.svg", "t"};
  EXPECT_EQ(names, DirectoryEntries());
}

// What gnuplot says when it succeeds all the same becomes one warning line;
// success without a picture is a failure that keeps the old picture.
TEST_F(PopulationPlot, GnuplotSuccessIsCheckedAndWarningsAreOneLine) {
  WriteFile("t", Table());
  WriteFakeGnuplot(dir_.path() + "/fake", "<svg/>",
                   "warning: Warning - difficulty fitting plot titles into key", 0);
  RunResult r =
      RunProgram("/usr/bin/env", {"PATH=" + dir_.path() + "/fake", ZOLVANE_PLOT_BIN, "t"});
  EXPECT_EQ(0, r.status);
  EXPECT_EQ("zolvane-plot: warning: gnuplot: difficulty fitting plot titles into key\n", r.err);
  EXPECT_EQ("<svg/>", ReadFile("populations.svg"));

  WriteFakeGnuplot(dir_.path() + "/fake", "", "", 0);
  r = RunProgram("/usr/bin/env", {"PATH=" + dir_.path() + "/fake", ZOLVANE_PLOT_BIN, "t"});
  EXPECT_EQ(1, r.status);
  EXPECT_EQ("zolvane-plot: gnuplot wrote an empty picture\n", r.err);
  EXPECT_EQ("<svg/>", ReadFile("populations.svg"));
}

// Started with standard input and output closed, zolvane-plot still hands
// gnuplot the script and the picture file, not one in place of the other.
TEST_F(PopulationPlot, ClosedStandardDescriptors) {
  WriteFile("t", Table());
  RunResult r =
      RunProgram("/bin/sh", {"-c", "exec \"$0\" t -o closed.svg <&- >&-", ZOLVANE_PLOT_BIN});
  ASSERT_EQ(0, r.status) << r.err;
  EXPECT_EQ("", r.err);
  ExpectCurves("closed.svg", TopStates(Table(), 5));
}

// Many curves: the key names as many as have a look of their own (40) and
// tells how many more there are, instead of columns of titles over the plot
// and gnuplot's complaint that they do not fit.
TEST_F(PopulationPlot, ManyCurvesKeepTheKeyReadable) {
  constexpr int kStates = 200;
  std::string table;
  for (int row = 0; row < 3; ++row) {
    table += std::to_string(row + 1);
    for (int k = 0; k < kStates; ++k) table += " " + std::to_string((k + row) % 7 + 1) + "e-3";
    table += "\n";
  }
  table += "# of iterations: 3\n";
  RunResult r = Plot({"--top", std::to_string(kStates)}, table);
  ASSERT_EQ(0, r.status) << r.err;
  EXPECT_EQ("", r.err);
  const std::string svg = "populations.svg";
  ASSERT_EQ(std::to_string(kStates + 1), XPath(svg, std::string("count(") + kCurves + ")"));
  const std::vector<int> top = TopStates(table, kStates);
  for (int i : {1, 40, 41, 200}) {
    SCOPED_TRACE("curve " + std::to_string(i));
    const std::string curve = std::string("(") + kCurves + ")[" + std::to_string(i) + "]";
    EXPECT_EQ("1", XPath(svg, "count(" + curve + "//*[local-name()='path'])"));
    EXPECT_EQ(i <= 40, XPath(svg, "string(" + curve + "/*[local-name()='title'])") ==
                           std::to_string(top[i - 1]));
  }
  ExpectTitle(svg, "+160 more");
}

TEST(PictureFormat, ByExtension) {
  EXPECT_EQ(PictureFormat::kSvg, PictureFormatFor("a.svg"));
  EXPECT_EQ(PictureFormat::kSvg, PictureFormatFor("plot"));
  EXPECT_EQ(PictureFormat::kSvg, PictureFormatFor("dir.png/plot"));
  EXPECT_EQ(PictureFormat::kPng, PictureFormatFor("a.Png"));
  EXPECT_EQ(PictureFormat::kPdf, PictureFormatFor("x/a.pdf"));
}

}  // namespace

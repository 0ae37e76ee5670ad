// The manual pages made at build time: they render without a warning, and
// zolvane(1) holds every option of the help text plus the hand-written part.
#include <gtest/gtest.h>

#include <string>

#include "command_line/command_line_args.h"
#include "tests/test_util.h"

namespace {

std::string Page(const char* name) { return std::string(ZOLVANE_BINARY_DIR) + "/" + name; }

// The page as man shows it, in plain ASCII and 80 columns; warnings on.
RunResult Render(const std::string& page) {
  return RunProgram("/usr/bin/env", {"LC_ALL=C", "MANWIDTH=80", "MAN_KEEP_FORMATTING=", "man",
                                     "--warnings", "-l", page});
}

TEST(ManPage, BothPagesRenderWithoutWarnings) {
  for (const char* name : {"zolvane.1", "zolvane-plot.1", "zolvane.1.gz", "zolvane-plot.1.gz"}) {
    SCOPED_TRACE(name);
    RunResult r = Render(Page(name));
    EXPECT_EQ(0, r.status);
    EXPECT_EQ("", r.err);
    EXPECT_NE(std::string::npos, r.out.find("EXIT STATUS"));
  }
  RunResult groff =
      RunProgram("/usr/bin/groff", {"-ww", "-man", "-Tutf8", "-z", Page("zolvane.1")});
  EXPECT_EQ(0, groff.status);
  EXPECT_EQ("", groff.err);
}

TEST(ManPage, HoldsEveryOptionOfTheHelpAndTheHandWrittenPart) {
  const std::string source = ReadFile(Page("zolvane.1"));
  size_t entries = 0;
  for (size_t at = source.find("\n.TP\n\\fB"); at != std::string::npos;
       at = source.find("\n.TP\n\\fB", at + 1)) {
    ++entries;
  }
  // Every option of the help text is one entry tagged with its bold name.
  EXPECT_EQ(static_cast<size_t>(kNumOptions), entries);

  const std::string page = Render(Page("zolvane.1")).out;
  EXPECT_NE(std::string::npos, page.find("zolvane - compute biopolymer macrostate dynamics"));
  for (const OptionSpec& o : kOptionTable) {
    SCOPED_TRACE(o.long_name);
    EXPECT_NE(std::string::npos, page.find(std::string("--") + o.long_name));
  }
  for (const char* heading : {"INPUT FORMATS", "OUTPUT", "EXIT STATUS", "Text rates file",
                              "Binary rates file", "Qorp file", "# of iterations"}) {
    EXPECT_NE(std::string::npos, page.find(heading)) << heading;
  }
  EXPECT_NE(std::string::npos, page.find(std::string("zolvane ") + ZOLVANE_VERSION));
}

}  // namespace

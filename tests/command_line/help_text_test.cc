// The help and version actions of the real binary, and the help text checked
// against the option table and the initial values it advertises.
#include <gtest/gtest.h>

#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "command_line/command_line_args.h"
#include "tests/test_util.h"

namespace {

// The version comes from project() in CMakeLists.txt, through the generated header.
const char kVersionLine[] = "zolvane " ZOLVANE_VERSION "\n";

struct HelpEntry {
  char short_name = 0;
  std::string long_name;
  std::string meta;
  std::string text;  // all lines of the entry's text, joined by blanks
};

// Splits the entries section into entries, checking the layout of every line:
// option lines start their text at column 32, continuation lines are indented
// by 33 blanks, and the only empty line inside the section is the one in the
// --method entry.
std::vector<HelpEntry> ParseEntries(const std::string& help) {
  std::vector<HelpEntry> entries;
  bool in_entries = false;
  for (const std::string& line : Lines(help)) {
    if (line.rfind("  -h, --help", 0) == 0) in_entries = true;
    if (!in_entries) continue;
    SCOPED_TRACE(line);
    const bool with_letter =
        line.size() > 6 && line.compare(0, 3, "  -") == 0 && line.compare(4, 4, ", --") == 0;
    if (with_letter || line.rfind("      --", 0) == 0) {
      HelpEntry e;
      if (with_letter) e.short_name = line[3];
      size_t name_end = line.find_first_of("= ", 8);
      EXPECT_NE(name_end, std::string::npos);
      if (name_end == std::string::npos) continue;
      e.long_name = line.substr(8, name_end - 8);
      size_t option_end = line.find(' ', name_end);
      if (line[name_end] == '=') e.meta = line.substr(name_end + 1, option_end - name_end - 1);
      size_t text_start = line.find_first_not_of(' ', option_end);
      EXPECT_EQ(text_start, 31u);
      if (text_start != std::string::npos) e.text = line.substr(text_start);
      entries.push_back(e);
    } else if (line.empty()) {
      EXPECT_TRUE(!entries.empty() && entries.back().long_name == "method");
    } else {
      EXPECT_EQ(line.find_first_not_of(' '), 33u);
      if (!entries.empty()) entries.back().text.append(" ").append(line, 33);
    }
  }
  return entries;
}

TEST(HelpTextTest, ActionsPrintToStandardOutputAndExitWithZero) {
  RunResult help = RunZolvane({"--help"});
  ASSERT_EQ(help.status, 0);
  EXPECT_EQ(help.err, "");
  EXPECT_EQ(
      help.out.rfind(std::string(kVersionLine) + "\nCompute biopolymer macrostate dynamics\n"
                                                 "\nUsage: zolvane [OPTIONS]... [FILES]...\n\n"
                                                 "zolvane computes a reduced dynamics",
                     0),
      0u);

  struct Case {
    std::vector<std::string> args;
    std::string out;
  };
  const Case cases[] = {
      {{"-h"}, help.out},
      {{"--he"}, help.out},
      {{"-help"}, help.out},  // a cluster, of which -h acts first
      // Options before the action are stored; later ones are never examined.
      {{"-v", "in", "--help", "--bogus"}, help.out},
      {{"--version"}, kVersionLine},
      {{"-V"}, kVersionLine},
      {{"--vers"}, kVersionLine},
      {{"-qV", "-n"}, kVersionLine},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args[0]);
    RunResult r = RunZolvane(c.args);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, c.out);
    EXPECT_EQ(r.err, "");
  }
}

// The help text is fixed, not generated: it must still list exactly the
// options the parser knows, in table order, with the same letters and
// argument requirements.
TEST(HelpTextTest, EntriesFollowTheOptionTable) {
  RunResult help = RunZolvane({"--help"});
  std::vector<HelpEntry> entries = ParseEntries(help.out);
  ASSERT_EQ(entries.size(), static_cast<size_t>(kNumOptions));
  for (int i = 0; i < kNumOptions; ++i) {
    const OptionSpec& o = kOptionTable[i];
    SCOPED_TRACE(o.long_name);
    EXPECT_EQ(entries[i].long_name, o.long_name);
    EXPECT_EQ(entries[i].short_name, o.short_name);
    EXPECT_EQ(!entries[i].meta.empty(), o.has_arg);
  }
  EXPECT_TRUE(help.out.ends_with("default=`auto')\n"));
}

TEST(HelpTextTest, AdvertisedDefaultsAreTheInitialValues) {
  CommandLineArgs args;
  init_command_line_args(args);
  int checked = 0;
  for (const HelpEntry& e : ParseEntries(RunZolvane({"--help"}).out)) {
    const OptionSpec* spec = nullptr;
    for (const OptionSpec& o : kOptionTable) {
      if (e.long_name == o.long_name) spec = &o;
    }
    ASSERT_NE(spec, nullptr) << e.long_name;
    SCOPED_TRACE(e.long_name);
    const size_t shown_at = e.text.find("default=`");
    if (spec->kind == OptionKind::kFlag) {
      EXPECT_NE(e.text.find("(default=off)"), std::string::npos);
      EXPECT_EQ(args.*spec->int_value, 0);
    } else if (shown_at != std::string::npos) {
      ++checked;
      const size_t from = shown_at + 9;
      const std::string shown = e.text.substr(from, e.text.find('\'', from) - from);
      if (spec->kind == OptionKind::kDouble) {
        EXPECT_EQ(args.*spec->double_value, strtod(shown.c_str(), nullptr));
      } else if (spec->kind == OptionKind::kInt) {
        EXPECT_EQ(args.*spec->int_value, strtol(shown.c_str(), nullptr, 0));
      } else {
        EXPECT_EQ(args.*spec->string_value, shown);
      }
    }
  }
  // method, num-err, t0, t8, Temp, tinc, max-decrease, feps, eigensolver.
  EXPECT_EQ(checked, 9);
}

}  // namespace

// Scanner, store step and messages of parse_command_line, plus the lifecycle of
// CommandLineArgs.
#include "command_line/parse_command_line.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include "command_line/command_line_args.h"
#include "tests/exact_message.h"

namespace {

// Owns an argv built from strings; argv[0] is "./zolvane" so messages show it
// exactly as given.
struct Argv {
  explicit Argv(const std::vector<std::string>& args) : store{"./zolvane"} {
    store.insert(store.end(), args.begin(), args.end());
    for (std::string& s : store) ptrs.push_back(s.data());
    ptrs.push_back(nullptr);
  }
  int argc() const { return static_cast<int>(store.size()); }
  std::vector<std::string> store;
  std::vector<char*> ptrs;
};

void Parse(const std::vector<std::string>& args, CommandLineArgs& out) {
  Argv argv(args);
  parse_command_line(argv.argc(), argv.ptrs.data(), out);
}

std::string Join(const std::vector<std::string>& items) {
  std::ostringstream s;
  for (size_t i = 0; i < items.size(); ++i) s << (i ? "|" : "") << items[i];
  return s.str();
}

// Every given option as "name" (flag), "name=value" (string) or
// "name=value[text]" (number), then the --p0 pieces and the inputs. Doubles
// print as with %g.
std::string Describe(const CommandLineArgs& a) {
  std::ostringstream out;
  const char* sep = "";
  for (const OptionSpec& o : kOptionTable) {
    if (o.count == nullptr || a.*o.count == 0 || o.kind == OptionKind::kList) continue;
    out << sep << o.long_name;
    sep = " ";
    if (a.*o.count != 1) out << "#" << a.*o.count;
    switch (o.kind) {
      case OptionKind::kInt:
        out << "=" << a.*o.int_value << "[" << *(a.*o.text) << "]";
        break;
      case OptionKind::kDouble:
        out << "=" << a.*o.double_value << "[" << *(a.*o.text) << "]";
        break;
      case OptionKind::kString:
        out << "=" << *(a.*o.string_value);
        if (*(a.*o.text) != *(a.*o.string_value)) out << "[" << *(a.*o.text) << "]";
        break;
      default:
        if (a.*o.int_value != 1) out << "=" << a.*o.int_value;
        break;
    }
  }
  EXPECT_EQ(a.p0_count, a.p0_values.size());
  EXPECT_EQ(a.p0_values, a.p0_texts);
  if (!a.p0_values.empty()) {
    out << sep << "p0=[" << Join(a.p0_values) << "]";
    sep = " ";
  }
  if (!a.inputs.empty()) out << sep << "inputs=[" << Join(a.inputs) << "]";
  return out.str();
}

TEST(ParseCommandLineTest, EmptyCommandLineLeavesInitialValues) {
  CommandLineArgs a;
  Parse({}, a);
  EXPECT_EQ(Describe(a), "");
  EXPECT_EQ(a.method_value, "I");
  EXPECT_EQ(a.num_err_value, "H");
  EXPECT_EQ(a.t0_value, 0.1);
  EXPECT_EQ(a.t8_value, 1e12);
  EXPECT_EQ(a.Temp_value, 37.0);
  EXPECT_EQ(a.tinc_value, 1.02);
  EXPECT_EQ(a.max_decrease_value, 1000000);
  EXPECT_EQ(a.feps_value, 1e-15);
  EXPECT_EQ(a.p0_min, 0);
  EXPECT_EQ(a.p0_max, 0);
  for (const OptionSpec& o : kOptionTable) {
    SCOPED_TRACE(o.long_name);
    if (o.kind == OptionKind::kFlag) {
      EXPECT_EQ(a.*o.int_value, 0);
    }
    if (o.text != nullptr) {
      EXPECT_FALSE((a.*o.text).has_value());
    }
  }
}

TEST(ParseCommandLineTest, AcceptedCommandLines) {
  struct Case {
    std::vector<std::string> args;
    std::string expected;
  };
  const Case cases[] = {
      {{"a", "b"}, "inputs=[a|b]"},
      // Abbreviations: all --t* options behave alike, so the first one wins.
      {{"--t=5"}, "t0=5[5]"},
      {{"--ti", "2"}, "tinc=2[2]"},
      {{"--fpt", "3", "--fptf", "out"}, "fpt=3 fptfile=out"},
      {{"--dumpU", "--dumpE"}, "dumpU dumpE"},
      {{"--mlapack-m", "GMP", "--vi", "g"}, "visualize=g mlapack-method=GMP"},
      // Short clusters and attached or separate arguments.
      {{"-vq"}, "verbose quiet"},
      {{"-vn5", "-T", "20"}, "Temp=20[20] nstates=5[5] verbose"},
      {{"-n", "-5"}, "nstates=-5[-5]"},
      {{"--ratesfile", "--bin"}, "ratesfile=--bin"},
      {{"-Bq.txt"}, "qorp=q.txt"},
      // Numbers: base 0 integers, leading blanks, empty argument.
      {{"-n", "010"}, "nstates=8[010]"},
      {{"-n", "0x10"}, "nstates=16[0x10]"},
      {{"-c", " 7"}, "mlapack-precision=7[ 7]"},
      {{"--t0="}, "t0=0[]"},
      {{"--feps", "-1", "--times", "1e3"}, "feps=-1[-1] times=1000[1e3]"},
      // Allowed values.
      {{"-m", "A", "--num-err=R"}, "method=A num-err=R"},
      {{"--num-err", "I"}, "num-err=I"},
      // --p0 splitting and repetition.
      {{"--p0", "2=0.5,3=0.5"}, "p0=[2=0.5|3=0.5]"},
      {{"--p0", "1=0.5\\,x,2=0.5,"}, "p0=[1=0.5,x|2=0.5]"},
      {{"--p0", "1=1", "--p0", "2=0"}, "p0=[1=1|2=0]"},
      {{"--p0", ",a\\b"}, "p0=[|a\\b]"},
      {{"--p0="}, "p0=[]"},
      {{"--p0", "a,,"}, "p0=[a|]"},
      // Non-options, "-" and "--".
      {{"a", "-v", "b", "--", "-q", "c"}, "verbose inputs=[a|b|-q|c]"},
      {{"-", "x", "-n", "5", "y"}, "nstates=5[5] inputs=[-|x|y]"},
      {{"-v", "--"}, "verbose"},
      {{"--", "--"}, "inputs=[--]"},
      {{"-a", "3", "--info", "--just-shorten", "--max-decrease", "7"},
       "absorb=3[3] info just-shorten max-decrease=7[7]"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(Join(c.args));
    CommandLineArgs a;
    Parse(c.args, a);
    EXPECT_EQ(Describe(a), c.expected);
  }
}

// Each option given once by its long name lands in its own named field.
TEST(ParseCommandLineTest, EveryOptionReachesItsField) {
  CommandLineArgs a;
  // clang-format off
  Parse({"--absorb=1", "--method=A", "--num-err=R", "--t0=2", "--t8=3", "--Temp=4",
         "--nstates=5", "--p0=6=0.5", "--tinc=7", "--degeneracy", "--exponent", "--dumpU",
         "--mathematicamatrix", "--bin", "--qorp=q", "--fpt=8", "--recoverE", "--dumpE",
         "--dumpX", "--info", "--ratesfile=r", "--verbose", "--quiet", "--fptfile=ff",
         "--visualize=vv", "--just-shorten", "--max-decrease=9", "--feps=10", "--useplusI",
         "--minimal-rate=11", "--hard-rescale=12", "--equil-file=ee", "--times=13", "--warnings",
         "--mlapack-precision=14", "--mlapack-method=mm", "--eigensolver=acc"},
        a);
  // clang-format on
  EXPECT_EQ(a.absorb_value, 1);
  EXPECT_EQ(a.method_value, "A");
  EXPECT_EQ(a.num_err_value, "R");
  EXPECT_EQ(a.t0_value, 2);
  EXPECT_EQ(a.t8_value, 3);
  EXPECT_EQ(a.Temp_value, 4);
  EXPECT_EQ(a.nstates_value, 5);
  EXPECT_EQ(a.p0_values, std::vector<std::string>{"6=0.5"});
  EXPECT_EQ(a.tinc_value, 7);
  EXPECT_EQ(a.qorp_value, "q");
  EXPECT_EQ(a.fpt_value, "8");
  EXPECT_EQ(a.ratesfile_value, "r");
  EXPECT_EQ(a.fptfile_value, "ff");
  EXPECT_EQ(a.visualize_value, "vv");
  EXPECT_EQ(a.max_decrease_value, 9);
  EXPECT_EQ(a.feps_value, 10);
  EXPECT_EQ(a.minimal_rate_value, 11);
  EXPECT_EQ(a.hard_rescale_value, 12);
  EXPECT_EQ(a.equil_file_value, "ee");
  EXPECT_EQ(a.times_value, 13);
  EXPECT_EQ(a.mlapack_precision_value, 14);
  EXPECT_EQ(a.mlapack_method_value, "mm");
  EXPECT_EQ(a.eigensolver_value, "accurate");  // an unambiguous prefix names the value
  for (int flag :
       {a.degeneracy_value, a.exponent_value, a.dumpU_value, a.mathematicamatrix_value, a.bin_value,
        a.recoverE_value, a.dumpE_value, a.dumpX_value, a.info_value, a.verbose_value,
        a.quiet_value, a.just_shorten_value, a.useplusI_value, a.warnings_value}) {
    EXPECT_EQ(flag, 1);
  }
  for (const OptionSpec& o : kOptionTable) {
    SCOPED_TRACE(o.long_name);
    if (o.count != nullptr) {
      EXPECT_EQ(a.*o.count, 1u);
    }
    if (o.text != nullptr) {
      EXPECT_TRUE((a.*o.text).has_value());
    }
  }
}

TEST(ParseCommandLineTest, NonOptionsArePermutedBehindOptions) {
  Argv argv({"a", "-v", "b", "-n", "5", "--", "-q", "c"});
  CommandLineArgs a;
  parse_command_line(argv.argc(), argv.ptrs.data(), a);
  std::vector<std::string> permuted(argv.ptrs.begin(), argv.ptrs.end() - 1);
  EXPECT_EQ(Join(permuted), "./zolvane|-v|-n|5|--|a|b|-q|c");
  EXPECT_EQ(Join(a.inputs), "a|b|-q|c");
}

TEST(ParseCommandLineTest, ReleaseClearsEverythingAndIsSafeTwice) {
  CommandLineArgs a;
  Parse({"-m", "A", "-f", "r", "-v", "--p0", "1=1,2=0", "in"}, a);
  release_command_line_args(a);
  release_command_line_args(a);
  for (const OptionSpec& o : kOptionTable) {
    SCOPED_TRACE(o.long_name);
    if (o.count != nullptr) {
      EXPECT_EQ(a.*o.count, 0u);
    }
    if (o.string_value != nullptr) {
      EXPECT_FALSE((a.*o.string_value).has_value());
    }
    if (o.text != nullptr) {
      EXPECT_FALSE((a.*o.text).has_value());
    }
  }
  EXPECT_TRUE(a.p0_values.empty());
  EXPECT_TRUE(a.p0_texts.empty());
  EXPECT_TRUE(a.inputs.empty());
  // A released record can be parsed into again.
  Parse({"-n", "3"}, a);
  EXPECT_EQ(Describe(a), "nstates=3[3]");
  EXPECT_EQ(a.method_value, "I");
}

TEST(ParseCommandLineDeathTest, ErrorsPrintOneMessageAndExitWithOne) {
  struct Case {
    std::vector<std::string> args;
    std::string message;
  };
  const Case cases[] = {
      {{"--ma=3"}, "./zolvane: option `--ma=3' is ambiguous\n"},
      {{"--d"}, "./zolvane: option `--d' is ambiguous\n"},
      {{"--du"}, "./zolvane: option `--du' is ambiguous\n"},
      {{"--mlapack", "x"}, "./zolvane: option `--mlapack' is ambiguous\n"},
      {{"--foo=1"}, "./zolvane: unrecognized option `--foo=1'\n"},
      {{"--Verbose"}, "./zolvane: unrecognized option `--Verbose'\n"},
      {{"--verb=1"}, "./zolvane: option `--verbose' doesn't allow an argument\n"},
      {{"--nst"}, "./zolvane: option `--nst' requires an argument\n"},
      {{"-x5"}, "./zolvane: invalid option -- 5\n"},
      {{"-:"}, "./zolvane: invalid option -- :\n"},
      {{"-v", "-n"}, "./zolvane: option requires an argument -- n\n"},
      {{"-n", "5", "--nstates=6"}, "./zolvane: `--nstates' (`-n') option given more than once\n"},
      {{"-vv"}, "./zolvane: `--verbose' (`-v') option given more than once\n"},
      {{"--info", "--in"}, "./zolvane: `--info' option given more than once\n"},
      {{"-m", "a"}, "./zolvane: invalid argument, \"a\", for option `--method' (`-m')\n"},
      {{"-m", ""}, "./zolvane: ambiguous argument, \"\", for option `--method' (`-m')\n"},
      {{"--num-err=X"}, "./zolvane: invalid argument, \"X\", for option `--num-err'\n"},
      {{"-n", "5x"}, "./zolvane: invalid numeric value: 5x\n"},
      {{"--t0=1e"}, "./zolvane: invalid numeric value: 1e\n"},
      {{"-a", "0x"}, "./zolvane: invalid numeric value: 0x\n"},
      {{"-T", "3 "}, "./zolvane: invalid numeric value: 3 \n"},
      // Integers beyond int are refused, not wrapped (4294967298 was 2).
      {{"-n", "4294967298"}, "./zolvane: invalid numeric value: 4294967298\n"},
      {{"-n", "0x100000001"}, "./zolvane: invalid numeric value: 0x100000001\n"},
      {{"-a", "-2147483649"}, "./zolvane: invalid numeric value: -2147483649\n"},
      {{"--max-decrease", "99999999999999999999"},
       "./zolvane: invalid numeric value: 99999999999999999999\n"},
      // Scanning stops at the first error, even with --help later.
      {{"a", "--bogus", "--help"}, "./zolvane: unrecognized option `--bogus'\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(Join(c.args));
    CommandLineArgs a;
    EXPECT_EXIT(Parse(c.args, a), testing::ExitedWithCode(1), ExactMessage(c.message));
  }
}

TEST(ParseCommandLineDeathTest, ProgramNameIsArgvZeroAsGiven) {
  std::vector<std::string> store = {"/some/where/zz", "-q", "-q"};
  std::vector<char*> ptrs = {store[0].data(), store[1].data(), store[2].data(), nullptr};
  CommandLineArgs a;
  EXPECT_EXIT(parse_command_line(3, ptrs.data(), a), testing::ExitedWithCode(1),
              ExactMessage("/some/where/zz: `--quiet' (`-q') option given more than once\n"));
}

}  // namespace

// Conversion and validation of the parsed command line into RunOptions: the
// accepted values, the order and text of the errors, the --p0 table and its
// messages, the input streams and the --info report.
#include "app/program_options.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include "command_line/parse_command_line.h"
#include "matrix/lapack.h"
#include "tests/test_util.h"

namespace {

// Parses and validates `args`; the CommandLineArgs stay alive with the options
// since RunOptions borrows texts from them.
struct Validated {
  explicit Validated(const std::vector<std::string>& args) {
    std::vector<std::string> store = {"zolvane"};
    store.insert(store.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& s : store) argv.push_back(s.data());
    argv.push_back(nullptr);
    ResetRunOptions(record.opts);
    parse_command_line(static_cast<int>(store.size()), argv.data(), record.args);
    status = ConvertAndValidate(record.args, record.opts);
  }
  ProgramRecord record;
  Status status;
};

// The fields that differ from a default-constructed RunOptions, numbers as
// with %g.
std::string Describe(const RunOptions& o) {
  const RunOptions d;
  std::ostringstream out;
  const char* sep = "";
  auto add = [&](const char* name) -> std::ostringstream& {
    out << sep << name;
    sep = " ";
    return out;
  };
  auto num = [&](const char* name, double v, double dv) {
    if (v != dv) add(name) << "=" << v;
  };
  num("absorb", o.absorb, d.absorb);
  num("verbose", o.verbose, d.verbose);
  num("degeneracy", o.degeneracy, d.degeneracy);
  num("dumpU", o.dumpU, d.dumpU);
  num("dumpX", o.dumpX, d.dumpX);
  num("mathematicamatrix", o.mathematicamatrix, d.mathematicamatrix);
  num("exponent", o.exponent, d.exponent);
  num("bin", o.bin, d.bin);
  num("recoverE", o.recoverE, d.recoverE);
  num("dumpE", o.dumpE, d.dumpE);
  num("nstates", o.nstates, d.nstates);
  num("Temp", o.Temp, d.Temp);
  num("t0", o.t0, d.t0);
  num("t8", o.t8, d.t8);
  num("tinc", o.tinc, d.tinc);
  if (!o.p0.empty()) {
    add("p0") << "=[";
    for (size_t i = 0; i < o.p0.size(); ++i) out << (i ? "," : "") << o.p0[i];
    out << "]";
  }
  if (o.method != d.method) add("method") << "=" << o.method;
  if (o.ratesfile != stdin) add("ratesfile");
  if (o.qorp != stdin) add("qorp");
  num("fpt", o.fpt, d.fpt);
  num("fpt_state", o.fpt_state, d.fpt_state);
  if (o.fptfile) add("fptfile") << "=" << *o.fptfile;
  if (o.visualize) add("visualize") << "=" << o.visualize;
  num("quiet", o.quiet, d.quiet);
  num("just_shorten", o.just_shorten, d.just_shorten);
  num("max_decrease", o.max_decrease, d.max_decrease);
  if (o.num_err != d.num_err) add("num_err") << "=" << o.num_err;
  num("feps", o.feps, d.feps);
  num("useplusI", o.useplusI, d.useplusI);
  num("minimal_rate", o.minimal_rate, d.minimal_rate);
  num("hard_rescale", o.hard_rescale, d.hard_rescale);
  if (o.equil_file) add("equil_file") << "=" << o.equil_file;
  num("times", o.times, d.times);
  num("warnings", o.warnings, d.warnings);
  num("mlapack_method", static_cast<int>(o.mlapack_method), static_cast<int>(d.mlapack_method));
  num("mlapack_precision", o.mlapack_precision, d.mlapack_precision);
  return out.str();
}

TEST(ProgramOptionsTest, AcceptedValues) {
  struct Case {
    std::vector<std::string> args;
    std::string expected;
  };
  const Case cases[] = {
      {{}, ""},
      {{"-m", "A", "--num-err", "R"}, "method=A num_err=R"},
      {{"-m", "I", "--num-err", "H"}, ""},
      {{"--num-err", "I"}, "num_err=I"},
      {{"--feps", "1e-10", "--useplusI"}, "feps=1e-10 useplusI=1"},
      {{"--fptfile", "f.txt", "--equil-file", "eq", "--visualize", "g"},
       "fptfile=f.txt visualize=g equil_file=eq"},
      {{"-a", "3"}, "absorb=3"},
      {{"-a", "0", "-n", "1"}, "nstates=1"},
      {{"--t0", "0", "--t8", "5", "--tinc", "1.5"}, "t0=0 t8=5 tinc=1.5"},
      {{"-T", "-273.14"}, "Temp=-273.14"},
      {{"--minimal-rate", "1e-3", "--hard-rescale", "0.5", "--times", "2"},
       "minimal_rate=0.001 hard_rescale=0.5 times=2"},
      {{"--just-shorten", "--max-decrease", "1"}, "just_shorten=1 max_decrease=1"},
      {{"--degeneracy", "-qvxb", "--dumpU", "--mathematicamatrix", "--warnings", "--exponent"},
       "verbose=1 degeneracy=1 dumpU=1 dumpX=1 mathematicamatrix=1 exponent=1 bin=1 quiet=1 "
       "warnings=1"},
      {{"-t", "all"}, "fpt=1"},
      {{"-t", "3", "-r"}, "recoverE=1 fpt=1 fpt_state=3"},
      {{"-e"}, "dumpE=1"},
      {{"-r", "-e", "-q"}, "recoverE=1 quiet=1"},  // the two exclude each other
      {{"-c", "128"}, ""},                         // accepted, no effect
      // --mlapack-method as the help text writes it; the precision counts
      // for MPFR and GMP only.
      {{"--mlapack-method", "DOUBLE"}, "mlapack_method=1"},
      {{"--mlapack-method", "LD", "-c", "300"}, "mlapack_method=2"},
      {{"--mlapack-method", "DD"}, "mlapack_method=3"},
      {{"--mlapack-method", "QD"}, "mlapack_method=4"},
      {{"--mlapack-method", "FLOAT128", "--fpt", "all"}, "fpt=1 mlapack_method=5"},
      {{"--mlapack-method", "MPFR", "-c", "256"}, "mlapack_method=6 mlapack_precision=256"},
      {{"--mlapack-method=GMP", "--mlapack-precision=24"}, "mlapack_method=7 mlapack_precision=24"},
      // --p0: [1 + 2m, pairs..., zero fill up to 2k + 1].
      {{"--p0", "2=0.5", "--p0", "3=0.5"}, "p0=[5,2,0.5,3,0.5]"},
      {{"--p0", "2=0.5,3=0.5"}, "p0=[5,2,0.5,3,0.5]"},
      {{"--p0", "2=0.995", "-q"}, "p0=[3,2,0.995] quiet=1"},
      {{"--p0", "2=0.5", "-q"}, "p0=[3,2,1] quiet=1"},
      {{"--p0", "2=1.5", "-q"}, "p0=[1,0,0] quiet=1"},
      {{"--p0", "2=,3=-0.1,4=0.3,5=0.2", "-q"}, "p0=[5,4,0.6,5,0.4,0,0,0,0] quiet=1"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.args));
    testing::internal::CaptureStderr();  // --p0 sum messages
    Validated v(c.args);
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(Describe(v.record.opts), c.expected);
  }
}

TEST(ProgramOptionsTest, NegativeFepsMeansTwiceTheSafeMinimum) {
  Validated v({"--feps", "-1"});
  EXPECT_EQ(v.record.opts.feps, 2 * dlamch_("S", 1));
}

TEST(ProgramOptionsTest, InputFilesAreOpenedForReading) {
  ScopedTempDir dir;
  WriteFile("rates.txt", "rates\n");
  WriteFile("x.qorp", "qorp\n");
  Validated v({"-f", "rates.txt", "--qorp", "x.qorp"});
  char buf[16] = {};
  ASSERT_NE(v.record.opts.ratesfile, stdin);
  ASSERT_NE(v.record.opts.qorp, stdin);
  EXPECT_STREQ(fgets(buf, sizeof buf, v.record.opts.ratesfile), "rates\n");
  EXPECT_STREQ(fgets(buf, sizeof buf, v.record.opts.qorp), "qorp\n");
  fclose(v.record.opts.ratesfile);
  fclose(v.record.opts.qorp);
}

TEST(ProgramOptionsTest, WarningsGoToStandardError) {
  struct Case {
    std::vector<std::string> args;
    std::string err;
  };
  const Case cases[] = {
      {{"--p0", "2=0.5,3=0.5"}, ""},
      {{"--p0", "2=0.5"},
       "Values of --p0 must sum up to 1 (currently  0.50)\n"
       "WARNING:  --p0 values normalized sum up to  1.00\n"},
      {{"--p0", "2=0.5", "-q"}, "Values of --p0 must sum up to 1 (currently  0.50)\n"},
      {{"--p0", "2=1.5"},
       "Values of --p0 must sum up to 1 (currently  0.00)\n"
       "WARNING:  --p0 values normalized sum up to  0.00\n"},
      {{"-r", "-e"},
       "WARNING: both options -w and -r were given\n"
       "         disabling -w now, since they are mutually exclusive !\n"},
      {{"-r", "-e", "-q"}, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.args));
    testing::internal::CaptureStderr();
    Validated v(c.args);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), c.err);
  }
}

TEST(ProgramOptionsTest, InvalidValuesAreRefusedWithOneMessage) {
  struct Case {
    std::vector<std::string> args;
    std::string message;
  };
  const Case cases[] = {
      {{"--p0", "x"}, ""},  // not even a state: no message
      {{"--p0", "1=1,0=1"}, "States in --p0 must be >=1\n"},
      {{"-a", "-1"}, "Value of --absorb must be >= 0\n"},
      {{"--t0", "-1e-9"}, "Value of --t0 must be >= 0.\n"},
      {{"--t8", "0"}, "Value of --t8 must be > 0.\n"},
      {{"--t8", "nan"}, "Value of --t8 must be > 0.\n"},
      {{"--tinc", "0"}, "Value of --tinc must be > 0.\n"},
      {{"-T", "-273.15"}, "Value of --Temp must be > -273.15\n"},
      {{"-T", "-300"}, "Value of --Temp must be > -273.15\n"},
      {{"-f", "missing.txt"}, "Cannot open rate file missing.txt!\n"},
      {{"-q", "-f", "missing.txt"}, ""},
      {{"-q", "-B", "missing.qorp"}, "Cannot open rate file missing.qorp!\n"},
      {{"--minimal-rate", "0"}, "Value of --minimal-rate must be > 0.\n"},
      {{"--hard-rescale", "-1"}, "Value of --hard-rescale must be > 0.\n"},
      {{"--times", "0"}, "Value of --times must be > 0.\n"},
      {{"-n", "0"}, "Value of --nstates must be >= 1\n"},
      {{"--max-decrease", "0"}, "Value of --max-decrease must be >= 1\n"},
      {{"-t", "0"},
       "Value of --fpt (-t) must be either \"all\" or positive number. (it is \"0\")\n"},
      {{"-t", "-3"},
       "Value of --fpt (-t) must be either \"all\" or positive number. (it is \"-3\")\n"},
      {{"-t", "x"},
       "Value of --fpt (-t) must be either \"all\" or positive number. (it is \"x\")\n"},
      // Names are matched exactly; anything else keeps the old refusal.
      {{"--mlapack-method", "double"}, "The mlapack library double is not available!\n"},
      {{"--mlapack-method", "MPFR128"}, "The mlapack library MPFR128 is not available!\n"},
      {{"--mlapack-method", "MPFR"},
       "--mlapack-method MPFR needs --mlapack-precision (the number of bits)\n"},
      {{"-c", "0", "--mlapack-method", "GMP"},
       "Value of --mlapack-precision must be between 24 and 100000\n"},
      {{"--mlapack-method", "MPFR", "-c", "100001"},
       "Value of --mlapack-precision must be between 24 and 100000\n"},
      {{"--mlapack-method", "DD", "--exponent"},
       "--exponent cannot be combined with --mlapack-method\n"},
      {{"--mlapack-method", "QD", "-r"},
       "--recoverE cannot be combined with --mlapack-method (the stored decomposition holds "
       "doubles)\n"},
      // Numbers read as "%d" used to wrap: 4294967298 named state 2.
      {{"-t", "4294967298"},
       "Value of --fpt (-t) must be either \"all\" or positive number. (it is \"4294967298\")\n"},
      {{"-t", "-4294967295"},
       "Value of --fpt (-t) must be either \"all\" or positive number. (it is \"-4294967295\")\n"},
      {{"--p0", "4294967298=1"}, "States in --p0 must be >=1\n"},
      // A second value for one state would replace the first after both
      // passed the sum check.
      {{"--p0", "1=0.5", "--p0", "1=0.5"}, "ERROR: state 1 is given more than once in --p0\n"},
      {{"--p0", "2=0.5,3=0.25,2=0.25"}, "ERROR: state 2 is given more than once in --p0\n"},
      // Non-finite or useless thresholds.
      {{"--t8", "inf"}, "Value of --t8 must be > 0.\n"},
      {{"--feps", "nan"}, "Value of --feps must be < 1.\n"},
      {{"--feps", "1"}, "Value of --feps must be < 1.\n"},
      // The first failing check in the fixed order wins.
      {{"--t8", "0", "--t0", "-1"}, "Value of --t0 must be >= 0.\n"},
      {{"-n", "0", "--t8", "0"}, "Value of --t8 must be > 0.\n"},
      {{"-a", "-1", "--p0", "0=1"}, "States in --p0 must be >=1\n"},
      {{"-t", "x", "-n", "0"}, "Value of --nstates must be >= 1\n"},
  };
  ScopedTempDir dir;
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.args));
    testing::internal::CaptureStderr();
    Validated v(c.args);
    // The message is the whole of what the run prints.
    EXPECT_EQ("", testing::internal::GetCapturedStderr());
    EXPECT_EQ(kExitError, v.status.exit_status);
    EXPECT_EQ(c.message, v.status.message);
  }
}

TEST(ProgramOptionsTest, InfoReportsSettingsAndExitsWithZero) {
  RunResult r =
      RunZolvane({"--p0", "1=1.5,2=1", "-a", "3",  "--t8", "5e7", "-T", "25", "-m",
                  "A",    "-n",        "40", "-t", "2",    "-r",  "-e", "-b", "--mlapack-method",
                  "X",    "--info"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err,
            "Settings:\n"
            "--absorb   =   3\n"
            "--t0       =   0.1000\n"
            "--t8       =   5e+07\n"
            "--tinc     =   1.02\n"
            "--Temp     =  25.00\n"
            "--method   = A\n"
            "--nstates  = 40\n"
            "--fpt      = 1\n"
            "--exponent = 0\n"
            "--dumpU    = 0\n"
            "--dumpX    = 0\n"
            "-b         = 1\n"
            "-r         = 1\n"
            "-e         = 1\n"
            "-v         = 0\n"
            "--p0         2=1.00\n"
            "--p0         0=0.00\n");
}

}  // namespace

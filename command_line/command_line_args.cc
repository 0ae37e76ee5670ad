// The option table, the initial values of CommandLineArgs, and the fixed
// help and version texts.
#include "command_line/command_line_args.h"

#include <cstdio>

namespace {

const char* const kMethodValues[] = {"A", "I", nullptr};
const char* const kNumErrValues[] = {"I", "H", "R", nullptr};
const char* const kEigensolverValues[] = {"auto", "lapack", "accurate", nullptr};

using A = CommandLineArgs;
constexpr OptionKind kAction = OptionKind::kAction;
constexpr OptionKind kFlag = OptionKind::kFlag;
constexpr OptionKind kInt = OptionKind::kInt;
constexpr OptionKind kDouble = OptionKind::kDouble;
constexpr OptionKind kString = OptionKind::kString;

constexpr OptionSpec Action(const char* name, char letter) {
  return {name, letter, false, kAction, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr};
}
constexpr OptionSpec Flag(const char* name, char letter, unsigned A::*count, int A::*value) {
  return {name, letter, false, kFlag, nullptr, count, value, nullptr, nullptr, nullptr};
}
constexpr OptionSpec Int(const char* name, char letter, unsigned A::*count, int A::*value,
                         std::optional<std::string> A::*text) {
  return {name, letter, true, kInt, nullptr, count, value, nullptr, nullptr, text};
}
constexpr OptionSpec Double(const char* name, char letter, unsigned A::*count, double A::*value,
                            std::optional<std::string> A::*text) {
  return {name, letter, true, kDouble, nullptr, count, nullptr, value, nullptr, text};
}
constexpr OptionSpec String(const char* name, char letter, unsigned A::*count,
                            std::optional<std::string> A::*value,
                            std::optional<std::string> A::*text,
                            const char* const* allowed = nullptr) {
  return {name, letter, true, kString, allowed, count, nullptr, nullptr, value, text};
}

// A row the distributed run refuses (`when`: always, or with binary input).
constexpr OptionSpec SerialOnly(OptionSpec spec,
                                InDistributedRun when = InDistributedRun::kRefused) {
  spec.distributed = when;
  return spec;
}

// Everything after the version line. Entry texts start at column 32 and
// continuation lines are indented by 33 blanks. It is a fixed text rather
// than generated from the table so that its hand-made wrapping never changes.
const char kHelpBody[] = R"HELP(
Compute biopolymer macrostate dynamics

Usage: zolvane [OPTIONS]... [FILES]...

zolvane computes a reduced dynamics of biopolymer folding by means of numeric
integration of a Markov process that generally operates at the level of
macrostates, i.e. basins of attraction of the underlying energy landscape.

zolvane expects a .qorp file via stdin, and optionally a rates file in the
current working directory. Both the .qorp file and the rates file (default name
is rates.out) can be obtained from qorpmap. In case of -m I option (default)
the program needs just the rate file provided as standard input.

  -h, --help                   Print help and exit
  -V, --version                Print version and exit
  -a, --absorb=state           Make a state absorbing
  -m, --method=STRING          Select method to build transition matrix:
                                 A ==> Arrhenius-like kinetics

                                 I ==> use input as a rate matrix  (possible
                                 values="A", "I" default=`I')
      --num-err=STRING         Specify how to treat issues with numerical
                                 errors in probability:
                                 I ==> Ignore
                                 H ==> Halt the program
                                 R ==> Rescale the probability  (possible
                                 values="I", "H", "R" default=`H')
      --t0=time                Start time  (default=`0.1')
      --t8=time                Stop time  (default=`1E12')
  -T, --Temp=DOUBLE            Temperature in Celsius  (default=`37.0')
  -n, --nstates=INT            Read only first <int> states (assume
                                 quasi-stationary distribution (derivation of
                                 others is = 0))
      --p0=STRING              Set initial population of state <int> to
                                 <double>
                                 Can be given multiple times
                                 (NOTE: sum of <double> must equal 1)
                                 (example: "--p0 2=1.0" - state 2 has initial
                                 population 100 percent)
      --tinc=DOUBLE            Time scaling factor (for log time-scale)
                                 (default=`1.02')
      --degeneracy             Consider degeneracy in transition rates
                                 (default=off)
      --exponent               Use matrix-expontent routines, rather than
                                 diagonalization  (default=off)
      --dumpU                  Dump transition matrix U to file mx.txt (and to
                                 binary mx.bin - not fixed yet)  (default=off)
      --mathematicamatrix      Dump transition matrix U to Mathematica-readable
                                 file mxMat.txt  (default=off)
  -b, --bin                    Assume binary rates input  (default=off)
  -B, --qorp=STRING            Read qorpmap input from file instead of
                                 standard input. Required in case "-m I"
                                 (rates kinetics) AND "-a" (absorbing state)
                                 is given
  -t, --fpt=STRING             Compute first passage times (FPT). Arguments:
                                 all => compute all FPT (slow)
                                 <num> - compute FPT to state <num> from all
                                 states
  -r, --recoverE               Recover from pre-ccomputes eigenvalues and
                                 eigenvectors  (default=off)
  -e, --dumpE                  Dump eigenvalues and eigenvectors to a binary
                                 recovery file and continue with iteration
                                 (default=off)
  -x, --dumpX                  Dump eigenvalues to ASCII file and exit (do not
                                 iterate)  (default=off)
      --info                   Show settings  (default=off)
  -f, --ratesfile=STRING       Read transition rates from file instead of
                                 standard input.
  -v, --verbose                Verbose output  (default=off)
  -q, --quiet                  Be silent (do not print out the output)
                                 (default=off)
      --fptfile=STRING         Filename of FPT file (provided -t option given)
      --visualize=STRING       Filename where to print a visualization of rate
                                 graph (without file subscript, two files will
                                 be generated: .dot and .eps with text and
                                 visual representation of graph)
      --just-shorten           Do not diagonalize and iterate, just shorten
                                 input (meaningfull only with -n X option or
                                 -fpt option or --visualize option)
                                 (default=off)
      --max-decrease=INT       Maximal decrease in dimension in one step
                                 (default=`1000000')
      --feps=DOUBLE            Machine precision used by LAPACK routines (and
                                 matrix aritmetic) -- if set to negative
                                 number, the lapack suggested value is used
                                 (2*DLAMCH("S") )  (default=`1E-15')
      --useplusI               Use old zolvane computation where we add
                                 identity matrix to transition matrix.
                                 Sometimes less precise (maybe sometimes also
                                 more precise), in normal case it should not
                                 affect results at all.  (default=off)
      --minimal-rate=DOUBLE    Rescale all rates to be higher than the minimal
                                 rate using formula  "rate ->
                                 rate^(ln(desired_minimal_rate)/ln(minimal_rate))",
                                 where desired_minimal_rate is from input,
                                 minimal_rate is the lowest from all rates in
                                 rate matrix.
      --hard-rescale=DOUBLE    Rescale all rates by a hard exponent (usually
                                 0.0<HR<1.0). Formula: "rate ->
                                 rate^(hard-rescale)". Overrides
                                 --minimal-rate argument.
      --equil-file=STRING      Write equilibrium distribution into a file.
      --times=DOUBLE           Multiply rates with a constant number.
      --warnings               Turn all the warnings about underflow on.
                                 (default=off)
  -c, --mlapack-precision=INT  Number of bits for the eigenvalue method of the
                                 mlapack library. A value > 64 is recommended,
                                 otherwise the standard lapack method would be
                                 faster.
      --mlapack-method=STRING  The mlapack precision method. "LD", "QD",
                                 "DD", "DOUBLE", "GMP", "MPFR",
                                 "FLOAT128". You have to set
                                 mlapack-precision if "GMP", "MPFR" is
                                 selected! "LD" is the standard long double
                                 with 80 bit.
      --eigensolver=STRING     Eigensolver for rates in detailed balance:
                                 auto ==> accurate
                                 accurate ==> factorised solver, every digit
                                 right on stiff landscapes
                                 lapack ==> LAPACK (dsyevd; the general solver
                                 beside an absorbing state), loses the slow
                                 relaxations of stiff landscapes  (possible
                                 values="auto", "lapack", "accurate"
                                 default=`auto')
)HELP";

}  // namespace

const OptionSpec kOptionTable[kNumOptions] = {
    Action("help", 'h'),
    Action("version", 'V'),
    SerialOnly(Int("absorb", 'a', &A::absorb_count, &A::absorb_value, &A::absorb_text)),
    String("method", 'm', &A::method_count, &A::method_value, &A::method_text, kMethodValues),
    String("num-err", 0, &A::num_err_count, &A::num_err_value, &A::num_err_text, kNumErrValues),
    Double("t0", 0, &A::t0_count, &A::t0_value, &A::t0_text),
    Double("t8", 0, &A::t8_count, &A::t8_value, &A::t8_text),
    Double("Temp", 'T', &A::Temp_count, &A::Temp_value, &A::Temp_text),
    // Binary rates are the one input --nstates reduces.
    SerialOnly(Int("nstates", 'n', &A::nstates_count, &A::nstates_value, &A::nstates_text),
               InDistributedRun::kRefusedWithBinaryInput),
    {"p0", 0, true, OptionKind::kList, nullptr, &A::p0_count, nullptr, nullptr, nullptr, nullptr},
    Double("tinc", 0, &A::tinc_count, &A::tinc_value, &A::tinc_text),
    SerialOnly(Flag("degeneracy", 0, &A::degeneracy_count, &A::degeneracy_value)),
    SerialOnly(Flag("exponent", 0, &A::exponent_count, &A::exponent_value)),
    SerialOnly(Flag("dumpU", 0, &A::dumpU_count, &A::dumpU_value)),
    SerialOnly(
        Flag("mathematicamatrix", 0, &A::mathematicamatrix_count, &A::mathematicamatrix_value)),
    Flag("bin", 'b', &A::bin_count, &A::bin_value),
    String("qorp", 'B', &A::qorp_count, &A::qorp_value, &A::qorp_text),
    SerialOnly(String("fpt", 't', &A::fpt_count, &A::fpt_value, &A::fpt_text)),
    SerialOnly(Flag("recoverE", 'r', &A::recoverE_count, &A::recoverE_value)),
    SerialOnly(Flag("dumpE", 'e', &A::dumpE_count, &A::dumpE_value)),
    Flag("dumpX", 'x', &A::dumpX_count, &A::dumpX_value),
    Flag("info", 0, &A::info_count, &A::info_value),
    String("ratesfile", 'f', &A::ratesfile_count, &A::ratesfile_value, &A::ratesfile_text),
    SerialOnly(Flag("verbose", 'v', &A::verbose_count, &A::verbose_value)),
    Flag("quiet", 'q', &A::quiet_count, &A::quiet_value),
    String("fptfile", 0, &A::fptfile_count, &A::fptfile_value, &A::fptfile_text),
    SerialOnly(
        String("visualize", 0, &A::visualize_count, &A::visualize_value, &A::visualize_text)),
    Flag("just-shorten", 0, &A::just_shorten_count, &A::just_shorten_value),
    Int("max-decrease", 0, &A::max_decrease_count, &A::max_decrease_value, &A::max_decrease_text),
    Double("feps", 0, &A::feps_count, &A::feps_value, &A::feps_text),
    Flag("useplusI", 0, &A::useplusI_count, &A::useplusI_value),
    Double("minimal-rate", 0, &A::minimal_rate_count, &A::minimal_rate_value,
           &A::minimal_rate_text),
    Double("hard-rescale", 0, &A::hard_rescale_count, &A::hard_rescale_value,
           &A::hard_rescale_text),
    String("equil-file", 0, &A::equil_file_count, &A::equil_file_value, &A::equil_file_text),
    Double("times", 0, &A::times_count, &A::times_value, &A::times_text),
    Flag("warnings", 0, &A::warnings_count, &A::warnings_value),
    SerialOnly(Int("mlapack-precision", 'c', &A::mlapack_precision_count,
                   &A::mlapack_precision_value, &A::mlapack_precision_text)),
    SerialOnly(String("mlapack-method", 0, &A::mlapack_method_count, &A::mlapack_method_value,
                      &A::mlapack_method_text)),
    String("eigensolver", 0, &A::eigensolver_count, &A::eigensolver_value, &A::eigensolver_text,
           kEigensolverValues),
};

void init_command_line_args(CommandLineArgs& args) {
  release_command_line_args(args);
  for (const OptionSpec& o : kOptionTable) {
    if (o.int_value != nullptr) args.*o.int_value = 0;
    if (o.double_value != nullptr) args.*o.double_value = 0.0;
  }
  args.p0_min = 0;
  args.p0_max = 0;
  args.method_value.emplace(1, 'I');
  args.eigensolver_value.emplace("auto");
  args.num_err_value.emplace(1, 'H');
  args.t0_value = 0.1;
  args.t8_value = 1e12;
  args.Temp_value = 37.0;
  args.tinc_value = 1.02;
  args.max_decrease_value = 1000000;
  args.feps_value = 1e-15;
}

void release_command_line_args(CommandLineArgs& args) {
  for (const OptionSpec& o : kOptionTable) {
    if (o.count != nullptr) args.*o.count = 0;
    if (o.string_value != nullptr) (args.*o.string_value).reset();
    if (o.text != nullptr) (args.*o.text).reset();
  }
  // Swapping with empty vectors gives the memory back, not just the size.
  std::vector<std::string>().swap(args.p0_values);
  std::vector<std::string>().swap(args.p0_texts);
  std::vector<std::string>().swap(args.inputs);
}

void print_version() { printf("%s %s\n", kProgramName, kProgramVersion); }

void print_help() {
  print_version();
  fputs(kHelpBody, stdout);
}

// Conversion of CommandLineArgs into RunOptions. The order of the checks is
// part of the interface: the first failing check names the error.
#include "app/program_options.h"

#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "base/exit_status.h"
#include "base/status.h"
#include "calc/extended/extended.h"
#include "command_line/parse_command_line.h"
#include "matrix/lapack.h"

namespace {

// Reads a decimal int as "%d" would (leading blanks, a sign, digits), but a
// number beyond the int range fails instead of wrapping. `rest` points behind
// the digits read (at the start when there were none).
bool ReadInt(const char* text, int& value, const char*& rest) {
  char* end = nullptr;
  errno = 0;
  const long v = strtol(text, &end, 10);
  rest = end;
  if (end == text) return false;
  if (errno == ERANGE || v < INT_MIN || v > INT_MAX) return false;
  value = static_cast<int>(v);
  return true;
}

// MPFR and GMP precision in bits: below 24 is less than float, and far above
// a few thousand bits the run would take hours at any size worth running.
constexpr int kMinPrecisionBits = 24;
constexpr int kMaxPrecisionBits = 100000;

// Builds the table: element 0 = 1 + 2m, then m accepted (state, value) pairs,
// zero-filled up to 2k + 1 elements for k pieces.
Status BuildP0Table(const CommandLineArgs& args, std::vector<double>& table) {
  table.assign(2 * args.p0_values.size() + 1, 0.0);
  table[0] = 1.0;
  size_t pairs = 0;
  std::vector<int> seen;
  for (const std::string& piece : args.p0_values) {
    int state = 0;
    double value = 0.0;
    int read = 0;
    const char* rest = nullptr;
    if (!ReadInt(piece.c_str(), state, rest)) {
      // Digits that do not fit an int: refused, not wrapped into another state.
      if (rest != piece.c_str()) return Failure(kExitError, "States in --p0 must be >=1\n");
      return Status{kExitError, ""};
    }
    read = 1 + (sscanf(rest, "=%lg", &value) == 1 ? 1 : 0);
    if (state < 1) return Failure(kExitError, "States in --p0 must be >=1\n");
    // A second value for one state would silently replace the first after
    // both passed the sum check.
    for (int s : seen) {
      if (s == state)
        return Failure(kExitError, "ERROR: state %d is given more than once in --p0\n", state);
    }
    seen.push_back(state);
    // A piece without a readable value is dropped like one out of range; the
    // negated test also drops NaN.
    if (read < 2 || !(value > 0.0 && value < 1.01)) continue;
    table[1 + 2 * pairs] = state;
    table[2 + 2 * pairs] = value;
    ++pairs;
    table[0] += 2.0;
  }

  double sum = 0.0;
  for (size_t i = 0; i < pairs; ++i) sum += table[2 + 2 * i];
  if (sum <= 0.99 || sum >= 1.01) {
    fprintf(stderr, "Values of --p0 must sum up to 1 (currently %5.2f)\n", sum);
    double new_sum = 0.0;
    for (size_t i = 0; i < pairs; ++i) {
      table[2 + 2 * i] /= sum;
      new_sum += table[2 + 2 * i];
    }
    if (args.quiet_count == 0) {
      fprintf(stderr, "WARNING:  --p0 values normalized sum up to %5.2f\n", new_sum);
    }
  }
  return Status{};
}

Status OpenInput(const std::string& name, bool report, FILE*& f) {
  f = fopen(name.c_str(), "r");
  if (f == nullptr) {
    if (report) return Failure(kExitError, "Cannot open rate file %s!\n", name.c_str());
    return Status{kExitError, ""};
  }
  return Status{};
}

}  // namespace

void ResetRunOptions(RunOptions& opts) { opts = RunOptions(); }

Status ConvertAndValidate(const CommandLineArgs& args, RunOptions& opts) {
  if (args.method_value && (*args.method_value)[0] == 'A') opts.method = 'A';
  if (args.num_err_value) {
    char c = (*args.num_err_value)[0];
    if (c == 'R' || c == 'I') opts.num_err = c;
  }

  opts.feps = args.feps_value;
  // A threshold of NaN or of 1 and more would pass every test it guards.
  if (!(opts.feps < 1)) return Failure(kExitError, "Value of --feps must be < 1.\n");
  if (opts.feps < 0) opts.feps = 2 * dlamch_("S", 1);
  opts.useplusI = args.useplusI_value;
  if (args.fptfile_count != 0) opts.fptfile = *args.fptfile_value;
  if (args.equil_file_count != 0) opts.equil_file = args.equil_file_value->c_str();
  if (args.p0_count != 0) {
    if (Status status = BuildP0Table(args, opts.p0); !status.ok()) return status;
  }

  if (args.absorb_count != 0) {
    opts.absorb = args.absorb_value;
    if (opts.absorb < 0) return Failure(kExitError, "Value of --absorb must be >= 0\n");
  }
  // Range checks are written so that NaN fails them too: a NaN time or
  // temperature would otherwise poison every later stage silently.
  opts.t0 = args.t0_value;
  if (!(opts.t0 >= 0)) return Failure(kExitError, "Value of --t0 must be >= 0.\n");
  opts.t8 = args.t8_value;
  if (!(opts.t8 > 0) || std::isinf(opts.t8))
    return Failure(kExitError, "Value of --t8 must be > 0.\n");
  if (args.tinc_count != 0) {
    opts.tinc = args.tinc_value;
    if (!(opts.tinc > 0)) return Failure(kExitError, "Value of --tinc must be > 0.\n");
  }
  if (args.Temp_count != 0) {
    opts.Temp = args.Temp_value;
    // -273.15 itself is refused: kT would be 0 and every rate exp(-x/0).
    if (!(opts.Temp > -273.15)) return Failure(kExitError, "Value of --Temp must be > -273.15\n");
  }
  if (args.visualize_count != 0) opts.visualize = args.visualize_value->c_str();
  if (args.ratesfile_count != 0) {
    Status status = OpenInput(*args.ratesfile_value, args.quiet_count == 0, opts.ratesfile);
    if (!status.ok()) return status;
    opts.ratesfile_name = *args.ratesfile_value;
  }
  if (args.qorp_count != 0) {
    if (Status status = OpenInput(*args.qorp_value, true, opts.qorp); !status.ok()) return status;
    opts.qorp_name = *args.qorp_value;
  }
  if (args.minimal_rate_count != 0) {
    opts.minimal_rate = args.minimal_rate_value;
    if (!(opts.minimal_rate > 0))
      return Failure(kExitError, "Value of --minimal-rate must be > 0.\n");
  }
  if (args.hard_rescale_count != 0) {
    opts.hard_rescale = args.hard_rescale_value;
    if (!(opts.hard_rescale > 0))
      return Failure(kExitError, "Value of --hard-rescale must be > 0.\n");
  }
  if (args.times_count != 0) {
    opts.times = args.times_value;
    if (!(opts.times > 0)) return Failure(kExitError, "Value of --times must be > 0.\n");
  }
  if (args.nstates_count != 0) {
    opts.nstates = args.nstates_value;
    if (opts.nstates < 1) return Failure(kExitError, "Value of --nstates must be >= 1\n");
  }
  opts.just_shorten = args.just_shorten_value;
  // The reduction removes at least one state per step.
  opts.max_decrease = args.max_decrease_value;
  if (opts.max_decrease < 1) return Failure(kExitError, "Value of --max-decrease must be >= 1\n");

  if (args.degeneracy_count != 0) opts.degeneracy = 1;
  if (args.quiet_count != 0) opts.quiet = 1;
  if (args.verbose_count != 0) opts.verbose = 1;
  if (args.dumpU_count != 0) opts.dumpU = 1;
  if (args.dumpX_count != 0) opts.dumpX = 1;
  if (args.mathematicamatrix_count != 0) opts.mathematicamatrix = 1;
  if (args.bin_count != 0) opts.bin = 1;
  if (args.warnings_count != 0) opts.warnings = 1;
  if (args.exponent_count != 0) opts.exponent = 1;

  if (args.fpt_count != 0) {
    opts.fpt = 1;
    const char* value = args.fpt_value->c_str();
    if (strcmp(value, "all") == 0) {
      opts.fpt_state = -1;
    } else {
      int state = 0;
      const char* rest = nullptr;
      if (!ReadInt(value, state, rest) || state < 1) {
        return Failure(
            kExitError,
            "Value of --fpt (-t) must be either \"all\" or positive number. (it is \"%s\")\n",
            value);
      }
      opts.fpt_state = state;
    }
  }
  if (args.recoverE_count != 0) opts.recoverE = 1;
  if (args.dumpE_count != 0) opts.dumpE = 1;

  if (args.info_count != 0) {
    PrintSettings(opts, args.p0_count);
    std::vector<double>().swap(opts.p0);
    fflush(stderr);
    exit(kExitSuccess);
  }
  if (opts.recoverE && opts.dumpE) {
    opts.dumpE = 0;
    if (!opts.quiet) {
      fprintf(stderr,
              "WARNING: both options -w and -r were given\n"
              "         disabling -w now, since they are mutually exclusive !\n");
    }
  }
  if (args.eigensolver_count != 0) {
    const std::string& name = *args.eigensolver_value;
    opts.eigensolver = name == "lapack"     ? Eigensolver::kLapack
                       : name == "accurate" ? Eigensolver::kAccurate
                                            : Eigensolver::kAuto;
  }
  // --mlapack-precision alone changes nothing; it sets the bits of MPFR and GMP.
  if (args.mlapack_method_count != 0) {
    const char* name = args.mlapack_method_value->c_str();
    const std::optional<Arithmetic> arithmetic = ArithmeticFromName(name);
    if (!arithmetic) return Failure(kExitError, "The mlapack library %s is not available!\n", name);
    opts.mlapack_method = *arithmetic;
    if (opts.mlapack_method == Arithmetic::kMpfr || opts.mlapack_method == Arithmetic::kGmp) {
      if (args.mlapack_precision_count == 0) {
        return Failure(kExitError,
                       "--mlapack-method %s needs --mlapack-precision (the number of bits)\n",
                       name);
      }
      opts.mlapack_precision = args.mlapack_precision_value;
      if (opts.mlapack_precision < kMinPrecisionBits ||
          opts.mlapack_precision > kMaxPrecisionBits) {
        return Failure(kExitError, "Value of --mlapack-precision must be between %d and %d\n",
                       kMinPrecisionBits, kMaxPrecisionBits);
      }
    }
    // One arithmetic runs the whole pipeline: the double eigensolvers have no part in it.
    if (opts.eigensolver != Eigensolver::kAuto) {
      return Failure(kExitError, "--eigensolver cannot be combined with --mlapack-method\n");
    }
    // The exponential iteration and a stored decomposition are double only.
    if (opts.exponent)
      return Failure(kExitError, "--exponent cannot be combined with --mlapack-method\n");
    if (opts.recoverE) {
      return Failure(kExitError,
                     "--recoverE cannot be combined with --mlapack-method (the stored "
                     "decomposition holds doubles)\n");
    }
  }
  return Status{};
}

void PrintSettings(const RunOptions& opts, unsigned p0_count) {
  fprintf(stderr,
          "Settings:\n"
          "--absorb   = %3i\n"
          "--t0       = %8.4f\n"
          "--t8       = %7.2g\n"
          "--tinc     = %6.2f\n"
          "--Temp     = %6.2f\n"
          "--method   = %c\n"
          "--nstates  = %d\n"
          "--fpt      = %d\n"
          "--exponent = %d\n"
          "--dumpU    = %d\n"
          "--dumpX    = %d\n"
          "-b         = %d\n"
          "-r         = %d\n"
          "-e         = %d\n"
          "-v         = %d\n",
          opts.absorb, opts.t0, opts.t8, opts.tinc, opts.Temp, opts.method, opts.nstates, opts.fpt,
          opts.exponent, opts.dumpU, opts.dumpX, opts.bin, opts.recoverE, opts.dumpE, opts.verbose);
  for (size_t i = 1; i <= p0_count && 2 * i < opts.p0.size(); ++i) {
    fprintf(stderr, "--p0      %4i=%.2f\n", static_cast<int>(opts.p0[2 * i - 1]), opts.p0[2 * i]);
  }
}

Status ProcessCommandLine(ProgramRecord& record, int argc, char** argv) {
  ResetRunOptions(record.opts);
  parse_command_line(argc, argv, record.args);
  return ConvertAndValidate(record.args, record.opts);
}

// RunOptions: the validated, typed form of the command line that every stage
// reads. Field names follow the long options with dashes turned into
// underscores. Filled once by ConvertAndValidate (app/program_options.h) and
// read-only from then on: what a stage derives lives with that stage.
#ifndef ZOLVANE_BASE_RUN_OPTIONS_H_
#define ZOLVANE_BASE_RUN_OPTIONS_H_

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

// Arithmetic of the numeric pipeline after U is built (--mlapack-method).
// kDefault is the default run, without --mlapack-method: double, with the
// factorised solver, LAPACK and the exact propagator. The others run one
// templated pipeline (calc/extended/extended.h) in the named type; kDouble
// is that pipeline in double (--mlapack-method DOUBLE).
enum class Arithmetic : int8_t {
  kDefault,
  kDouble,
  kLongDouble,
  kDoubleDouble,
  kQuadDouble,
  kFloat128,
  kMpfr,
  kGmp,
};

// Eigensolver of the double path for rates in detailed balance
// (--eigensolver). kAccurate factorises the generator without subtractions
// and resolves every relaxation at any rate spread; kLapack is dsyevd on the
// symmetrised matrix; kAuto is the program's choice (the accurate one).
enum class Eigensolver : int8_t {
  kAuto,
  kLapack,
  kAccurate,
};

struct RunOptions {
  // Number (1-based) of the minimum made absorbing; 0 = none. The state the
  // transition matrix appends for it is Calc::numbering().absorbing_state.
  int32_t absorb = 0;
  int32_t verbose = 0;
  int32_t degeneracy = 0;
  int32_t dumpU = 0;
  int32_t dumpX = 0;
  int32_t mathematicamatrix = 0;
  int32_t exponent = 0;
  int32_t bin = 0;
  int32_t recoverE = 0;
  int32_t dumpE = 0;
  int32_t nstates = 2147483647;
  double Temp = 37.0;
  double t0 = 0.1;
  double t8 = 1e12;
  double tinc = 1.02;
  // Initial-population table: element 0 holds 1 + 2m, then m (state, value)
  // pairs, zero-filled behind them. Empty when --p0 was not given.
  std::vector<double> p0;
  char method = 'I';
  // Input streams opened by the validation; default standard input. The
  // input stage takes them over (InputContext) and closes them, so no other
  // stage reads these two fields.
  FILE* ratesfile = stdin;
  FILE* qorp = stdin;
  // The names of the two streams, for messages.
  std::string ratesfile_name = "standard input";
  std::string qorp_name = "standard input";
  int32_t fpt = 0;
  int32_t fpt_state = -1;
  std::optional<std::string> fptfile;
  const char* visualize = nullptr;  // borrowed from CommandLineArgs
  int32_t quiet = 0;
  int32_t just_shorten = 0;
  int32_t max_decrease = 1000000;
  char num_err = 'H';
  double feps = 1e-15;
  int32_t useplusI = 0;
  double minimal_rate = 0.0;
  double hard_rescale = 1.0;
  const char* equil_file = nullptr;  // borrowed from CommandLineArgs
  double times = 1.0;
  int32_t warnings = 0;
  // 0 in an embedding (the Python module): no stage writes a file the caller
  // did not name (the evals.txt and evecs.txt of a warning to look at).
  int32_t side_files = 1;
  Arithmetic mlapack_method = Arithmetic::kDefault;
  Eigensolver eigensolver = Eigensolver::kAuto;
  // Bits of the MPFR and GMP numbers; 0 when --mlapack-precision was not given.
  int32_t mlapack_precision = 0;
};

#endif  // ZOLVANE_BASE_RUN_OPTIONS_H_

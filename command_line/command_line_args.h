// CommandLineArgs: the raw command line as parsed, before any cross-option
// validation, plus the option table that maps every option to its fields, and
// the help and version texts.
#ifndef ZOLVANE_COMMAND_LINE_COMMAND_LINE_ARGS_H_
#define ZOLVANE_COMMAND_LINE_COMMAND_LINE_ARGS_H_

#include <optional>
#include <string>
#include <vector>

#include "zolvane_version.h"

inline constexpr const char* kProgramName = "zolvane";
inline constexpr const char* kProgramVersion = ZOLVANE_VERSION;

// One record per run, filled by parse_command_line. For each option:
//   <name>_count  how many times it was accepted; a non-zero count is the only
//                 sign that it was given (values may hold initial values).
//   <name>_value  the converted value; meaningless for "unset" options until
//                 given. String values are owned copies.
//   <name>_text   the argument exactly as typed (options with an argument only);
//                 none until given.
// Everything here is owned by the record and freed by
// release_command_line_args; RunOptions borrows some texts, so the record must
// outlive the run.
struct CommandLineArgs {
  unsigned absorb_count = 0;
  int absorb_value = 0;
  std::optional<std::string> absorb_text;

  unsigned method_count = 0;
  std::optional<std::string> method_value;  // always "A" or "I" once initialised
  std::optional<std::string> method_text;

  unsigned num_err_count = 0;
  std::optional<std::string> num_err_value;  // always "I", "H" or "R" once initialised
  std::optional<std::string> num_err_text;

  unsigned t0_count = 0;
  double t0_value = 0.0;
  std::optional<std::string> t0_text;

  unsigned t8_count = 0;
  double t8_value = 0.0;
  std::optional<std::string> t8_text;

  unsigned Temp_count = 0;
  double Temp_value = 0.0;
  std::optional<std::string> Temp_text;

  unsigned nstates_count = 0;
  int nstates_value = 0;
  std::optional<std::string> nstates_text;

  // --p0 may repeat and every argument splits into pieces at unescaped
  // commas: one entry per piece, in command-line order. Both lists hold the
  // same texts. p0_min/p0_max bound p0_count; 0 means unbounded.
  std::vector<std::string> p0_values;
  std::vector<std::string> p0_texts;
  unsigned p0_count = 0;
  int p0_min = 0;
  int p0_max = 0;

  unsigned tinc_count = 0;
  double tinc_value = 0.0;
  std::optional<std::string> tinc_text;

  unsigned degeneracy_count = 0;
  int degeneracy_value = 0;
  unsigned exponent_count = 0;
  int exponent_value = 0;
  unsigned dumpU_count = 0;
  int dumpU_value = 0;
  unsigned mathematicamatrix_count = 0;
  int mathematicamatrix_value = 0;
  unsigned bin_count = 0;
  int bin_value = 0;

  unsigned qorp_count = 0;
  std::optional<std::string> qorp_value;
  std::optional<std::string> qorp_text;

  unsigned fpt_count = 0;
  std::optional<std::string> fpt_value;
  std::optional<std::string> fpt_text;

  unsigned recoverE_count = 0;
  int recoverE_value = 0;
  unsigned dumpE_count = 0;
  int dumpE_value = 0;
  unsigned dumpX_count = 0;
  int dumpX_value = 0;
  unsigned info_count = 0;
  int info_value = 0;

  unsigned ratesfile_count = 0;
  std::optional<std::string> ratesfile_value;
  std::optional<std::string> ratesfile_text;

  unsigned verbose_count = 0;
  int verbose_value = 0;
  unsigned quiet_count = 0;
  int quiet_value = 0;

  unsigned fptfile_count = 0;
  std::optional<std::string> fptfile_value;
  std::optional<std::string> fptfile_text;

  unsigned visualize_count = 0;
  std::optional<std::string> visualize_value;
  std::optional<std::string> visualize_text;

  unsigned just_shorten_count = 0;
  int just_shorten_value = 0;

  unsigned max_decrease_count = 0;
  int max_decrease_value = 0;
  std::optional<std::string> max_decrease_text;

  unsigned feps_count = 0;
  double feps_value = 0.0;
  std::optional<std::string> feps_text;

  unsigned useplusI_count = 0;
  int useplusI_value = 0;

  unsigned minimal_rate_count = 0;
  double minimal_rate_value = 0.0;
  std::optional<std::string> minimal_rate_text;

  unsigned hard_rescale_count = 0;
  double hard_rescale_value = 0.0;
  std::optional<std::string> hard_rescale_text;

  unsigned equil_file_count = 0;
  std::optional<std::string> equil_file_value;
  std::optional<std::string> equil_file_text;

  unsigned times_count = 0;
  double times_value = 0.0;
  std::optional<std::string> times_text;

  unsigned warnings_count = 0;
  int warnings_value = 0;

  unsigned mlapack_precision_count = 0;
  int mlapack_precision_value = 0;
  std::optional<std::string> mlapack_precision_text;

  unsigned mlapack_method_count = 0;
  std::optional<std::string> mlapack_method_value;
  std::optional<std::string> mlapack_method_text;

  unsigned eigensolver_count = 0;
  std::optional<std::string> eigensolver_value;
  std::optional<std::string> eigensolver_text;

  // Non-option arguments ("[FILES]"), in command-line order. Nothing reads them.
  std::vector<std::string> inputs;
};

enum class OptionKind { kAction, kFlag, kInt, kDouble, kString, kList };

// Whether the distributed run (zolvane-mpi) takes the option: it computes
// the spectral table only, so options of the other stages are refused.
enum class InDistributedRun { kAccepted, kRefused, kRefusedWithBinaryInput };

// One row of the option table. Member pointers name the row's fields in
// CommandLineArgs; those that do not apply to the kind are null (actions and
// the --p0 list have none: they are handled by the parser itself).
struct OptionSpec {
  const char* long_name;
  char short_name;  // 0 = no short form
  bool has_arg;
  OptionKind kind;
  const char* const* allowed;  // nullptr-terminated allowed values, or nullptr
  unsigned CommandLineArgs::*count;
  int CommandLineArgs::*int_value;  // kFlag and kInt
  double CommandLineArgs::*double_value;
  std::optional<std::string> CommandLineArgs::*string_value;
  std::optional<std::string> CommandLineArgs::*text;  // options with an argument
  InDistributedRun distributed = InDistributedRun::kAccepted;
};

inline constexpr int kNumOptions = 39;
// In help order, which is also the long-option lookup order.
extern const OptionSpec kOptionTable[kNumOptions];

// Sets every count to 0, every text and string to none, every list to empty,
// then stores the initial values (--method "I", --num-err "H", --t0 0.1,
// --t8 1e12, --Temp 37.0, --tinc 1.02, --max-decrease 1000000, --feps 1e-15).
void init_command_line_args(CommandLineArgs& args);

// Frees every owned string and list and zeroes every count. Safe to call on a
// fresh or already released record.
void release_command_line_args(CommandLineArgs& args);

// The help text and the version line, on standard output.
void print_help();
void print_version();

#endif  // ZOLVANE_COMMAND_LINE_COMMAND_LINE_ARGS_H_

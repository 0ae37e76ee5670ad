// Option scanner (short clusters, abbreviated long options, permutation of
// non-options, "--") and the store step that converts and checks each value.
#include "command_line/parse_command_line.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "base/exit_status.h"
#include "base/fatal.h"

namespace {

// Codes handed from the scanner to the dispatcher: the short letter for an
// option that has one, otherwise kLongOnlyCode + its table index.
constexpr int kEndOfOptions = -1;
constexpr int kLongOnlyCode = 256;

struct ParseState {
  const char* prog;
  CommandLineArgs* args;
  // Counts of what this command line gave, for duplicate detection.
  CommandLineArgs scratch;
  // --p0 pieces, moved into *args once scanning succeeded.
  std::vector<std::string> pending_p0;

  // Scanner position.
  int argc;
  char** argv;
  int next = 1;                   // next element to examine
  const char* cluster = nullptr;  // unread letters of the current short cluster
  std::vector<char> nonoption;    // per element: skipped as a non-option
  const char* optarg = nullptr;
};

// Releases all parse storage, then prints the message and exits with 1.
[[noreturn]] __attribute__((format(printf, 2, 3))) void FailWith(ParseState& st, const char* fmt,
                                                                 ...) {
  va_list ap;
  va_start(ap, fmt);
  va_list ap2;
  va_copy(ap2, ap);
  int len = vsnprintf(nullptr, 0, fmt, ap);
  va_end(ap);
  std::string msg(len > 0 ? len : 0, '\0');
  if (len > 0) vsnprintf(msg.data(), msg.size() + 1, fmt, ap2);
  va_end(ap2);
  st.pending_p0.clear();
  release_command_line_args(st.scratch);
  release_command_line_args(*st.args);
  Fatal(kExitError, "%s", msg.c_str());
}

bool IsNonOption(const char* s) { return s[0] != '-' || s[1] == '\0'; }

int CodeOf(int index) {
  const OptionSpec& o = kOptionTable[index];
  return o.short_name != 0 ? o.short_name : kLongOnlyCode + index;
}

int FindShort(char letter) {
  if (letter == '\0') return -1;
  for (int i = 0; i < kNumOptions; ++i) {
    if (kOptionTable[i].short_name == letter) return i;
  }
  return -1;
}

int NextShort(ParseState& st) {
  char letter = *st.cluster++;
  int index = FindShort(letter);
  if (index < 0) FailWith(st, "%s: invalid option -- %c\n", st.prog, letter);
  if (kOptionTable[index].has_arg) {
    if (*st.cluster != '\0') {
      st.optarg = st.cluster;
    } else if (st.next < st.argc) {
      st.optarg = st.argv[st.next++];
    } else {
      FailWith(st, "%s: option requires an argument -- %c\n", st.prog, letter);
    }
    st.cluster = nullptr;
  } else if (*st.cluster == '\0') {
    st.cluster = nullptr;
  }
  return CodeOf(index);
}

int NextLong(ParseState& st) {
  const char* element = st.argv[st.next++];
  const char* name = element + 2;
  const char* eq = strchr(name, '=');
  size_t len = eq != nullptr ? static_cast<size_t>(eq - name) : strlen(name);

  int found = -1;
  bool exact = false;
  bool ambiguous = false;
  for (int i = 0; i < kNumOptions; ++i) {
    const OptionSpec& o = kOptionTable[i];
    if (strncmp(o.long_name, name, len) != 0) continue;
    if (strlen(o.long_name) == len) {
      found = i;
      exact = true;
      break;
    }
    if (found < 0) {
      found = i;
    } else if (o.has_arg != kOptionTable[found].has_arg ||
               o.short_name != kOptionTable[found].short_name) {
      // Prefixes of options that behave alike may pick the first of them.
      ambiguous = true;
    }
  }
  if (ambiguous && !exact) FailWith(st, "%s: option `%s' is ambiguous\n", st.prog, element);
  if (found < 0) FailWith(st, "%s: unrecognized option `--%s'\n", st.prog, name);

  const OptionSpec& o = kOptionTable[found];
  if (eq != nullptr) {
    if (!o.has_arg) {
      FailWith(st, "%s: option `--%s' doesn't allow an argument\n", st.prog, o.long_name);
    }
    st.optarg = eq + 1;
  } else if (o.has_arg) {
    // The next element is the argument whatever it looks like, even "-5".
    if (st.next >= st.argc) {
      FailWith(st, "%s: option `%s' requires an argument\n", st.prog, element);
    }
    st.optarg = st.argv[st.next++];
  }
  return CodeOf(found);
}

// One scanner step: an option code (with st.optarg set when it takes an
// argument), or kEndOfOptions. Non-options are only marked here; MoveNonOptions
// puts them behind the options once, which keeps long command lines linear.
int NextOption(ParseState& st) {
  st.optarg = nullptr;
  if (st.cluster != nullptr) return NextShort(st);

  while (st.next < st.argc && IsNonOption(st.argv[st.next])) st.nonoption[st.next++] = 1;
  if (st.next < st.argc && strcmp(st.argv[st.next], "--") == 0) {
    for (int i = st.next + 1; i < st.argc; ++i) st.nonoption[i] = 1;
    st.next = st.argc;
  }
  if (st.next >= st.argc) return kEndOfOptions;

  const char* element = st.argv[st.next];
  if (element[1] == '-') return NextLong(st);
  st.cluster = element + 1;
  ++st.next;
  return NextShort(st);
}

// Stable partition of argv[1..argc): options (with their arguments and any
// "--") first, then the non-options in command-line order. Returns the index of
// the first non-option.
int MoveNonOptions(ParseState& st) {
  std::vector<char*> options;
  std::vector<char*> rest;
  for (int i = 1; i < st.argc; ++i) (st.nonoption[i] ? rest : options).push_back(st.argv[i]);
  std::copy(options.begin(), options.end(), st.argv + 1);
  std::copy(rest.begin(), rest.end(), st.argv + 1 + options.size());
  return 1 + static_cast<int>(options.size());
}

// Pieces end at commas not preceded by a backslash; "\," stands for a comma.
// A trailing comma adds no empty piece.
std::vector<std::string> SplitP0(const char* arg) {
  std::vector<std::string> pieces;
  std::string piece;
  bool open = true;
  for (const char* p = arg; *p != '\0'; ++p) {
    open = true;
    if (*p == '\\' && p[1] == ',') {
      piece += ',';
      ++p;
    } else if (*p == ',') {
      pieces.push_back(std::move(piece));
      piece.clear();
      open = false;
    } else {
      piece += *p;
    }
  }
  if (open) pieces.push_back(std::move(piece));
  return pieces;
}

// Resolves an argument against the allowed values: exact match, else the one
// value it is a prefix of. Returns nullptr and sets *ambiguous otherwise.
const char* MatchAllowed(const char* const* allowed, const char* arg, bool* ambiguous) {
  const char* match = nullptr;
  int matches = 0;
  size_t len = strlen(arg);
  for (const char* const* v = allowed; *v != nullptr; ++v) {
    if (strcmp(*v, arg) == 0) return *v;
    if (strncmp(*v, arg, len) == 0) {
      match = *v;
      ++matches;
    }
  }
  *ambiguous = matches > 1;
  return matches == 1 ? match : nullptr;
}

void Store(ParseState& st, int index, const char* arg) {
  const OptionSpec& o = kOptionTable[index];
  CommandLineArgs& args = *st.args;
  if (st.scratch.*o.count != 0) {
    if (o.short_name != 0) {
      FailWith(st, "%s: `--%s' (`-%c') option given more than once%s\n", st.prog, o.long_name,
               o.short_name, "");
    }
    FailWith(st, "%s: `--%s' option given more than once%s\n", st.prog, o.long_name, "");
  }

  const char* chosen = arg;
  if (o.allowed != nullptr) {
    bool ambiguous = false;
    chosen = MatchAllowed(o.allowed, arg, &ambiguous);
    if (chosen == nullptr) {
      const char* why = ambiguous ? "ambiguous" : "invalid";
      if (o.short_name != 0) {
        FailWith(st, "%s: %s argument, \"%s\", for option `--%s' (`-%c')%s\n", st.prog, why, arg,
                 o.long_name, o.short_name, "");
      }
      FailWith(st, "%s: %s argument, \"%s\", for option `--%s'%s\n", st.prog, why, arg, o.long_name,
               "");
    }
  }

  ++(st.scratch.*o.count);
  ++(args.*o.count);

  char* end = nullptr;
  switch (o.kind) {
    case OptionKind::kFlag:
      args.*o.int_value = !(args.*o.int_value);
      break;
    case OptionKind::kInt: {
      // Base 0 accepts 0x.. and leading-0 octal. A value beyond int is
      // refused rather than wrapped into some other number.
      errno = 0;
      const long value = strtol(arg, &end, 0);
      if (errno == ERANGE || value < INT_MIN || value > INT_MAX) {
        FailWith(st, "%s: invalid numeric value: %s\n", st.prog, arg);
      }
      args.*o.int_value = static_cast<int>(value);
      break;
    }
    case OptionKind::kDouble:
      args.*o.double_value = strtod(arg, &end);
      break;
    case OptionKind::kString:
      args.*o.string_value = chosen;
      break;
    case OptionKind::kAction:
    case OptionKind::kList:
      break;
  }
  // An empty argument converts to 0 and counts as fully consumed.
  if (end != nullptr && *end != '\0') {
    FailWith(st, "%s: invalid numeric value: %s\n", st.prog, arg);
  }
  if (o.has_arg) args.*o.text = arg;
}

int IndexOfCode(int code) {
  if (code >= kLongOnlyCode) {
    int index = code - kLongOnlyCode;
    return index < kNumOptions ? index : -1;
  }
  return FindShort(static_cast<char>(code));
}

void CheckP0Bounds(ParseState& st) {
  const CommandLineArgs& args = *st.args;
  long count = args.p0_count;
  int lo = args.p0_min;
  int hi = args.p0_max;
  if (count == 0 || (lo == 0 && hi == 0)) return;
  const char* what = "'--p0'";
  if (lo != 0 && hi != 0 && lo == hi) {
    if (count != lo) FailWith(st, "%s: %s option occurrences must be %d\n", st.prog, what, lo);
  } else if (lo != 0 && hi != 0) {
    if (count < lo || count > hi) {
      FailWith(st, "%s: %s option occurrences must be between %d and %d\n", st.prog, what, lo, hi);
    }
  } else if (lo != 0) {
    if (count < lo) {
      FailWith(st, "%s: %s option occurrences must be at least %d\n", st.prog, what, lo);
    }
  } else if (count > hi) {
    FailWith(st, "%s: %s option occurrences must be at most %d\n", st.prog, what, hi);
  }
}

}  // namespace

void parse_command_line(int argc, char** argv, CommandLineArgs& args) {
  init_command_line_args(args);
  ParseState st;
  st.prog = argc > 0 && argv[0] != nullptr ? argv[0] : kProgramName;
  st.args = &args;
  st.argc = argc;
  st.argv = argv;
  st.nonoption.assign(argc > 0 ? argc : 0, 0);
  init_command_line_args(st.scratch);

  for (int code = NextOption(st); code != kEndOfOptions; code = NextOption(st)) {
    int index = IndexOfCode(code);
    if (index < 0) {
      // Cannot happen with this table; guards the scanner/table pairing.
      FailWith(st, "%s: option unknown: %c%s\n", kProgramName, code, "");
    }
    const OptionSpec& o = kOptionTable[index];
    if (o.kind == OptionKind::kAction) {
      if (o.short_name == 'h') {
        print_help();
      } else {
        print_version();
      }
      release_command_line_args(st.scratch);
      exit(kExitSuccess);
    }
    if (o.kind == OptionKind::kList) {
      for (std::string& piece : SplitP0(st.optarg)) {
        st.pending_p0.push_back(std::move(piece));
        ++st.scratch.p0_count;
      }
      continue;
    }
    Store(st, index, st.optarg);
  }

  for (const std::string& piece : st.pending_p0) {
    args.p0_values.push_back(piece);
    args.p0_texts.push_back(piece);
  }
  args.p0_count += st.pending_p0.size();
  st.pending_p0.clear();
  CheckP0Bounds(st);
  release_command_line_args(st.scratch);

  for (int i = MoveNonOptions(st); i < argc; ++i) args.inputs.push_back(argv[i]);
}

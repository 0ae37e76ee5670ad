// Shared test helpers: streams from strings, a scratch working directory,
// matrix comparison and running the built executable.
#ifndef ZOLVANE_TESTS_TEST_UTIL_H_
#define ZOLVANE_TESTS_TEST_UTIL_H_

#include <cstdio>
#include <string>
#include <vector>

#include "calc/model/calc.h"

// Built with AddressSanitizer: tests that only check numbers take a sample
// there, and the optimised build checks them in full.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif

// A readable stream holding `text` (a tmpfile, rewound). The caller or the
// reader under test closes it.
FILE* FileFromString(const std::string& text);

// A stream that reads `text` and then fails as a broken device does (EIO).
// The caller or the reader under test closes it.
FILE* FailingFile(const std::string& text);

std::string ReadFile(const std::string& path);
// Every number of `text` in order, as strtod reads them, up to the first
// text that is not one.
std::vector<double> ParseNumbers(const std::string& text);
void WriteFile(const std::string& path, const std::string& text);

// Creates a fresh directory and makes it the working directory; restores the
// old working directory and removes the directory on destruction.
class ScopedTempDir {
 public:
  ScopedTempDir();
  ~ScopedTempDir();
  ScopedTempDir(const ScopedTempDir&) = delete;
  ScopedTempDir& operator=(const ScopedTempDir&) = delete;
  const std::string& path() const { return path_; }

 private:
  std::string path_;
  std::string old_cwd_;
};

// EXPECT_NEAR on every element, naming the first index that differs.
void ExpectArrayNear(const std::vector<double>& expected, const std::vector<double>& actual,
                     double tol);

struct RunResult {
  int status = -1;  // exit status as the shell sees it (0..255), -1 if killed
  std::string out;
  std::string err;
};

// Runs the built zolvane with `args` in the current working directory, with
// `stdin_text` as standard input.
RunResult RunZolvane(const std::vector<std::string>& args, const std::string& stdin_text = "");

// The same for any program, named by its full path.
RunResult RunProgram(const std::string& program, const std::vector<std::string>& args,
                     const std::string& stdin_text = "");

// The lines of `text`, without their newlines.
std::vector<std::string> Lines(const std::string& text);

// a followed by b: command lines built from shared parts.
std::vector<std::string> Concat(std::vector<std::string> a, const std::vector<std::string>& b);

// Every --mlapack-method with the arguments it needs, narrowest first.
const std::vector<std::vector<std::string>>& ExtendedMethods();

// Writes the first line (the sequence) and the first `count` minima of the
// bundled example qorp file to `path`: a qorp file for a rates matrix of
// `count` states, which absorbing-state runs on rates need.
void WriteFirstMinima(const std::string& path, int count);

// Full path of a file in the source tree, e.g. SourcePath("examples/x.qorp").
std::string SourcePath(const std::string& relative);

// Renumbers `calc` as the transition matrix stage does for --absorb: its
// last state absorbing (1-based `absorbing_state`), entered from the 0-based
// `absorbed_minimum` (-1: none).
void SetAbsorbingState(Calc& calc, int absorbing_state, int absorbed_minimum = -1);

#endif  // ZOLVANE_TESTS_TEST_UTIL_H_

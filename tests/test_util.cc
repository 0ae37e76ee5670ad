#include "tests/test_util.h"

#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>

extern char** environ;

FILE* FileFromString(const std::string& text) {
  FILE* f = tmpfile();
  if (f == nullptr) return nullptr;
  if (!text.empty()) fwrite(text.data(), 1, text.size(), f);
  rewind(f);
  return f;
}

namespace {

// What FailingFile reads from: the text, then an error.
struct FailingSource {
  std::string text;
  size_t at = 0;
};

ssize_t ReadFailing(void* cookie, char* buf, size_t size) {
  auto* source = static_cast<FailingSource*>(cookie);
  if (source->at == source->text.size()) {
    errno = EIO;
    return -1;
  }
  const size_t n = std::min(size, source->text.size() - source->at);
  memcpy(buf, source->text.data() + source->at, n);
  source->at += n;
  return static_cast<ssize_t>(n);
}

int CloseFailing(void* cookie) {
  std::unique_ptr<FailingSource>(static_cast<FailingSource*>(cookie));
  return 0;
}

}  // namespace

FILE* FailingFile(const std::string& text) {
  cookie_io_functions_t io = {ReadFailing, nullptr, nullptr, CloseFailing};
  return fopencookie(std::make_unique<FailingSource>(FailingSource{text}).release(), "r", io);
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

std::vector<double> ParseNumbers(const std::string& text) {
  std::vector<double> v;
  const char* p = text.c_str();
  char* end;
  for (double x = strtod(p, &end); end != p; x = strtod(p, &end)) {
    v.push_back(x);
    p = end;
  }
  return v;
}

void WriteFile(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary);
  out << text;
}

namespace {

// Directories still to remove when the process exits. A death test's child
// runs the test body again and leaves through exit(), which skips the
// destructors; this keeps its scratch directory from staying behind.
// Never destroyed, so that it outlives every exit handler.
std::vector<std::string>& PendingTempDirs() {
  static auto* dirs = new std::vector<std::string>;
  return *dirs;
}

void RemovePendingTempDirs() {
  std::error_code ec;
  for (const std::string& dir : PendingTempDirs()) std::filesystem::remove_all(dir, ec);
}

}  // namespace

ScopedTempDir::ScopedTempDir() {
  char tmpl[] = "/tmp/zolvane_test_XXXXXX";
  char* dir = mkdtemp(tmpl);
  path_ = dir ? dir : "";
  old_cwd_ = std::filesystem::current_path().string();
  if (path_.empty()) return;
  std::filesystem::current_path(path_);
  static const bool registered = (atexit(RemovePendingTempDirs) == 0);
  (void)registered;
  PendingTempDirs().push_back(path_);
}

ScopedTempDir::~ScopedTempDir() {
  std::error_code ec;
  std::filesystem::current_path(old_cwd_, ec);
  if (path_.empty()) return;
  std::filesystem::remove_all(path_, ec);
  auto& dirs = PendingTempDirs();
  dirs.erase(std::remove(dirs.begin(), dirs.end(), path_), dirs.end());
}

void ExpectArrayNear(const std::vector<double>& expected, const std::vector<double>& actual,
                     double tol) {
  ASSERT_EQ(expected.size(), actual.size());
  for (size_t i = 0; i < expected.size(); ++i) {
    EXPECT_NEAR(expected[i], actual[i], tol) << "at index " << i;
  }
}

RunResult RunZolvane(const std::vector<std::string>& args, const std::string& stdin_text) {
  return RunProgram(ZOLVANE_BIN, args, stdin_text);
}

RunResult RunProgram(const std::string& program, const std::vector<std::string>& args,
                     const std::string& stdin_text) {
  RunResult result;
  char in_name[] = "/tmp/zolvane_in_XXXXXX";
  char out_name[] = "/tmp/zolvane_out_XXXXXX";
  char err_name[] = "/tmp/zolvane_err_XXXXXX";
  int in_fd = mkstemp(in_name);
  int out_fd = mkstemp(out_name);
  int err_fd = mkstemp(err_name);
  if (in_fd < 0 || out_fd < 0 || err_fd < 0) return result;
  if (!stdin_text.empty() &&
      write(in_fd, stdin_text.data(), stdin_text.size()) != (ssize_t)stdin_text.size()) {
    return result;
  }
  lseek(in_fd, 0, SEEK_SET);

  std::vector<std::string> argv_store = {program};
  argv_store.insert(argv_store.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (auto& a : argv_store) argv.push_back(a.data());
  argv.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, in_fd, 0);
  posix_spawn_file_actions_adddup2(&actions, out_fd, 1);
  posix_spawn_file_actions_adddup2(&actions, err_fd, 2);
  pid_t pid;
  if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) == 0) {
    int wstatus = 0;
    waitpid(pid, &wstatus, 0);
    result.status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : -1;
  }
  posix_spawn_file_actions_destroy(&actions);
  close(in_fd);
  close(out_fd);
  close(err_fd);
  result.out = ReadFile(out_name);
  result.err = ReadFile(err_name);
  unlink(in_name);
  unlink(out_name);
  unlink(err_name);
  return result;
}

std::string SourcePath(const std::string& relative) {
  return std::string(ZOLVANE_SOURCE_DIR) + "/" + relative;
}

void WriteFirstMinima(const std::string& path, int count) {
  std::istringstream in(ReadFile(SourcePath("examples/landscape.qorp")));
  std::string text, line;
  for (int i = 0; i <= count && std::getline(in, line); ++i) text += line + "\n";
  WriteFile(path, text);
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

std::vector<std::string> Concat(std::vector<std::string> a, const std::vector<std::string>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

const std::vector<std::vector<std::string>>& ExtendedMethods() {
  static const std::vector<std::vector<std::string>> methods = {
      {"--mlapack-method", "DOUBLE"},
      {"--mlapack-method", "LD"},
      {"--mlapack-method", "DD"},
      {"--mlapack-method", "QD"},
      {"--mlapack-method", "FLOAT128"},
      {"--mlapack-method", "MPFR", "--mlapack-precision", "128"},
      {"--mlapack-method", "GMP", "--mlapack-precision", "128"},
  };
  return methods;
}

void SetAbsorbingState(Calc& calc, int absorbing_state, int absorbed_minimum) {
  StateNumbering numbering = calc.numbering();
  numbering.absorbing_state = absorbing_state;
  numbering.absorbed_minimum = absorbed_minimum;
  calc.Renumber(calc.dim(), numbering);
}

#include "python/output_capture.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdio>
#include <mutex>

namespace {

std::mutex g_mu;
int g_depth = 0;            // calls capturing now
int g_file = -1;            // the anonymous file fds 1 and 2 point at
int g_saved[2] = {-1, -1};  // the original fds 1 and 2
off_t g_taken = 0;          // bytes of g_file already handed to a call
bool g_paused = false;

// Points fds 1 and 2 at `out` and `err`; a -1 (a descriptor the process did
// not have open) closes it again.
void Point(int out, int err) {
  fflush(stdout);
  fflush(stderr);
  if (out >= 0) {
    dup2(out, 1);
  } else {
    close(1);
  }
  if (err >= 0) {
    dup2(err, 2);
  } else {
    close(2);
  }
}

}  // namespace

bool BeginCapture() {
  std::lock_guard<std::mutex> lock(g_mu);
  if (g_depth == 0) {
    fflush(stdout);
    fflush(stderr);
    int file = memfd_create("zolvane-output", MFD_CLOEXEC);
    if (file < 0) {
      FILE* f = tmpfile();  // older kernels: an unlinked file on disk
      if (f == nullptr) return false;
      file = dup(fileno(f));
      fclose(f);
      if (file < 0) return false;
    }
    g_saved[0] = fcntl(1, F_DUPFD_CLOEXEC, 3);
    g_saved[1] = fcntl(2, F_DUPFD_CLOEXEC, 3);
    g_file = file;
    g_taken = 0;
    g_paused = false;
    Point(g_file, g_file);
  } else if (g_paused) {
    g_paused = false;
    Point(g_file, g_file);
  }
  ++g_depth;
  return true;
}

std::string EndCapture() {
  std::lock_guard<std::mutex> lock(g_mu);
  std::string text;
  if (g_depth == 0) return text;
  fflush(stdout);
  fflush(stderr);
  const off_t end = lseek(g_file, 0, SEEK_END);
  if (end > g_taken) {
    text.resize(static_cast<size_t>(end - g_taken));
    const ssize_t got = pread(g_file, text.data(), text.size(), g_taken);
    text.resize(got > 0 ? static_cast<size_t>(got) : 0);
    g_taken = end;
  }
  if (--g_depth == 0) {
    if (!g_paused) Point(g_saved[0], g_saved[1]);
    if (g_saved[0] >= 0) close(g_saved[0]);
    if (g_saved[1] >= 0) close(g_saved[1]);
    close(g_file);
    g_file = g_saved[0] = g_saved[1] = -1;
    g_paused = false;
  }
  return text;
}

void PauseCapture(bool on) {
  std::lock_guard<std::mutex> lock(g_mu);
  if (g_depth != 1 || on == g_paused) return;
  g_paused = on;
  if (on) {
    Point(g_saved[0], g_saved[1]);
  } else {
    Point(g_file, g_file);
  }
}

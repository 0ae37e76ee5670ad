#include "base/fatal.h"

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {
FatalHook g_fatal_hook = nullptr;
}  // namespace

void SetFatalHook(FatalHook hook) { g_fatal_hook = hook; }

void FlushTable() {
  errno = 0;
  const bool flushed = fflush(stdout) == 0;
  const int err = errno;
  if (!flushed || ferror(stdout)) {
    Fatal(1, "ERROR: could not write the population table to standard output: %s\n",
          err != 0 ? strerror(err) : "write error");
  }
}

void Fatal(int status, const char* fmt, ...) {
  va_list ap;
  va_start(ap, fmt);
  vfprintf(stderr, fmt, ap);
  va_end(ap);
  fflush(stdout);
  fflush(stderr);
  if (g_fatal_hook != nullptr) g_fatal_hook(status);
  exit(status);
}

#include "base/fatal.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>

namespace {
FatalHook g_fatal_hook = nullptr;
}  // namespace

void SetFatalHook(FatalHook hook) { g_fatal_hook = hook; }

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

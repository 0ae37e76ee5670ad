#include "base/fatal.h"

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "base/exit_status.h"
#include "base/progress.h"

namespace {
FatalHook g_fatal_hook = nullptr;
FatalHandler g_fatal_handler = nullptr;
}  // namespace

void SetFatalHook(FatalHook hook) { g_fatal_hook = hook; }

void SetFatalHandler(FatalHandler handler) { g_fatal_handler = handler; }

void FlushTable() {
  errno = 0;
  const bool flushed = fflush(stdout) == 0;
  const int err = errno;
  if (!flushed || ferror(stdout)) {
    Fatal(kExitError, "ERROR: could not write the population table to standard output: %s\n",
          err != 0 ? strerror(err) : "write error");
  }
}

void Fatal(const Status& status) { Fatal(status.exit_status, "%s", status.message.c_str()); }

void Fatal(int status, const char* fmt, ...) {
  va_list ap;
  va_start(ap, fmt);
  if (g_fatal_handler != nullptr) {
    va_list copy;
    va_copy(copy, ap);
    const int length = vsnprintf(nullptr, 0, fmt, copy);
    va_end(copy);
    std::string message(length > 0 ? static_cast<size_t>(length) : 0, '\0');
    if (length > 0) vsnprintf(message.data(), message.size() + 1, fmt, ap);
    va_end(ap);
    g_fatal_handler(status, message.c_str());
    va_start(ap, fmt);
  }
  ProgressEnd();  // the message starts on a clean line
  vfprintf(stderr, fmt, ap);
  va_end(ap);
  fflush(stdout);
  fflush(stderr);
  if (g_fatal_hook != nullptr) g_fatal_hook(status);
  exit(status);
}

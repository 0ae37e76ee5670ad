#include "run/fatal.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>

void Fatal(int status, const char* fmt, ...) {
  va_list ap;
  va_start(ap, fmt);
  vfprintf(stderr, fmt, ap);
  va_end(ap);
  fflush(stdout);
  fflush(stderr);
  exit(status);
}

#include "base/status.h"

#include <cstdarg>
#include <cstdio>

Status Failure(int exit_status, const char* fmt, ...) {
  va_list ap;
  va_start(ap, fmt);
  va_list copy;
  va_copy(copy, ap);
  const int length = vsnprintf(nullptr, 0, fmt, copy);
  va_end(copy);
  Status status{exit_status, std::string(length > 0 ? static_cast<size_t>(length) : 0, '\0')};
  if (length > 0) vsnprintf(status.message.data(), status.message.size() + 1, fmt, ap);
  va_end(ap);
  return status;
}

// What a stage hands back instead of ending the run: success, or the exit
// status and the one message the entry point prints before it ends the run
// with that status (an embedding entry point raises it instead). A stage that
// fails stops at once and returns; whatever it printed before stays printed.
#ifndef ZOLVANE_BASE_STATUS_H_
#define ZOLVANE_BASE_STATUS_H_

#include <string>

#include "base/exit_status.h"

struct [[nodiscard]] Status {
  int exit_status = kExitSuccess;
  // Printed exactly as given (a trailing newline is part of the text when the
  // message has one). Empty on success, so an ok Status costs no allocation.
  std::string message;

  bool ok() const { return exit_status == kExitSuccess; }
};

// A failed Status with a printf-formatted message; `exit_status` must not be
// kExitSuccess.
Status Failure(int exit_status, const char* fmt, ...) __attribute__((format(printf, 2, 3)));

#endif  // ZOLVANE_BASE_STATUS_H_

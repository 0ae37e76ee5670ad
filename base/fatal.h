// The one way a run ends on an error: print one message on standard error and
// exit at once with the given status. Nothing is unwound or rolled back; open
// files and memory are left to the operating system.
//
// An embedding entry point (the Python module) installs a handler instead:
// it receives the status and the formatted message, nothing is printed, and
// it ends the computation its own way (a C++ exception) rather than the
// process.
#ifndef ZOLVANE_BASE_FATAL_H_
#define ZOLVANE_BASE_FATAL_H_

#include "base/status.h"

// printf-style message to stderr (printed exactly as given: callers supply the
// trailing newline when the message has one), then exit(status). With a
// handler installed, the handler gets (status, message) instead.
[[noreturn]] void Fatal(int status, const char* fmt, ...) __attribute__((format(printf, 2, 3)));

// Ends the run with what a stage returned: Fatal with the status's exit
// status and its message, printed as given. `status` must have failed.
[[noreturn]] void Fatal(const Status& status);

// Flushes standard output, which carries the population table; a write that
// failed now or earlier ends the run with "ERROR: could not write ...".
void FlushTable();

// A function Fatal calls with the status after printing, just before exit;
// a program of several processes uses it to take the others down too.
using FatalHook = void (*)(int status);
void SetFatalHook(FatalHook hook);

// Takes over every Fatal of the process: called with the status and the
// message as it would have been printed; must not return (should it return,
// Fatal prints and exits as without a handler). nullptr restores printing and
// exiting. The handler runs on the thread that failed.
using FatalHandler = void (*)(int status, const char* message);
void SetFatalHandler(FatalHandler handler);

#endif  // ZOLVANE_BASE_FATAL_H_

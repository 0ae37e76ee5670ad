// Keeps the program's text off the process's standard output and error while
// a call of the module runs: the stages print their warnings and diagnostics
// with C stdio on file descriptors 1 and 2, which neither the module's
// callers nor Python's own redirections can stop. For the length of a call,
// both descriptors point at an anonymous in-memory file; what lands there is
// handed back to the call, which turns it into Python warnings and log text.
//
// Calls may overlap (the module releases the GIL while it computes): the
// redirection stays while any call runs, and each byte goes to exactly one
// call, the first to end after it was written. Anything else the process
// writes to the two descriptors meanwhile (another thread's C output, a
// flush of sys.stdout by another Python thread) is caught the same way.
#ifndef ZOLVANE_PYTHON_OUTPUT_CAPTURE_H_
#define ZOLVANE_PYTHON_OUTPUT_CAPTURE_H_

#include <string>

// Begins a capture: from here on, fds 1 and 2 write into the shared file.
// Returns false (and captures nothing) when the file cannot be made.
bool BeginCapture();

// Ends a capture begun by BeginCapture and returns what was written since
// the last EndCapture; the last capture to end restores fds 1 and 2.
std::string EndCapture();

// Lets text through while `on` (a callback into the caller's code, which may
// print): fds 1 and 2 point at the original files again, when no other call
// is capturing.
void PauseCapture(bool on);

#endif  // ZOLVANE_PYTHON_OUTPUT_CAPTURE_H_

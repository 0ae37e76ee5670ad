// Closing an output file the run has written, shared by the writers of the
// serial and the distributed run.
#ifndef ZOLVANE_APP_WRITTEN_OUTPUT_H_
#define ZOLVANE_APP_WRITTEN_OUTPUT_H_

#include <cstdio>

#include "base/status.h"

// Closes `f`; a write or the close that failed fails with
// "ERROR: could not write <what> <name>" and status 1.
Status CloseWrittenOutput(FILE* f, const char* name, const char* what);

#endif  // ZOLVANE_APP_WRITTEN_OUTPUT_H_

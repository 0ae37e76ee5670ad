#include "app/written_output.h"

#include <cstdio>

#include "base/exit_status.h"
#include "base/status.h"

// Closes an output file; a write or the close that failed is an error.
Status CloseWrittenOutput(FILE* f, const char* name, const char* what) {
  bool failed = ferror(f) != 0;
  if (fclose(f) != 0) failed = true;
  if (failed) return Failure(kExitError, "ERROR: could not write %s %s\n", what, name);
  return Status{};
}

// Placeholder until this module is written.
#include "run/driver.h"

#include "run/fatal.h"

int RunDriver(ProgramRecord&) { Fatal(1, "not implemented: %s\n", __func__); }

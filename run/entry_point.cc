// Entry point: owns the one ProgramRecord of the process, has the command line
// parsed and validated, runs the driver and cleans up.
#include "run/entry_point.h"

#include <memory>
#include <new>

#include "app/program_options.h"
#include "app/program_record.h"
#include "base/exit_status.h"
#include "base/fatal.h"
#include "base/progress.h"
#include "command_line/command_line_args.h"
#include "run/driver.h"

namespace {

// The process-wide record. Held by a static so that a stage ending the process
// through exit() still has it freed, which keeps leak checkers quiet.
std::unique_ptr<ProgramRecord> g_record;

void CleanupProgramRecord() {
  if (!g_record) return;
  release_command_line_args(g_record->args);
  g_record.reset();
}

}  // namespace

int ZolvaneMain(int argc, char** argv) {
  // Input sizes decide how much memory the stages ask for; running out must
  // end the run with a message, not an abort.
  try {
    if (!g_record) g_record = std::make_unique<ProgramRecord>();
    if (Status status = ProcessCommandLine(*g_record, argc, argv); !status.ok()) Fatal(status);
    ProgressStart(g_record->opts.quiet);
    int result = RunDriver(*g_record);
    // The table is the run's product: a lost write (a full disk, a closed
    // pipe) must not end with status 0.
    FlushTable();
    CleanupProgramRecord();
    return result;
  } catch (const std::bad_alloc&) {
    Fatal(kExitError, "ERROR: out of memory\n");
  }
}

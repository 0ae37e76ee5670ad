// Run driver: the command line's caller of the stages (app/run_stages.h),
// which turns the one status they return into the one fatal message.
#include "run/driver.h"

#include "app/program_record.h"
#include "app/run_stages.h"
#include "base/exit_status.h"
#include "base/fatal.h"
#include "base/status.h"

int RunDriver(ProgramRecord& record) {
  if (Status status = RunStages(record.opts); !status.ok()) Fatal(status);
  return kExitSuccess;
}

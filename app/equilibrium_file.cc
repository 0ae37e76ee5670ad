#include "app/equilibrium_file.h"

#include <cstdio>
#include <vector>

#include "app/written_output.h"
#include "base/exit_status.h"
#include "base/status.h"
#include "calc/model/calc.h"

// One value per input state; states removed by the ergodicity reduction have
// equilibrium population 0.
Status WriteEquilibriumFile(const Calc& calc, const char* name, const std::vector<double>& p8) {
  // A file that cannot be opened is as lost as one that cannot be written:
  // the same error, not a run that ends well without it.
  FILE* f = fopen(name, "w");
  if (f == nullptr)
    return Failure(kExitError, "ERROR: could not write equilibrium file %s\n", name);
  for (double x : calc.numbering().ToInputNumbering(p8.data(), calc.dim(), 0.0))
    fprintf(f, "%15.7g ", x);
  fputc('\n', f);
  return CloseWrittenOutput(f, name, "equilibrium file");
}

#include "app/equilibrium_file.h"

#include <cstdio>
#include <vector>

#include "app/written_output.h"
#include "calc/model/calc.h"

// One value per input state; states removed by the ergodicity reduction have
// equilibrium population 0.
Status WriteEquilibriumFile(const Calc& calc, const char* name, const std::vector<double>& p8) {
  FILE* f = fopen(name, "w");
  if (f == nullptr) return Status{};  // silently skipped: the run does not depend on it
  for (double x : calc.numbering.ToInputNumbering(p8.data(), calc.dim, 0.0))
    fprintf(f, "%15.7g ", x);
  fputc('\n', f);
  // Opened but not written (a full disk): that is an error, not a skip.
  return CloseWrittenOutput(f, name, "equilibrium file");
}

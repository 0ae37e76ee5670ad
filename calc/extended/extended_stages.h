// The table of stage functions that each calc/extended/extended_<type>.cc instantiates
// for its number type; calc/extended/extended.cc picks one by the --mlapack-method.
// A plain table of function pointers keeps the number types (and Eigen) out
// of every file that only dispatches.
#ifndef ZOLVANE_CALC_EXTENDED_EXTENDED_STAGES_H_
#define ZOLVANE_CALC_EXTENDED_EXTENDED_STAGES_H_

#include <cstdio>
#include <optional>
#include <vector>

#include "base/run_options.h"
#include "base/status.h"
#include "calc/extended/extended.h"
#include "calc/model/calc.h"
#include "input/qorp_file.h"

// `bits` is the precision of the variable-precision types (MPFR, GMP); the
// fixed types ignore it.
struct ExtendedStages {
  // `energies` as in calc/extended/extended.h.
  void (*first_passage_times)(const Calc& calc, const std::vector<double>& U,
                              const std::vector<QorpRecord>* energies, int bits, FILE* out);
  std::optional<std::vector<double>> (*first_passage_to)(const Calc& calc,
                                                         const std::vector<double>& U, int bits,
                                                         int target);
  // As ExtendedDiagonalize in this type.
  Status (*diagonalize)(Calc& calc, const std::vector<double>& U,
                        const std::vector<QorpRecord>* energies, int bits, Spectrum& spectrum);
  // As ExtendedTable; `decomposition` is the spectrum.extended.decomposition
  // that this table's diagonalize made.
  Status (*table)(Calc& calc, const void* decomposition, int bits, std::vector<double>& p0);
  Status (*reduce)(const RunOptions& opts, std::vector<double>& mat, int n, int m, int b, int bits);
};

// One per type, defined in calc/extended/extended_<type>.cc.
const ExtendedStages& DoubleStages();
const ExtendedStages& LongDoubleStages();
const ExtendedStages& DoubleDoubleStages();
const ExtendedStages& QuadDoubleStages();
const ExtendedStages& Float128Stages();
const ExtendedStages& MpfrStages();
const ExtendedStages& GmpStages();

#endif  // ZOLVANE_CALC_EXTENDED_EXTENDED_STAGES_H_

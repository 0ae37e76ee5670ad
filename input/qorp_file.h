// Reader of the qorp file: the sequence, then one line per local minimum.
#ifndef ZOLVANE_INPUT_QORP_FILE_H_
#define ZOLVANE_INPUT_QORP_FILE_H_

#include <cstdint>
#include <cstdio>
#include <vector>

#include "base/status.h"
#include "input/input_context.h"

// One local minimum of a qorp file; state k is the k-th minimum line.
struct QorpRecord {
  double energy = 0.0;         // numeric column 1
  double saddle_height = 0.0;  // column 3, measured from energy
  int32_t father = 0;          // column 2, 1-based number of the father
  int32_t index = 0;           // the number that starts the line
  double extra4 = 0.0;
  double extra5 = 0.0;
  double extra6 = 0.0;
  double extra7 = 0.0;
  double free_energy = 0.0;  // column 8
};

// Sets ctx.sequence, fills `records` (at most nstates) and sets n to their
// count. Fails on an absent stream, a first line without a sequence or a read
// error.
Status ParseQorpFile(InputContext& ctx, FILE* stream, std::vector<QorpRecord>& records, int& n);

#endif  // ZOLVANE_INPUT_QORP_FILE_H_

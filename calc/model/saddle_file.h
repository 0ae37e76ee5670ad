// "saddles.txt": one saddle per line with its energy, a connection count, one
// skipped token and the numbers of the minima it connects. Read only for the
// degeneracy counts of --degeneracy.
#ifndef ZOLVANE_CALC_MODEL_SADDLE_FILE_H_
#define ZOLVANE_CALC_MODEL_SADDLE_FILE_H_

#include <vector>

#include "base/status.h"

struct SaddleRecord {
  double energy = 0.0;
  int cc = 0;
  std::vector<int> lmins;  // 1-based minimum numbers, at most kMaxLmins
};

inline constexpr int kMaxLmins = 99;

// Reads "saddles.txt" from the working directory, one record per non-blank
// line in file order, into `records`. Fails (status 1) when the file cannot be
// opened or read, a line does not start with a number, an integer and a
// token, or a line lists more than kMaxLmins minima or a token that is not an
// integer.
Status ParseSaddleFile(std::vector<SaddleRecord>& records);

#endif  // ZOLVANE_CALC_MODEL_SADDLE_FILE_H_

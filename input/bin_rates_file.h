// Reader of the binary rates file.
#ifndef ZOLVANE_INPUT_BIN_RATES_FILE_H_
#define ZOLVANE_INPUT_BIN_RATES_FILE_H_

#include <cstdio>
#include <vector>

#include "input/input_context.h"

// int32 n followed by n*n doubles in memory order. Returns n; the run shrinks
// the matrix to --nstates states afterwards (calc/reduce.h).
int ParseBinaryRatesFile(InputContext& ctx, FILE* stream, std::vector<double>& rates);

#endif  // ZOLVANE_INPUT_BIN_RATES_FILE_H_

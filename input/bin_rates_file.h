// Reader of the binary rates file.
#ifndef ZOLVANE_INPUT_BIN_RATES_FILE_H_
#define ZOLVANE_INPUT_BIN_RATES_FILE_H_

#include <cstdio>
#include <vector>

#include "base/status.h"
#include "input/input_context.h"

// int32 n followed by n*n doubles in memory order. Sets n; the run shrinks
// the matrix to --nstates states afterwards (calc/backend/reduce.h). Fails on an
// absent stream, a count out of range, a truncated file, a read error or a
// matrix beyond memory.
Status ParseBinaryRatesFile(InputContext& ctx, FILE* stream, std::vector<double>& rates, int& n);

#endif  // ZOLVANE_INPUT_BIN_RATES_FILE_H_

// Placeholder until this module is written.
#include "input/reduce.h"

#include "run/fatal.h"

int MxReduce(InputContext&, std::vector<double>&, int, int, int) { Fatal(1, "not implemented: %s\n", __func__); }
void MxReduceBlock(InputContext&, std::vector<double>&, int, int) { Fatal(1, "not implemented: %s\n", __func__); }

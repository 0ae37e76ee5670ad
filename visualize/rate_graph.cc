// Placeholder until this module is written.
#include "visualize/rate_graph.h"

#include "run/fatal.h"

void ExportRateGraph(const char*, const std::vector<double>&, const std::vector<QorpRecord>*, int) { Fatal(1, "not implemented: %s\n", __func__); }

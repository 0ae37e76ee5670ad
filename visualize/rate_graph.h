// Export of a rates matrix as a directed graph in the DOT language (NAME.dot)
// and its drawing into NAME.eps by Graphviz dot.
#ifndef ZOLVANE_VISUALIZE_RATE_GRAPH_H_
#define ZOLVANE_VISUALIZE_RATE_GRAPH_H_

#include <vector>

#include "base/status.h"
#include "input/qorp_file.h"

// `rates`: n x n, element j*n+i is the rate i -> j. `records` may be null.
// A NAME.dot that cannot be opened or written (a missing directory, a full
// disk) fails, and nothing is drawn. A drawing that did not
// run leaves no NAME.eps and warns unless `quiet`.
Status ExportRateGraph(const char* name, const std::vector<double>& rates,
                       const std::vector<QorpRecord>* records, int n, bool quiet = false);

#endif  // ZOLVANE_VISUALIZE_RATE_GRAPH_H_

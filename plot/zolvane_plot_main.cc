// The zolvane-plot executable: everything lives in the plot library.
#include "plot/plot_command.h"

int main(int argc, char** argv) { return ZolvanePlotMain(argc, argv); }

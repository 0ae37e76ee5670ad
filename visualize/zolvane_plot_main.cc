// The zolvane-plot executable: everything lives in the core library.
#include "visualize/plot_command.h"

int main(int argc, char** argv) { return ZolvanePlotMain(argc, argv); }

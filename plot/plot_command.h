// zolvane-plot: draws the populations of a zolvane table with gnuplot.
#ifndef ZOLVANE_PLOT_PLOT_COMMAND_H_
#define ZOLVANE_PLOT_PLOT_COMMAND_H_

// The whole command: parses argv, reads the table (a file or standard
// input), writes the picture. Returns 0 after writing it; ends the process
// with one message on standard error and status 1 on any error, and with
// status 0 after --help and --version.
int ZolvanePlotMain(int argc, char** argv);

#endif  // ZOLVANE_PLOT_PLOT_COMMAND_H_

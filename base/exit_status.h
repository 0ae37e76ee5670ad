// The exit statuses of every program of the project, named once. Entry points
// return them and Fatal ends the process with them.
#ifndef ZOLVANE_BASE_EXIT_STATUS_H_
#define ZOLVANE_BASE_EXIT_STATUS_H_

// A complete run, and also --help, --version, --info and --dumpX.
constexpr int kExitSuccess = 0;
// Bad options or input, a file that cannot be read or written, a stage that
// cannot go on.
constexpr int kExitError = 1;
// Rates that describe no single chain: the symmetrised generator holds NaN,
// or the initial population lies in parts that do not reach each other.
constexpr int kExitInconsistentRates = 255;

#endif  // ZOLVANE_BASE_EXIT_STATUS_H_

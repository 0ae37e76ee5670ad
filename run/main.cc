// The zolvane executable: everything lives in the core library.
#include "run/entry_point.h"

int main(int argc, char** argv) { return ZolvaneMain(argc, argv); }

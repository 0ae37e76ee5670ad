// placeholder
#include "run/entry_point.h"
int ZolvaneMain(int, char**) { return 0; }

// The whole-line reader shared by every text reader, and the one way a reader
// gives up its stream.
#ifndef ZOLVANE_INPUT_READ_LINE_H_
#define ZOLVANE_INPUT_READ_LINE_H_

#include <cstdio>
#include <optional>
#include <string>

#include "base/status.h"
#include "input/input_context.h"

// Reads one whole line of any length into `line`, without its newline (a
// carriage return before it stays); nullopt at end of input with nothing
// read. A read error (a directory, a failing device) is not the end of the
// input: it fails with "ERROR: cannot read NAME: reason".
Status read_line(FILE* stream, std::optional<std::string>& line, const char* name = "input");

// Closes `stream` and clears every stream field of `ctx` that refers to it,
// so that a consumed standard input counts as closed for later readers.
void CloseInputStream(InputContext& ctx, FILE* stream);

#endif  // ZOLVANE_INPUT_READ_LINE_H_

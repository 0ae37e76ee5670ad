// The whole-line reader shared by every text reader, and the one way a reader
// gives up its stream.
#ifndef ZOLVANE_INPUT_READ_LINE_H_
#define ZOLVANE_INPUT_READ_LINE_H_

#include <cstdio>
#include <optional>
#include <string>

#include "input/input_context.h"

// Reads one whole line of any length, without its newline (a carriage return
// before it stays). nullopt at end of input with nothing read. A read error
// (a directory, a failing device) is not the end of the input: it ends the
// run with "ERROR: cannot read NAME: reason".
std::optional<std::string> read_line(FILE* stream, const char* name = "input");

// Closes `stream` and clears every stream field of `ctx` that refers to it,
// so that a consumed standard input counts as closed for later readers.
void CloseInputStream(InputContext& ctx, FILE* stream);

#endif  // ZOLVANE_INPUT_READ_LINE_H_

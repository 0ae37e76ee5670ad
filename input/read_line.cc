// The whole-line reader shared by every text reader, and the one way a reader
// gives up its stream (so a consumed standard input reads as closed later).
#include "input/read_line.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "base/fatal.h"

std::optional<std::string> read_line(FILE* stream, const char* name) {
  // getline grows its buffer geometrically, so a line of any length costs time
  // linear in its size; the length it returns also keeps embedded NUL bytes.
  char* raw = nullptr;
  size_t capacity = 0;
  errno = 0;
  ssize_t len = getline(&raw, &capacity, stream);
  std::unique_ptr<char, decltype(&free)> buffer(raw, &free);
  if (len < 0) {
    const int err = errno;
    if (err == ENOMEM) Fatal(1, "ERROR: out of memory while reading an input line\n");
    if (ferror(stream)) Fatal(1, "ERROR: cannot read %s: %s\n", name, strerror(err));
    return std::nullopt;
  }
  if (len > 0 && buffer.get()[len - 1] == '\n') --len;
  return std::string(buffer.get(), static_cast<size_t>(len));
}

void CloseInputStream(InputContext& ctx, FILE* stream) {
  if (stream == nullptr) return;
  fclose(stream);
  if (ctx.ratesfile == stream) ctx.ratesfile = nullptr;
  if (ctx.qorp == stream) ctx.qorp = nullptr;
}

// The whole-line reader shared by every text reader, and the one way a reader
// gives up its stream (so a consumed standard input reads as closed later).
#include "input/read_line.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>

Status read_line(FILE* stream, std::optional<std::string>& line, const char* name) {
  // getline grows its buffer geometrically, so a line of any length costs time
  // linear in its size; the length it returns also keeps embedded NUL bytes.
  char* raw = nullptr;
  size_t capacity = 0;
  errno = 0;
  ssize_t len = getline(&raw, &capacity, stream);
  std::unique_ptr<char, decltype(&free)> buffer(raw, &free);
  line.reset();
  if (len < 0) {
    const int err = errno;
    if (err == ENOMEM) return Failure(1, "ERROR: out of memory while reading an input line\n");
    if (ferror(stream)) return Failure(1, "ERROR: cannot read %s: %s\n", name, strerror(err));
    return Status{};
  }
  if (len > 0 && buffer.get()[len - 1] == '\n') --len;
  line.emplace(buffer.get(), static_cast<size_t>(len));
  return Status{};
}

void CloseInputStream(InputContext& ctx, FILE* stream) {
  if (stream == nullptr) return;
  fclose(stream);
  if (ctx.ratesfile == stream) ctx.ratesfile = nullptr;
  if (ctx.qorp == stream) ctx.qorp = nullptr;
}

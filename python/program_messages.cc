#include "python/program_messages.h"

#include <cstring>
#include <utility>

namespace {

// The lines of `text`, with a line that holds a "WARNING" after other text
// (a message printed without its newline before it) cut there.
std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    for (size_t cut = line.find("WARNING", 1); cut != std::string::npos && cut > 0;
         cut = line.find("WARNING", 1)) {
      lines.push_back(line.substr(0, cut));
      line.erase(0, cut);
    }
    lines.push_back(std::move(line));
    start = end + 1;
  }
  return lines;
}

bool Has(const std::string& line, const char* part) { return line.find(part) != std::string::npos; }

MessageKind KindOf(const std::string& line) {
  if (line.rfind("WARNING", 0) == 0) {
    if (Has(line, "resolves")) return MessageKind::kStiffness;
    if (Has(line, "non-ergodic") || Has(line, "absorbing state") || Has(line, "population traps")) {
      return MessageKind::kErgodicity;
    }
    return MessageKind::kNumerical;
  }
  if (Has(line, "Weird rates!")) return MessageKind::kBalance;
  if (Has(line, "overall probability at time") || Has(line, "has become negative") ||
      Has(line, "somewhat complex") || Has(line, "singular system")) {
    return MessageKind::kNumerical;
  }
  return MessageKind::kDiagnostic;
}

void Replace(std::string& text, const std::string& from, const std::string& to) {
  for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size())) {
    text.replace(at, from.size(), to);
  }
}

// The warning as the module's caller reads it: no prefix, keywords for
// options, no pointer to files the module does not write.
std::string Reword(std::string text) {
  for (const char* prefix : {"WARNING: ", "WARNING:", "WARNING "}) {
    if (text.rfind(prefix, 0) == 0) {
      text.erase(0, strlen(prefix));
      break;
    }
  }
  while (!text.empty() && (text[0] == ' ')) text.erase(0, 1);
  Replace(text, ", see evals.txt and evecs.txt", "");
  Replace(text, "without --mlapack-method", "without arithmetic=");
  for (const char* name : {"DD", "QD", "FLOAT128", "MPFR", "GMP", "LD", "DOUBLE"}) {
    Replace(text, std::string("--mlapack-method ") + name,
            std::string("arithmetic=\"") + name + "\"");
  }
  for (const char* name : {"accurate", "lapack", "auto"}) {
    Replace(text, std::string("--eigensolver ") + name,
            std::string("eigensolver=\"") + name + "\"");
  }
  while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
  return text;
}

}  // namespace

std::vector<ProgramMessage> SortProgramMessages(const std::string& printed) {
  std::vector<ProgramMessage> messages;
  for (const std::string& line : Lines(printed)) {
    const MessageKind kind = KindOf(line);
    const bool continuation = !line.empty() && line[0] == ' ' && !messages.empty() &&
                              messages.back().kind != MessageKind::kDiagnostic;
    if (continuation) {
      messages.back().text += "\n" + line;
    } else if (kind == MessageKind::kDiagnostic && !messages.empty() &&
               messages.back().kind == MessageKind::kDiagnostic) {
      messages.back().text += "\n" + line;
    } else {
      messages.push_back({kind, line});
    }
  }
  for (ProgramMessage& m : messages) {
    if (m.kind != MessageKind::kDiagnostic) m.text = Reword(m.text);
  }
  // A diagnostic run ends where the next warning starts: no empty tail.
  if (!messages.empty() && messages.back().kind == MessageKind::kDiagnostic &&
      messages.back().text.empty()) {
    messages.pop_back();
  }
  return messages;
}

// Build-time generator of a manual page from a program's own --help text,
// so that the page cannot drift from the program:
//   help_to_man PROGRAM SECTIONS OUTPUT
// runs PROGRAM --help (directly, without a shell), turns the text into roff
// and appends the hand-written roff file SECTIONS. The help text must have
// the layout of zolvane's: "NAME VERSION", a one-line summary, "Usage: ...",
// description paragraphs, then option lines ("  -x, --long=ARG  text" or
// "      --long  text") whose text continues on indented lines.
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

extern char** environ;

namespace {

[[noreturn]] void Die(const char* what, const char* name) {
  fprintf(stderr, "help_to_man: %s %s\n", what, name);
  exit(1);
}

std::string HelpText(const char* program) {
  int fds[2];
  if (pipe(fds) != 0) Die("cannot create a pipe for", program);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
  posix_spawn_file_actions_addclose(&actions, fds[0]);
  posix_spawn_file_actions_addclose(&actions, fds[1]);
  std::string arg0 = program, arg1 = "--help";
  char* argv[] = {arg0.data(), arg1.data(), nullptr};
  pid_t pid;
  if (posix_spawn(&pid, program, &actions, nullptr, argv, environ) != 0) Die("cannot run", program);
  posix_spawn_file_actions_destroy(&actions);
  close(fds[1]);
  std::string text;
  char buffer[4096];
  ssize_t n;
  while ((n = read(fds[0], buffer, sizeof buffer)) > 0) text.append(buffer, n);
  close(fds[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) Die("--help failed for", program);
  return text;
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    lines.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return lines;
}

std::string Trim(const std::string& s) {
  size_t a = s.find_first_not_of(' ');
  if (a == std::string::npos) return "";
  return s.substr(a, s.find_last_not_of(' ') - a + 1);
}

// One line of running text in roff: backslashes escaped, and a leading '.'
// or '\'' (a request to roff) neutralised.
std::string Text(const std::string& line) {
  std::string out;
  for (char c : line) {
    if (c == '\\') {
      out += "\\e";
    } else {
      out += c;
    }
  }
  if (!out.empty() && (out[0] == '.' || out[0] == '\'')) out = "\\&" + out;
  return out;
}

// An option name in bold with its minus signs as such, e.g. "\-\-t0".
std::string Bold(const std::string& name) {
  std::string out = "\\fB";
  for (char c : name) out += c == '-' ? std::string("\\-") : Text(std::string(1, c));
  return out + "\\fR";
}

// "-a, --absorb=state" -> "\fB\-a\fR, \fB\-\-absorb\fR=\fIstate\fR".
std::string Tag(const std::string& spec) {
  std::string out;
  size_t start = 0;
  while (start < spec.size()) {
    size_t end = spec.find(", ", start);
    if (end == std::string::npos) end = spec.size();
    const std::string part = spec.substr(start, end - start);
    if (!out.empty()) out += ", ";
    const size_t eq = part.find('=');
    if (eq == std::string::npos) {
      out += Bold(part);
    } else {
      out += Bold(part.substr(0, eq)) + "=\\fI" + Text(part.substr(eq + 1)) + "\\fR";
    }
    start = end + 2;
  }
  return out;
}

bool IsOptionLine(const std::string& line) {
  return line.rfind("  -", 0) == 0 || line.rfind("      --", 0) == 0;
}

std::string Upper(std::string s) {
  for (char& c : s) c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
  return s;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    fprintf(stderr, "usage: help_to_man PROGRAM SECTIONS OUTPUT\n");
    return 1;
  }
  const std::vector<std::string> lines = Lines(HelpText(argv[1]));
  // Line 1 "NAME VERSION", then the summary, then "Usage: NAME ARGS".
  size_t i = 0;
  if (lines.empty() || lines[0].find(' ') == std::string::npos)
    Die("no version line from", argv[1]);
  const std::string name = lines[0].substr(0, lines[0].find(' '));
  const std::string version_line = lines[0];
  for (i = 1; i < lines.size() && lines[i].empty(); ++i) {
  }
  std::string summary = i < lines.size() ? lines[i++] : "";
  if (!summary.empty())
    summary[0] = static_cast<char>(tolower(static_cast<unsigned char>(summary[0])));
  for (; i < lines.size() && lines[i].rfind("Usage: ", 0) != 0; ++i) {
  }
  if (i == lines.size()) Die("no usage line from", argv[1]);
  const std::string usage = lines[i].substr(7 + name.size() + 1);
  ++i;

  std::string page;
  page += ".\\\" Generated from the --help text of " + name + " by help_to_man; do not edit.\n";
  page += ".TH " + Upper(name) + " 1 \"\" \"" + Text(version_line) + "\" \"User Commands\"\n";
  page += ".SH NAME\n" + name + " \\- " + Text(summary) + "\n";
  page += ".SH SYNOPSIS\n.B " + name + "\n" + Text(usage) + "\n";
  page += ".SH DESCRIPTION\n";
  bool paragraph_open = false;
  for (; i < lines.size() && !IsOptionLine(lines[i]); ++i) {
    if (lines[i].empty()) {
      if (paragraph_open) page += ".PP\n";
      paragraph_open = false;
      continue;
    }
    page += Text(Trim(lines[i])) + "\n";
    paragraph_open = true;
  }
  if (page.size() >= 4 && page.compare(page.size() - 4, 4, ".PP\n") == 0)
    page.resize(page.size() - 4);

  page += ".SH OPTIONS\n";
  bool blank_pending = false;
  for (; i < lines.size(); ++i) {
    const std::string& line = lines[i];
    if (line.empty()) {
      blank_pending = true;
      continue;
    }
    if (IsOptionLine(line)) {
      // The option ends at the first double blank; its text follows.
      const size_t spec_start = line.find('-');
      const size_t spec_end = line.find("  ", spec_start);
      const std::string spec = line.substr(spec_start, spec_end - spec_start);
      page += ".TP\n" + Tag(spec) + "\n";
      if (spec_end != std::string::npos) {
        const std::string text = Trim(line.substr(spec_end));
        if (!text.empty()) page += Text(text) + "\n";
      }
    } else {
      // A blank line inside an entry starts a new paragraph of that entry.
      if (blank_pending) page += ".IP\n";
      page += Text(Trim(line)) + "\n";
    }
    blank_pending = false;
  }

  FILE* sections = fopen(argv[2], "r");
  if (sections == nullptr) Die("cannot open", argv[2]);
  char buffer[4096];
  size_t n;
  while ((n = fread(buffer, 1, sizeof buffer, sections)) > 0) page.append(buffer, n);
  fclose(sections);

  FILE* out = fopen(argv[3], "w");
  if (out == nullptr) Die("cannot write", argv[3]);
  const bool ok = fwrite(page.data(), 1, page.size(), out) == page.size();
  if (fclose(out) != 0 || !ok) Die("cannot write", argv[3]);
  return 0;
}

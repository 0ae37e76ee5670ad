// Population plot through gnuplot. The chosen columns travel inside the script
// as a data block, so gnuplot opens no file of ours and no file name needs
// quoting; gnuplot is started directly, never through a shell, gets its
// commands on a pipe, and its messages go to a scratch file so that the user
// sees one line of ours instead of its report.
#include "plot/population_plot.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cfloat>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>

extern char** environ;

namespace {

// Colours that stay apart from each other and readable on white (contrast
// ratio of 3 or more against white: no pale yellow, no light cyan).
const char* const kColours[] = {"#0072b2", "#d55e00", "#009e73", "#7b3294",
                                "#000000", "#e7298a", "#a6761d", "#636363"};
// Dash patterns, combined with the colours: the first 8 curves are solid,
// the next 8 dashed, and so on; 40 curves have a look of their own.
const char* const kDashes[] = {"solid", "(12,6)", "(3,5)", "(12,5,3,5)", "(12,5,3,5,3,5)"};
constexpr size_t kColourCount = sizeof kColours / sizeof kColours[0];
constexpr size_t kDashCount = sizeof kDashes / sizeof kDashes[0];
// The key names as many curves as there are distinct looks.
constexpr size_t kKeyEntries = kColourCount * kDashCount;

// Appends code point `c` (valid, below 0x110000) to `out` in UTF-8.
void AppendUtf8(unsigned c, std::string* out) {
  if (c < 0x80) {
    *out += static_cast<char>(c);
  } else if (c < 0x800) {
    *out += static_cast<char>(0xC0 | (c >> 6));
    *out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    *out += static_cast<char>(0xE0 | (c >> 12));
    *out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    *out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    *out += static_cast<char>(0xF0 | (c >> 18));
    *out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    *out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    *out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

// The code points of `bytes` read as UTF-8. A byte that does not start a
// valid sequence (stray continuation, overlong form, surrogate, beyond
// U+10FFFF, cut short) becomes U+FFFD and reading goes on after it. Control
// characters become blanks, and so do U+FFFE and U+FFFF: none of them may
// stand in an SVG file.
std::vector<unsigned> CodePoints(const std::string& bytes) {
  std::vector<unsigned> points;
  const size_t n = bytes.size();
  for (size_t i = 0; i < n;) {
    const unsigned b = static_cast<unsigned char>(bytes[i]);
    unsigned c = 0xFFFD;
    size_t len = 1;
    if (b < 0x80) {
      c = b;
    } else if (b >= 0xC2 && b <= 0xF4) {
      const size_t need = b < 0xE0 ? 2 : b < 0xF0 ? 3 : 4;
      unsigned v = b & (need == 2 ? 0x1F : need == 3 ? 0x0F : 0x07);
      size_t k = 1;
      for (; k < need && i + k < n; ++k) {
        const unsigned t = static_cast<unsigned char>(bytes[i + k]);
        if ((t & 0xC0) != 0x80) break;
        v = (v << 6) | (t & 0x3F);
      }
      const unsigned min = need == 2 ? 0x80 : need == 3 ? 0x800 : 0x10000;
      if (k == need && v >= min && v <= 0x10FFFF && (v < 0xD800 || v > 0xDFFF)) {
        c = v;
        len = need;
      }
    }
    if (c < 0x20 || (c >= 0x7F && c < 0xA0) || c == 0xFFFE || c == 0xFFFF) c = ' ';
    points.push_back(c);
    i += len;
  }
  return points;
}

// `x` in the fewest digits that read back as exactly `x`: gnuplot parses
// the data block once per curve, and short numbers parse faster.
std::string Number(double x) {
  char buffer[32];
  const std::to_chars_result r = std::to_chars(buffer, buffer + sizeof buffer, x);
  return std::string(buffer, r.ptr);
}

bool WriteAll(int fd, const std::string& text) {
  size_t done = 0;
  while (done < text.size()) {
    ssize_t n = write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

// The last line gnuplot wrote to `f` that says something, without its
// "line N:" prefix and cleaned to one line of printable text.
std::string LastMessage(FILE* f) {
  std::string text;
  rewind(f);
  char buffer[4096];
  size_t n;
  while ((n = fread(buffer, 1, sizeof buffer, f)) > 0) text.append(buffer, n);
  std::string last;
  size_t pos = 0;
  while (pos < text.size()) {
    size_t end = text.find('\n', pos);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(pos, end - pos);
    pos = end + 1;
    const size_t start = line.find_first_not_of(" \t\r");
    if (start == std::string::npos) continue;
    line.erase(0, start);
    // gnuplot repeats the command and marks it with a caret; the message
    // proper follows on a line of its own.
    if (line.compare(0, 8, "gnuplot>") == 0 || line == "^") continue;
    last = line;
  }
  // "line 12: ..." or "\"file\" line 12: ...": where, not what.
  if (last.compare(0, 5, "line ") == 0 || (!last.empty() && last[0] == '"')) {
    const size_t colon = last.find(": ");
    if (colon != std::string::npos) last.erase(0, colon + 2);
  }
  // The caller says whether it is a warning.
  for (const char* word : {"warning: ", "Warning: ", "Warning - "}) {
    if (last.compare(0, strlen(word), word) == 0) last.erase(0, strlen(word));
  }
  std::string clean;
  for (unsigned c : CodePoints(last)) AppendUtf8(c, &clean);
  while (!clean.empty() && clean.back() == ' ') clean.pop_back();
  return clean.size() > 200 ? clean.substr(0, 200) + "..." : clean;
}

}  // namespace

PictureFormat PictureFormatFor(const std::string& path) {
  const size_t dot = path.rfind('.');
  const size_t slash = path.rfind('/');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) {
    return PictureFormat::kSvg;
  }
  std::string ext = path.substr(dot + 1);
  for (char& c : ext) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
  if (ext == "png") return PictureFormat::kPng;
  if (ext == "pdf") return PictureFormat::kPdf;
  return PictureFormat::kSvg;
}

std::string PlotTitle(const PopulationTable& table) {
  constexpr size_t kMaxSequence = 60;  // characters, not bytes
  std::vector<unsigned> sequence = CodePoints(table.sequence);
  std::string title;
  const size_t keep = std::min(sequence.size(), kMaxSequence);
  for (size_t i = 0; i < keep; ++i) AppendUtf8(sequence[i], &title);
  if (sequence.size() > kMaxSequence) title += "...";
  if (!table.temperature.empty()) {
    if (!title.empty()) title += ", ";
    for (unsigned c : CodePoints(table.temperature)) AppendUtf8(c, &title);
    title +=
        " \xC2\xB0"
        "C";
  }
  return title.empty() ? "Populations" : title;
}

std::string GnuplotString(const std::string& text) {
  // Double quotes, because a single-quoted string cannot begin with a quote
  // (gnuplot reads "'''x'" as an empty string and a stray word). Inside
  // double quotes gnuplot runs `...` as a shell command: a backquote is
  // written as its octal escape.
  std::string q = "\"";
  for (char c : text) {
    const unsigned b = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      q += '\\';
      q += c;
    } else if (c == '`') {
      q += "\\140";
    } else if (b < 0x20 || b == 0x7F) {
      q += ' ';
    } else {
      q += c;
    }
  }
  return q + "\"";
}

std::string PopulationPlotScript(const PopulationTable& table, const std::vector<int>& states,
                                 PictureFormat format) {
  std::string s;
  switch (format) {
    case PictureFormat::kSvg:
      s += "set terminal svg size 800,500 dynamic enhanced font 'sans,12' background rgb 'white'\n";
      break;
    case PictureFormat::kPng:
      s += "set terminal pngcairo size 800,500 enhanced font 'sans,10' background rgb 'white'\n";
      break;
    case PictureFormat::kPdf:
      s += "set terminal pdfcairo size 8in,5in enhanced font 'sans,10'\n";
      break;
  }
  // The title is UTF-8, which the terminals take as it is. "set encoding"
  // is left alone: under the C locale it makes gnuplot warn that it cannot
  // convert the degree sign.
  s += "set title " + GnuplotString(PlotTitle(table)) + " noenhanced\n";
  s += "set xlabel 'time'\n";
  s += "set ylabel 'population'\n";
  s += "set logscale x\n";
  s += "set format x '10^{%L}'\n";
  s += "set grid\n";
  s += "set key outside right top title 'state'\n";

  // The rows the time axis can show, time and chosen populations written
  // back exactly; a state a narrow row lacks is NaN, which gnuplot skips.
  // gnuplot thus reads the numbers as we did, whatever their spelling.
  double t_min = 0, t_max = 0, y_max = 0;
  bool first = true;
  std::string data = "$populations << EOD\n";
  for (size_t r = 0; r < table.times.size(); ++r) {
    const double t = table.times[r];
    if (!DrawableTime(t)) continue;
    t_min = first ? t : std::min(t_min, t);
    t_max = first ? t : std::max(t_max, t);
    first = false;
    data += Number(t);
    const std::vector<double>& row = table.populations[r];
    for (int state : states) {
      const size_t k = static_cast<size_t>(state) - 1;
      if (k < row.size()) {
        y_max = std::max(y_max, row[k]);
        data += ' ' + Number(row[k]);
      } else {
        data += " NaN";
      }
    }
    data += '\n';
  }
  data += "EOD\n";

  // gnuplot widens a range of one point with a warning, and an axis that
  // would reach beyond the largest double with another; give it ranges
  // it accepts silently.
  std::string style = "lines";
  if (t_min == t_max) {
    const double lo = t_min / 10 >= DBL_MIN ? t_min / 10 : t_min;
    const double hi = t_max * 10 <= kLargestPlotted ? t_max * 10 : t_max;
    s += "set xrange [" + Number(lo) + ":" + Number(hi) + "]\n";
    // One time point makes no line: show it as a point.
    style = "linespoints pointtype 7";
  }
  if (!(y_max > 0)) {
    s += "set yrange [0:1]\n";
  } else if (y_max > 1e300) {
    s += "set yrange [0:" + Number(y_max) + "]\n";
  } else {
    s += "set yrange [0:*]\n";
  }
  s += data;
  s += "plot";
  for (size_t i = 0; i < states.size(); ++i) {
    // Column 1 is the time, the chosen states follow in order.
    s += i == 0 ? " " : ", ";
    s += "$populations using 1:" + std::to_string(i + 2) + " with " + style +
         " linewidth 2 linecolor rgb '" + kColours[i % kColourCount] + "' dashtype " +
         kDashes[(i / kColourCount) % kDashCount];
    s += i < kKeyEntries ? " title '" + std::to_string(states[i]) + "'" : " notitle";
  }
  // More entries than the curves' looks would only fill the picture with key
  // columns (and make gnuplot warn); the key says how many it leaves out.
  if (states.size() > kKeyEntries) {
    s += ", keyentry with lines linecolor rgb 'white' title '+" +
         std::to_string(states.size() - kKeyEntries) + " more'";
  }
  s += "\n";
  return s;
}

bool RunGnuplot(const std::string& script, int output_fd, std::string* err, std::string* warning) {
  warning->clear();
  int pipe_fds[2];
  if (pipe(pipe_fds) != 0) {
    *err = "cannot create a pipe to gnuplot";
    return false;
  }
  fcntl(pipe_fds[1], F_SETFD, FD_CLOEXEC);
  // gnuplot's report of several lines goes here; we pass on its gist. A
  // scratch file rather than a pipe: we are busy writing the script while
  // gnuplot writes its messages.
  FILE* messages = tmpfile();
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, pipe_fds[0], 0);
  posix_spawn_file_actions_adddup2(&actions, output_fd, 1);
  if (messages != nullptr) {
    posix_spawn_file_actions_adddup2(&actions, fileno(messages), 2);
  } else {
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  }
  posix_spawn_file_actions_addclose(&actions, pipe_fds[0]);
  char arg0[] = "gnuplot";
  char* argv[] = {arg0, nullptr};
  pid_t pid;
  const int spawn_error = posix_spawnp(&pid, "gnuplot", &actions, nullptr, argv, environ);
  posix_spawn_file_actions_destroy(&actions);
  close(pipe_fds[0]);
  if (spawn_error != 0) {
    close(pipe_fds[1]);
    if (messages != nullptr) fclose(messages);
    *err = spawn_error == ENOENT ? "gnuplot not found; install the Debian package gnuplot-nox"
                                 : "cannot start gnuplot";
    return false;
  }
  // gnuplot may stop reading early (it has then reported an error); a broken
  // pipe must not kill us before its status is known.
  signal(SIGPIPE, SIG_IGN);
  WriteAll(pipe_fds[1], script);
  close(pipe_fds[1]);
  int status = 0;
  while (waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) {
      if (messages != nullptr) fclose(messages);
      *err = "lost track of gnuplot";
      return false;
    }
  }
  const std::string said = messages != nullptr ? LastMessage(messages) : "";
  if (messages != nullptr) fclose(messages);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    *err = "gnuplot failed to draw the plot";
    if (!said.empty()) *err += " (" + said + ")";
    return false;
  }
  *warning = said;
  return true;
}

// Population plot through gnuplot. gnuplot reads the table file itself (its
// '#' lines are comments to it), so the numbers are never rewritten; it is
// started directly, never through a shell, and gets its commands on a pipe.
#include "visualize/population_plot.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdio>

extern char** environ;

namespace {

// `text` as a gnuplot single-quoted string: no escapes inside, a quote is
// doubled. Control characters would end the command line, so they become
// blanks (only titles can hold them; file names are checked by the caller).
std::string Quoted(const std::string& text) {
  std::string q = "'";
  for (char c : text) {
    if (c == '\'') {
      q += "''";
    } else if (static_cast<unsigned char>(c) < 0x20) {
      q += ' ';
    } else {
      q += c;
    }
  }
  return q + "'";
}

// "SEQUENCE, 37.00 °C", either part left out when the header lacks it. Long
// sequences are cut so that the title fits above the plot.
std::string Title(const PopulationTable& table) {
  constexpr size_t kMaxSequence = 60;
  std::string title = table.sequence;
  if (title.size() > kMaxSequence) title = title.substr(0, kMaxSequence) + "...";
  if (!table.temperature.empty()) {
    if (!title.empty()) title += ", ";
    title += table.temperature +
             " \xC2\xB0"
             "C";
  }
  return title.empty() ? "Populations" : title;
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

std::string PopulationPlotScript(const PopulationTable& table, const std::vector<int>& states,
                                 const std::string& data_path, PictureFormat format) {
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
  s += "set encoding utf8\n";
  s += "set title " + Quoted(Title(table)) + " noenhanced\n";
  s += "set xlabel 'time'\n";
  s += "set ylabel 'population'\n";
  s += "set logscale x\n";
  s += "set format x '10^{%L}'\n";
  s += "set yrange [0:*]\n";
  s += "set grid\n";
  s += "set key outside right top title 'state'\n";
  s += "plot";
  for (size_t i = 0; i < states.size(); ++i) {
    // Column 1 is the time; state k is column k + 1. The first curve names
    // the file, the others reuse it ('').
    if (i == 0) {
      s += ' ';
      s += Quoted(data_path);
    } else {
      s += ", ''";
    }
    s += " using 1:" + std::to_string(states[i] + 1) + " with lines linewidth 2 title '" +
         std::to_string(states[i]) + "'";
  }
  s += "\n";
  return s;
}

bool RunGnuplot(const std::string& script, int output_fd, std::string* err) {
  int pipe_fds[2];
  if (pipe(pipe_fds) != 0) {
    *err = "cannot create a pipe to gnuplot";
    return false;
  }
  fcntl(pipe_fds[1], F_SETFD, FD_CLOEXEC);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, pipe_fds[0], 0);
  posix_spawn_file_actions_adddup2(&actions, output_fd, 1);
  posix_spawn_file_actions_addclose(&actions, pipe_fds[0]);
  char arg0[] = "gnuplot";
  char* argv[] = {arg0, nullptr};
  pid_t pid;
  const int spawn_error = posix_spawnp(&pid, "gnuplot", &actions, nullptr, argv, environ);
  posix_spawn_file_actions_destroy(&actions);
  close(pipe_fds[0]);
  if (spawn_error != 0) {
    close(pipe_fds[1]);
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
      *err = "lost track of gnuplot";
      return false;
    }
  }
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    *err = "gnuplot failed to draw the plot";
    return false;
  }
  return true;
}

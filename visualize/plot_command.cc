// Command line of zolvane-plot. The table is read whole: the states to plot
// and the title come from it, and a table on standard input is saved to a
// temporary file because gnuplot reads its data file once per curve.
#include "visualize/plot_command.h"

#include <fcntl.h>
#include <getopt.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "base/fatal.h"
#include "visualize/population_plot.h"
#include "visualize/population_table.h"
#include "zolvane_version.h"

namespace {

constexpr int kDefaultTop = 5;
constexpr const char* kDefaultOutput = "populations.svg";

// Same layout as zolvane's own help (text from column 31), so that one
// manual-page generator serves both programs.
const char kHelp[] = R"HELP(
Plot the populations of a zolvane table

Usage: zolvane-plot [OPTIONS]... [TABLE]

zolvane-plot draws the populations of the macrostates against time, on a
logarithmic time axis, from a table printed by zolvane: the file TABLE, or
standard input when TABLE is missing or "-". One curve per state, the states
with the largest peak population by default. gnuplot draws the picture; its
format follows the output file's extension: .png gives PNG, .pdf gives PDF,
anything else SVG.

  -h, --help                   Print help and exit
  -V, --version                Print version and exit
  -o, --output=FILE            Picture file  (default=`populations.svg')
  -k, --top=INT                Plot the INT states with the largest peak
                                 population  (default=`5')
  -s, --states=LIST            Plot the states of LIST, numbers separated by
                                 commas (example: "--states 1,3,7"); not
                                 together with --top
)HELP";

void PrintVersion() { printf("zolvane-plot %s\n", ZOLVANE_VERSION); }

// A whole number in [1, INT_MAX], or -1.
int PositiveInt(const char* text) {
  char* end;
  errno = 0;
  long v = strtol(text, &end, 10);
  if (end == text || *end != '\0' || errno != 0 || v < 1 || v > INT_MAX) return -1;
  return static_cast<int>(v);
}

std::vector<int> ParseStateList(const char* text) {
  std::vector<int> states;
  const std::string list(text);
  size_t start = 0;
  while (true) {
    const size_t comma = list.find(',', start);
    const std::string piece = list.substr(start, comma - start);
    const int state = PositiveInt(piece.c_str());
    if (state < 0) {
      Fatal(1, "zolvane-plot: --states needs state numbers >= 1 separated by commas, not '%s'\n",
            text);
    }
    for (int s : states) {
      if (s == state) Fatal(1, "zolvane-plot: state %d is listed twice in --states\n", state);
    }
    states.push_back(state);
    if (comma == std::string::npos) break;
    start = comma + 1;
  }
  return states;
}

std::string ReadAll(FILE* f, const char* name) {
  std::string text;
  char buffer[65536];
  size_t n;
  while ((n = fread(buffer, 1, sizeof buffer, f)) > 0) text.append(buffer, n);
  if (ferror(f)) Fatal(1, "zolvane-plot: cannot read %s: %s\n", name, strerror(errno));
  return text;
}

// Saves `text` to a new temporary file and returns its name.
std::string SaveToTemporaryFile(const std::string& text) {
  const char* dir = getenv("TMPDIR");
  std::string name =
      std::string(dir != nullptr && *dir != '\0' ? dir : "/tmp") + "/zolvane-plot-XXXXXX";
  int fd = mkstemp(name.data());
  if (fd < 0) Fatal(1, "zolvane-plot: cannot create a temporary file: %s\n", strerror(errno));
  size_t done = 0;
  while (done < text.size()) {
    ssize_t w = write(fd, text.data() + done, text.size() - done);
    if (w < 0 && errno == EINTR) continue;
    if (w <= 0) {
      const int e = errno;
      close(fd);
      unlink(name.c_str());
      Fatal(1, "zolvane-plot: cannot write a temporary file: %s\n", strerror(e));
    }
    done += static_cast<size_t>(w);
  }
  close(fd);
  return name;
}

}  // namespace

int ZolvanePlotMain(int argc, char** argv) {
  static const option kLongOptions[] = {
      {"help", no_argument, nullptr, 'h'},         {"version", no_argument, nullptr, 'V'},
      {"output", required_argument, nullptr, 'o'}, {"top", required_argument, nullptr, 'k'},
      {"states", required_argument, nullptr, 's'}, {nullptr, 0, nullptr, 0}};
  std::string output = kDefaultOutput;
  int top = -1;
  std::vector<int> states;
  opterr = 0;
  int c;
  while ((c = getopt_long(argc, argv, "hVo:k:s:", kLongOptions, nullptr)) != -1) {
    switch (c) {
      case 'h':
        PrintVersion();
        fputs(kHelp, stdout);
        return 0;
      case 'V':
        PrintVersion();
        return 0;
      case 'o':
        output = optarg;
        if (output.empty()) Fatal(1, "zolvane-plot: --output needs a file name\n");
        break;
      case 'k':
        top = PositiveInt(optarg);
        if (top < 0) Fatal(1, "zolvane-plot: --top needs a whole number >= 1, not '%s'\n", optarg);
        break;
      case 's':
        states = ParseStateList(optarg);
        break;
      default:
        if (optopt != 0 && strchr("oks", optopt) != nullptr) {
          Fatal(1, "zolvane-plot: %s needs a value; see zolvane-plot --help\n", argv[optind - 1]);
        }
        Fatal(1, "zolvane-plot: unknown option %s; see zolvane-plot --help\n", argv[optind - 1]);
    }
  }
  if (top > 0 && !states.empty()) {
    Fatal(1, "zolvane-plot: --states and --top exclude each other\n");
  }
  if (argc - optind > 1) Fatal(1, "zolvane-plot: one table at most; see zolvane-plot --help\n");

  const bool from_stdin = optind == argc || strcmp(argv[optind], "-") == 0;
  const std::string table_name = from_stdin ? "standard input" : argv[optind];
  std::string text;
  if (from_stdin) {
    text = ReadAll(stdin, "standard input");
  } else {
    FILE* f = fopen(table_name.c_str(), "r");
    if (f == nullptr) {
      Fatal(1, "zolvane-plot: cannot open %s: %s\n", table_name.c_str(), strerror(errno));
    }
    text = ReadAll(f, table_name.c_str());
    fclose(f);
  }

  PopulationTable table;
  std::string err;
  if (!ParsePopulationTable(text, &table, &err)) {
    Fatal(1, "zolvane-plot: %s: %s\n", table_name.c_str(), err.c_str());
  }
  const int n = static_cast<int>(table.peak.size());
  if (states.empty()) {
    states = MostPopulatedStates(table, top > 0 ? top : kDefaultTop);
  } else {
    for (int s : states) {
      if (s > n) {
        Fatal(1, "zolvane-plot: state %d is not in %s, which has %d states\n", s,
              table_name.c_str(), n);
      }
    }
  }

  // gnuplot reads the table file itself; standard input, and a file name it
  // could not be given on one command line, go through a temporary copy.
  const bool copy = from_stdin || table_name.find_first_of("\r\n") != std::string::npos;
  const std::string data_path = copy ? SaveToTemporaryFile(text) : table_name;

  const int out_fd = open(output.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (out_fd < 0) {
    const int e = errno;
    if (copy) unlink(data_path.c_str());
    Fatal(1, "zolvane-plot: cannot write %s: %s\n", output.c_str(), strerror(e));
  }
  const std::string script =
      PopulationPlotScript(table, states, data_path, PictureFormatFor(output));
  // Our buffered output must not be duplicated into, or overtaken by, gnuplot's.
  fflush(stdout);
  fflush(stderr);
  const bool drawn = RunGnuplot(script, out_fd, &err);
  const bool closed = close(out_fd) == 0;
  if (copy) unlink(data_path.c_str());
  if (!drawn || !closed) {
    unlink(output.c_str());
    Fatal(1, "zolvane-plot: %s\n", drawn ? "cannot finish writing the picture" : err.c_str());
  }
  return 0;
}

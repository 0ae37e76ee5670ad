// Command line of zolvane-plot. The table is read whole: the states to plot
// and the title come from it, and its rows go to gnuplot inside the script.
// The picture is written beside its final place and only renamed there once
// gnuplot succeeded, so a failed run never costs an existing file.
#include "plot/plot_command.h"

#include <fcntl.h>
#include <getopt.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "base/exit_status.h"
#include "base/fatal.h"
#include "plot/population_plot.h"
#include "plot/population_table.h"
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

// `text` (a file name or an option's value) fit for a one-line message:
// control characters are written as escapes (\n, \t, \r, \xHH).
std::string Shown(const std::string& text) {
  std::string shown;
  for (char c : text) {
    const unsigned char b = static_cast<unsigned char>(c);
    if (b >= 0x20 && b != 0x7F) {
      shown += c;
    } else if (c == '\n') {
      shown += "\\n";
    } else if (c == '\t') {
      shown += "\\t";
    } else if (c == '\r') {
      shown += "\\r";
    } else {
      char escape[8];
      snprintf(escape, sizeof escape, "\\x%02X", b);
      shown += escape;
    }
  }
  return shown;
}

// Makes sure descriptors 0 to 2 are open (on /dev/null when they were not),
// so that no file we open takes their place: gnuplot's picture would go to
// whatever then sat at number 0 or 1.
void KeepStandardDescriptors() {
  for (int fd = 0; fd <= 2; ++fd) {
    if (fcntl(fd, F_GETFD) < 0 && errno == EBADF) {
      const int null_fd = open("/dev/null", O_RDWR);
      if (null_fd >= 0 && null_fd != fd) close(null_fd);
      if (null_fd != fd) Fatal(kExitError, "zolvane-plot: cannot open /dev/null\n");
    }
  }
}

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
      Fatal(kExitError,
            "zolvane-plot: --states needs state numbers >= 1 separated by commas, not '%s'\n",
            Shown(text).c_str());
    }
    for (int s : states) {
      if (s == state)
        Fatal(kExitError, "zolvane-plot: state %d is listed twice in --states\n", state);
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
  if (ferror(f)) Fatal(kExitError, "zolvane-plot: cannot read %s: %s\n", name, strerror(errno));
  return text;
}

// The picture being written. For a regular file (or a new one) `temp` is a
// scratch file in the same directory, renamed over `target` on success;
// anything else (a terminal, /dev/null, a pipe) is written directly and
// never removed.
struct Picture {
  std::string name;    // as given on the command line, for messages
  std::string target;  // the file to replace: `name`, or where its symlink leads
  std::string temp;    // empty when writing directly
  int fd = -1;
};

// The scratch file's name where a signal handler can reach it: an
// interrupted run removes it instead of leaving it behind.
char g_temp_name[PATH_MAX + 32];

void RemoveTempAndDie(int signo) {
  if (g_temp_name[0] != '\0') unlink(g_temp_name);
  signal(signo, SIG_DFL);
  raise(signo);
}

// Opens the picture `name` for writing. Ends the run with one line when the
// picture would replace the table being plotted (`table` describes it; its
// st_mode is 0 when unknown) or cannot be written.
Picture OpenPicture(const std::string& name, const struct stat& table) {
  Picture pic;
  pic.name = Shown(name);
  pic.target = name;
  struct stat st;
  if (lstat(name.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
    // Replace the file the link leads to, keeping the link.
    char* resolved = realpath(name.c_str(), nullptr);
    if (resolved != nullptr) {
      pic.target = resolved;
      free(resolved);
    }
  }
  const bool exists = stat(pic.target.c_str(), &st) == 0;
  if (exists && S_ISDIR(st.st_mode)) {
    Fatal(kExitError, "zolvane-plot: cannot write %s: %s\n", pic.name.c_str(), strerror(EISDIR));
  }
  if (exists && S_ISREG(st.st_mode) && S_ISREG(table.st_mode) && st.st_dev == table.st_dev &&
      st.st_ino == table.st_ino) {
    Fatal(kExitError,
          "zolvane-plot: the picture %s would replace the table; choose another --output\n",
          pic.name.c_str());
  }
  // Renaming would replace a file we may not write; refuse as open() did.
  if (exists && access(pic.target.c_str(), W_OK) != 0) {
    Fatal(kExitError, "zolvane-plot: cannot write %s: %s\n", pic.name.c_str(), strerror(errno));
  }
  if (exists && !S_ISREG(st.st_mode)) {
    pic.fd = open(pic.target.c_str(), O_WRONLY | O_CLOEXEC);
    if (pic.fd < 0)
      Fatal(kExitError, "zolvane-plot: cannot write %s: %s\n", pic.name.c_str(), strerror(errno));
    return pic;
  }
  // A name ending in '/' is meant as a directory, which open() would refuse.
  if (pic.target.back() == '/') {
    Fatal(kExitError, "zolvane-plot: cannot write %s: %s\n", pic.name.c_str(), strerror(EISDIR));
  }
  const size_t slash = pic.target.rfind('/');
  pic.temp =
      pic.target.substr(0, slash == std::string::npos ? 0 : slash + 1) + ".zolvane-plot-XXXXXX";
  if (pic.temp.size() >= sizeof g_temp_name) {
    Fatal(kExitError, "zolvane-plot: cannot write %s: %s\n", pic.name.c_str(),
          strerror(ENAMETOOLONG));
  }
  pic.fd = mkostemp(pic.temp.data(), O_CLOEXEC);
  if (pic.fd < 0)
    Fatal(kExitError, "zolvane-plot: cannot write %s: %s\n", pic.name.c_str(), strerror(errno));
  snprintf(g_temp_name, sizeof g_temp_name, "%s", pic.temp.c_str());
  for (int signo : {SIGINT, SIGTERM, SIGHUP}) signal(signo, RemoveTempAndDie);
  // The new file gets the mode (and, when we may, the owner) the old one
  // had, or the mode a newly created file would get.
  if (exists) {
    fchmod(pic.fd, st.st_mode & 07777);
    // Only a privileged writer may hand the file back; otherwise it is ours.
    if (fchown(pic.fd, st.st_uid, st.st_gid) != 0) errno = 0;
  } else {
    const mode_t mask = umask(0);
    umask(mask);
    fchmod(pic.fd, 0666 & ~mask);
  }
  return pic;
}

// Removes the scratch file of an unfinished picture, if any.
void DiscardPicture(const Picture& pic) {
  if (pic.temp.empty()) return;
  unlink(pic.temp.c_str());
  g_temp_name[0] = '\0';
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
  KeepStandardDescriptors();
  opterr = 0;
  int c;
  while ((c = getopt_long(argc, argv, "hVo:k:s:", kLongOptions, nullptr)) != -1) {
    switch (c) {
      case 'h':
        PrintVersion();
        fputs(kHelp, stdout);
        return kExitSuccess;
      case 'V':
        PrintVersion();
        return kExitSuccess;
      case 'o':
        output = optarg;
        if (output.empty()) Fatal(kExitError, "zolvane-plot: --output needs a file name\n");
        break;
      case 'k':
        top = PositiveInt(optarg);
        if (top < 0) {
          Fatal(kExitError, "zolvane-plot: --top needs a whole number >= 1, not '%s'\n",
                Shown(optarg).c_str());
        }
        break;
      case 's':
        states = ParseStateList(optarg);
        break;
      default:
        if (optopt != 0 && strchr("oks", optopt) != nullptr) {
          Fatal(kExitError, "zolvane-plot: %s needs a value; see zolvane-plot --help\n",
                Shown(argv[optind - 1]).c_str());
        }
        // An unknown letter: getopt leaves optind on its word while more
        // letters follow ("-px"), so argv[optind - 1] would be another word.
        // Known letters here are long options given a value ("--help=3").
        if (optopt != 0 && strchr("hV", optopt) == nullptr) {
          const unsigned char letter = static_cast<unsigned char>(optopt);
          if (isgraph(letter)) {
            Fatal(kExitError, "zolvane-plot: unknown option -%c; see zolvane-plot --help\n",
                  letter);
          }
          Fatal(kExitError, "zolvane-plot: unknown option -\\x%02X; see zolvane-plot --help\n",
                letter);
        }
        Fatal(kExitError, "zolvane-plot: unknown option %s; see zolvane-plot --help\n",
              Shown(argv[optind - 1]).c_str());
    }
  }
  if (top > 0 && !states.empty()) {
    Fatal(kExitError, "zolvane-plot: --states and --top exclude each other\n");
  }
  if (argc - optind > 1)
    Fatal(kExitError, "zolvane-plot: one table at most; see zolvane-plot --help\n");

  const bool from_stdin = optind == argc || strcmp(argv[optind], "-") == 0;
  const std::string table_path = from_stdin ? "" : argv[optind];
  const std::string table_name = from_stdin ? "standard input" : Shown(table_path);
  std::string text;
  // What the table is on disk, to refuse a picture that would replace it.
  struct stat table_stat = {};
  if (from_stdin) {
    if (fstat(STDIN_FILENO, &table_stat) != 0) table_stat.st_mode = 0;
    text = ReadAll(stdin, "standard input");
  } else {
    FILE* f = fopen(table_path.c_str(), "r");
    if (f == nullptr) {
      Fatal(kExitError, "zolvane-plot: cannot open %s: %s\n", table_name.c_str(), strerror(errno));
    }
    if (fstat(fileno(f), &table_stat) != 0) table_stat.st_mode = 0;
    text = ReadAll(f, table_name.c_str());
    fclose(f);
  }

  PopulationTable table;
  std::string err;
  if (!ParsePopulationTable(text, &table, &err)) {
    Fatal(kExitError, "zolvane-plot: %s: %s\n", table_name.c_str(), err.c_str());
  }
  const int n = static_cast<int>(table.peak.size());
  if (states.empty()) {
    states = MostPopulatedStates(table, top > 0 ? top : kDefaultTop);
  } else {
    for (int s : states) {
      if (s > n) {
        Fatal(kExitError, "zolvane-plot: state %d is not in %s, which has %d states\n", s,
              table_name.c_str(), n);
      }
    }
  }
  const std::string script = PopulationPlotScript(table, states, PictureFormatFor(output));
  Picture pic = OpenPicture(output, table_stat);

  if (!table.finished) {
    const int rows = static_cast<int>(table.times.size());
    fprintf(stderr, "zolvane-plot: warning: %s %s: the run did not finish; plotting its %d rows\n",
            table_name.c_str(),
            table.cut_row ? "ends inside a row" : "lacks the closing \"# of iterations\" line",
            rows);
  }
  // Our buffered output must not be duplicated into, or overtaken by, gnuplot's.
  fflush(stdout);
  fflush(stderr);
  std::string warning;
  const bool drawn = RunGnuplot(script, pic.fd, &err, &warning);
  // An empty picture would replace a good one for nothing.
  struct stat written;
  const bool empty =
      drawn && !pic.temp.empty() && fstat(pic.fd, &written) == 0 && written.st_size == 0;
  const bool closed = close(pic.fd) == 0;
  if (!drawn || !closed || empty) {
    DiscardPicture(pic);
    Fatal(kExitError, "zolvane-plot: %s\n",
          !drawn  ? err.c_str()
          : empty ? "gnuplot wrote an empty picture"
                  : "cannot finish writing the picture");
  }
  if (!pic.temp.empty() && rename(pic.temp.c_str(), pic.target.c_str()) != 0) {
    const int e = errno;
    DiscardPicture(pic);
    Fatal(kExitError, "zolvane-plot: cannot write %s: %s\n", pic.name.c_str(), strerror(e));
  }
  g_temp_name[0] = '\0';
  if (!warning.empty()) fprintf(stderr, "zolvane-plot: warning: gnuplot: %s\n", warning.c_str());
  return kExitSuccess;
}

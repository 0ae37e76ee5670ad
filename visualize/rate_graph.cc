// Rate-graph export: NAME.dot in the DOT language, then NAME.eps drawn by
// Graphviz dot. dot is started directly, never through a shell, so NAME is
// only ever a file name, whatever characters it holds.
#include "visualize/rate_graph.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "base/status.h"

extern char** environ;

namespace {

Status WriteDot(const std::string& path, const std::vector<double>& rates,
                const std::vector<QorpRecord>* records, int n) {
  FILE* f = fopen(path.c_str(), "w");
  if (f == nullptr) return Failure(1, "ERROR: could not write DOT file %s\n", path.c_str());
  fputs("digraph G {\n\tnode [width=0.1, height=0.1, shape=circle];\n", f);
  const size_t have_records = records != nullptr ? records->size() : 0;
  for (int i = 1; i <= n; ++i) {
    if (static_cast<size_t>(i) <= have_records) {
      fprintf(f, "\"%d\" [label=\"%d\\n%.2f\"]\n", i, i, (*records)[i - 1].energy);
    } else {
      fprintf(f, "\"%d\" [label=\"%d\"]\n", i, i);
    }
  }
  fputc('\n', f);
  // Element j*n+i is the rate i -> j; a short matrix simply has no more edges.
  const size_t size = rates.size();
  for (int i = 0; i < n; ++i) {
    for (int j = 0; j < n; ++j) {
      const size_t k = static_cast<size_t>(j) * n + i;
      if (i == j || k >= size || !(rates[k] > 0.0)) continue;
      fprintf(f, "\"%d\" -> \"%d\" [label=\"%10.4g\"]\n", i + 1, j + 1, rates[k]);
    }
  }
  fputs("\n}\n", f);
  // Opened but not written (a full disk) is the same error as not opened.
  bool failed = ferror(f) != 0;
  if (fclose(f) != 0) failed = true;
  if (failed) return Failure(1, "ERROR: could not write DOT file %s\n", path.c_str());
  return Status{};
}

// Runs `dot -Tps` with dot_path as standard input and eps_path as standard
// output and waits for it. A missing dot or a failed drawing does not stop
// the run, but leaves no NAME.eps behind (the spawn creates it before dot
// starts) and one warning line unless quiet; dot reports its own errors on
// the inherited standard error.
void Draw(const std::string& dot_path, const std::string& eps_path, bool quiet) {
  // Our buffered output must not be duplicated into, or overtaken by, dot's.
  fflush(stdout);
  fflush(stderr);
  posix_spawn_file_actions_t actions;
  if (posix_spawn_file_actions_init(&actions) != 0) return;
  posix_spawn_file_actions_addopen(&actions, 0, dot_path.c_str(), O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, eps_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                   0666);
  char arg0[] = "dot";
  char arg1[] = "-Tps";
  char* argv[] = {arg0, arg1, nullptr};
  pid_t pid;
  const int spawned = posix_spawnp(&pid, "dot", &actions, nullptr, argv, environ);
  posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) {
    remove(eps_path.c_str());
    if (!quiet) {
      fprintf(stderr, "WARNING: could not draw %s: dot: %s\n", eps_path.c_str(), strerror(spawned));
    }
    return;
  }
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    remove(eps_path.c_str());
    if (!quiet) fprintf(stderr, "WARNING: could not draw %s: dot failed\n", eps_path.c_str());
  }
}

}  // namespace

Status ExportRateGraph(const char* name, const std::vector<double>& rates,
                       const std::vector<QorpRecord>* records, int n, bool quiet) {
  if (name == nullptr) return Status{};
  const std::string base(name);
  const std::string dot_path = base + ".dot";
  // Without a whole NAME.dot there is nothing to draw.
  Status status = WriteDot(dot_path, rates, records, std::max(n, 0));
  if (status.ok()) Draw(dot_path, base + ".eps", quiet);
  return status;
}

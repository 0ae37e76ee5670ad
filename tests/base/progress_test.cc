#include "base/progress.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <string>

namespace {

struct TextCase {
  const char* what;
  ProgressState state;
  const char* text;
};

ProgressState Running(const char* stage, int percent, double elapsed) {
  ProgressState s;
  s.stderr_terminal = true;
  s.stage = stage;
  s.percent = percent;
  s.elapsed = elapsed;
  s.stage_seconds = elapsed - 0.5;
  return s;
}

TEST(ProgressTest, TextShowsOnlyOnATerminalAfterTheDelayInAStage) {
  ProgressState pipe = Running("reading", -1, 9.0);
  pipe.stderr_terminal = false;
  ProgressState quiet = Running("reading", -1, 9.0);
  quiet.quiet = true;
  ProgressState table_on_terminal = Running("time points", 40, 9.0);
  table_on_terminal.writes_table = true;
  table_on_terminal.stdout_terminal = true;
  ProgressState table_to_file = table_on_terminal;
  table_to_file.stdout_terminal = false;
  ProgressState other_on_terminal = Running("diagonalising", -1, 12.9);
  other_on_terminal.stdout_terminal = true;
  const TextCase cases[] = {
      {"stderr a pipe", pipe, ""},
      {"quiet", quiet, ""},
      {"before the delay", Running("reading", -1, kProgressDelay - 0.01), ""},
      {"no stage open", Running(nullptr, -1, 9.0), ""},
      {"table on the terminal", table_on_terminal, ""},
      {"table to a file", table_to_file, "zolvane: time points 40%"},
      {"percent unknown", other_on_terminal, "zolvane: diagonalising... 12 s"},
      {"at the delay", Running("reading", -1, kProgressDelay), "zolvane: reading... 1 s"},
      {"percent beyond 100", Running("time points", 130, 3.0), "zolvane: time points 100%"},
  };
  for (const TextCase& c : cases) EXPECT_EQ(ProgressText(c.state), c.text) << c.what;
}

TEST(ProgressTest, DrawParksTheCursorAndBlanksWhatTheOldLineLeaves) {
  EXPECT_EQ(ProgressDraw("zolvane: a", 0), "\rzolvane: a\r");
  EXPECT_EQ(ProgressDraw("ab", 5), "\rab   \r");
  EXPECT_EQ(ProgressDraw("abcdef", 3), "\rabcdef\r");
  EXPECT_EQ(ProgressDraw("", 4), "\r    \r");  // the erase
  EXPECT_EQ(ProgressDraw("", 0), "");          // nothing shown, nothing written
}

TEST(ProgressTest, AxisPercentFollowsTheLogarithmicAxis) {
  const struct {
    double t, t0, t8;
    int percent;
  } cases[] = {
      {0.1, 0.1, 1e12, 0},    {1e12, 0.1, 1e12, 100},
      {2e12, 0.1, 1e12, 100}, {std::sqrt(0.1 * 1e12) * 1.0001, 0.1, 1e12, 50},
      {1e-3, 0.1, 1e12, 0},   {1.0, 0.1, 10.0, 50},
      {5.0, 10.0, 1.0, 0},    {NAN, 0.1, 10.0, 0},
      {1.0, 0.0, 10.0, 0},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ProgressAxisPercent(c.t, c.t0, c.t8), c.percent) << c.t << " " << c.t0 << " " << c.t8;
  }
}

// Standard error not a terminal (a file, as under ctest): the stages write
// nothing at all, however long the run.
TEST(ProgressTest, NothingReachesStderrThatIsNoTerminal) {
  FILE* file = tmpfile();
  ASSERT_NE(file, nullptr);
  fflush(stderr);
  const int saved = dup(STDERR_FILENO);
  ASSERT_GE(saved, 0);
  ASSERT_GE(dup2(fileno(file), STDERR_FILENO), 0);
  ProgressStart(0);
  ProgressStage("reading");
  usleep(static_cast<useconds_t>((kProgressDelay + 2 * kProgressTick) * 1e6));
  ProgressPercent(50);
  ProgressStage("time points", true);
  ProgressEnd();
  fflush(stderr);
  dup2(saved, STDERR_FILENO);
  close(saved);
  EXPECT_EQ(ftell(file), 0L);
  fclose(file);
}

// A run on a terminal, stopped by SIGINT or SIGTERM while its progress line
// shows: the line is blanked out before the process dies by that signal
// (the shell's prompt landed in "zolvane: diagonalising... 2 s"). The run
// waits for its rates on a pipe, with standard output and error on a
// pseudo-terminal.
TEST(ProgressTest, TerminatingSignalsEraseTheLine) {
  for (int sig : {SIGINT, SIGTERM}) {
    SCOPED_TRACE(sig == SIGINT ? "SIGINT" : "SIGTERM");
    int rates[2];
    ASSERT_EQ(0, pipe(rates));
    int master = -1;
    const pid_t pid = forkpty(&master, nullptr, nullptr, nullptr);
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      dup2(rates[0], STDIN_FILENO);
      close(rates[0]);
      close(rates[1]);
      execl(ZOLVANE_BIN, "zolvane", static_cast<char*>(nullptr));
      _exit(127);
    }
    close(rates[0]);
    // Everything the terminal receives; the signal goes once the line shows.
    std::string seen;
    bool signalled = false;
    for (;;) {
      pollfd p = {master, POLLIN, 0};
      // A guard against a hang only: the line shows after two seconds.
      if (poll(&p, 1, 60000) <= 0) break;
      char buf[256];
      const ssize_t got = read(master, buf, sizeof buf);
      if (got <= 0) break;  // EIO: the run has ended and closed the terminal
      seen.append(buf, static_cast<size_t>(got));
      if (!signalled && seen.find("zolvane: reading...") != std::string::npos) {
        kill(pid, sig);
        signalled = true;
      }
    }
    close(master);
    close(rates[1]);
    int status = 0;
    ASSERT_EQ(pid, waitpid(pid, &status, 0));
    ASSERT_TRUE(signalled) << seen;
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == sig) << status;
    // The last drawing of the line, then as many blanks over it.
    const size_t start = seen.rfind("zolvane: reading...");
    const size_t end = seen.find('\r', start);
    ASSERT_NE(end, std::string::npos) << seen;
    const std::string line = seen.substr(start, end - start);
    EXPECT_EQ(seen.substr(end), "\r\r" + std::string(line.size(), ' ') + "\r") << seen;
  }
}

}  // namespace

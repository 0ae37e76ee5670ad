#include "base/progress.h"

#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

struct Painter {
  std::mutex mu;
  std::condition_variable wake;
  pid_t owner = 0;
  bool stdout_terminal = false;
  Clock::time_point start;
  // Guarded by mu.
  Clock::time_point stage_start;
  const char* stage = nullptr;
  bool writes_table = false;
  bool stopped = false;
  std::string text;  // what the line shows now
  // Written by the stage's own loop without the lock.
  std::atomic<int> percent{-1};
};

// Created once and never destroyed: the painter thread is detached (a process
// that exits mid-stage must not wait for it), so the state it reads has to
// outlive every exit path.
Painter* g_painter = nullptr;

// What the signal handler reads: the columns the line shows now, and whether
// the process is dying (the painter draws no more then). Lock-free atomics
// are safe to touch from a handler; the painter's mutex is not.
std::atomic<int> g_shown{0};
std::atomic<bool> g_dying{false};
static_assert(std::atomic<int>::is_always_lock_free && std::atomic<bool>::is_always_lock_free);

// The longest line ProgressText makes.
constexpr size_t kMaxLine = 96;

// SIGINT or SIGTERM while the line shows: blank it out, so that the shell's
// prompt starts on a clean line, then die by the same signal, as the shell
// expects (status 130 or 143). Only write(2) and raise(3), both
// async-signal-safe. SA_RESETHAND has restored the default action and, on
// Linux, left the signal unblocked, so the raise ends the process here;
// files already closed stay whole, as with no handler at all.
void EraseAndDie(int sig) {
  g_dying.store(true);
  const int shown = g_shown.load();
  if (shown > 0) {
    char erase[kMaxLine + 2];
    const size_t n = static_cast<size_t>(shown) < kMaxLine ? static_cast<size_t>(shown) : kMaxLine;
    erase[0] = '\r';
    for (size_t k = 1; k <= n; ++k) erase[k] = ' ';
    erase[n + 1] = '\r';
    const ssize_t ignored = write(STDERR_FILENO, erase, n + 2);
    (void)ignored;
  }
  raise(sig);
}

// Installs EraseAndDie for SIGINT and SIGTERM, unless the signal was ignored
// when the program started (a job started with nohup, say), which it keeps.
void CatchTerminatingSignals() {
  for (int sig : {SIGINT, SIGTERM}) {
    struct sigaction old = {};
    if (sigaction(sig, nullptr, &old) != 0 || old.sa_handler == SIG_IGN) continue;
    struct sigaction action = {};
    action.sa_handler = EraseAndDie;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESETHAND;
    sigaction(sig, &action, nullptr);
  }
}

// A forked child (a test's death check) has the state but not the thread,
// and possibly a mutex some other thread held: it leaves both alone.
Painter* Owned() {
  Painter* p = g_painter;
  return p != nullptr && p->owner == getpid() ? p : nullptr;
}

double Seconds(Clock::time_point from, Clock::time_point to) {
  return std::chrono::duration<double>(to - from).count();
}

// One write(2) per redraw: standard error is unbuffered, and a single call
// keeps the line in one piece.
void Write(const std::string& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t w = write(STDERR_FILENO, bytes.data() + done, bytes.size() - done);
    if (w <= 0) return;  // nothing to do about a lost progress line
    done += static_cast<size_t>(w);
  }
}

// Under p.mu.
void Repaint(Painter& p) {
  const Clock::time_point now = Clock::now();
  ProgressState s;
  s.stderr_terminal = true;
  s.stdout_terminal = p.stdout_terminal;
  s.stage = p.stopped ? nullptr : p.stage;
  s.writes_table = p.writes_table;
  s.percent = p.percent.load(std::memory_order_relaxed);
  s.elapsed = Seconds(p.start, now);
  s.stage_seconds = Seconds(p.stage_start, now);
  std::string text = ProgressText(s);
  if (text == p.text || g_dying.load()) return;
  // Widest first, so that the handler never blanks fewer columns than show.
  g_shown.store(static_cast<int>(std::max(text.size(), p.text.size())));
  Write(ProgressDraw(text, p.text.size()));
  g_shown.store(static_cast<int>(text.size()));
  p.text = std::move(text);
}

void Paint(Painter* p) {
  std::unique_lock<std::mutex> lock(p->mu);
  while (!p->stopped) {
    p->wake.wait_for(lock, std::chrono::duration<double>(kProgressTick));
    Repaint(*p);
  }
}

void Stop() {
  Painter* p = Owned();
  if (p == nullptr) return;
  std::lock_guard<std::mutex> lock(p->mu);
  p->stopped = true;
  Repaint(*p);
  p->wake.notify_one();
}

}  // namespace

void ProgressStart(int quiet) {
  static bool started = false;
  if (started) return;
  started = true;
  if (quiet != 0 || !isatty(STDERR_FILENO)) return;
  auto* p = new Painter;
  p->owner = getpid();
  p->stdout_terminal = isatty(STDOUT_FILENO) != 0;
  p->start = p->stage_start = Clock::now();
  g_painter = p;
  // The painter runs with the two signals blocked, so that the handler runs
  // on the main thread and never in the middle of a redraw.
  sigset_t block, old_mask;
  sigemptyset(&block);
  sigaddset(&block, SIGINT);
  sigaddset(&block, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &block, &old_mask);
  std::thread(Paint, p).detach();
  pthread_sigmask(SIG_SETMASK, &old_mask, nullptr);
  CatchTerminatingSignals();
  atexit(Stop);
}

void ProgressStage(const char* stage, bool writes_table) {
  Painter* p = Owned();
  if (p == nullptr) return;
  std::lock_guard<std::mutex> lock(p->mu);
  p->stage = stage;
  p->writes_table = writes_table;
  p->stage_start = Clock::now();
  p->percent.store(-1, std::memory_order_relaxed);
  // The painter draws it at its next tick: a stage shorter than that never
  // flashes up.
}

void ProgressPercent(int percent) {
  if (g_painter != nullptr) g_painter->percent.store(percent, std::memory_order_relaxed);
}

void ProgressTimePoint(double t, double t0, double t8) {
  if (g_painter != nullptr) ProgressPercent(ProgressAxisPercent(t, t0, t8));
}

void ProgressEnd() {
  Painter* p = Owned();
  if (p == nullptr) return;
  std::lock_guard<std::mutex> lock(p->mu);
  p->stage = nullptr;
  Repaint(*p);
}

std::string ProgressText(const ProgressState& s) {
  if (!s.stderr_terminal || s.quiet || s.stage == nullptr) return "";
  if (!(s.elapsed >= kProgressDelay)) return "";
  if (s.writes_table && s.stdout_terminal) return "";
  char line[kMaxLine];
  if (s.percent >= 0) {
    snprintf(line, sizeof line, "zolvane: %s %d%%", s.stage, s.percent > 100 ? 100 : s.percent);
  } else {
    snprintf(line, sizeof line, "zolvane: %s... %.0f s", s.stage,
             std::floor(s.stage_seconds > 0 ? s.stage_seconds : 0.0));
  }
  return line;
}

std::string ProgressDraw(const std::string& text, size_t shown) {
  if (text.empty() && shown == 0) return "";
  std::string out = "\r" + text;
  if (shown > text.size()) out.append(shown - text.size(), ' ');
  out += '\r';
  return out;
}

int ProgressAxisPercent(double t, double t0, double t8) {
  if (!(t > t0) || !(t8 > t0) || !(t0 > 0)) return 0;
  if (t >= t8) return 100;
  const double fraction = std::log(t / t0) / std::log(t8 / t0);
  return fraction >= 0 && fraction <= 1 ? static_cast<int>(100 * fraction) : 0;
}

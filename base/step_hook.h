// A hook that long computations call between their steps: the sweeps of the
// Jacobi, the time points of the table, the panels of the state elimination.
// The command line installs none, so a step costs a load and a test. An
// embedding entry point (the Python module) installs one to report progress
// and to stop on an interrupt; its hook may throw a C++ exception, which
// unwinds the computation (the stages hold their memory in RAII containers).
// The steps are never inside a parallel region, and always on the thread
// that called the stage.
#ifndef ZOLVANE_BASE_STEP_HOOK_H_
#define ZOLVANE_BASE_STEP_HOOK_H_

// `stage` a static string ("diagonalising", "time points", "eliminating");
// `fraction` of the stage done, in [0, 1], or -1 when it is not known.
using StepHook = void (*)(const char* stage, double fraction);

inline StepHook g_step_hook = nullptr;

// nullptr removes the hook.
inline void SetStepHook(StepHook hook) { g_step_hook = hook; }

inline void StepDone(const char* stage, double fraction) {
  if (g_step_hook != nullptr) g_step_hook(stage, fraction);
}

#endif  // ZOLVANE_BASE_STEP_HOOK_H_

// The Python module zolvane: a landscape read from a file, given as a rates
// matrix or made from energies, and the program's stages on it (populations,
// equilibrium, spectrum, first passage times, the reduction), with what
// follows from them (timescales, committors, times between sets).
//
// Every call is a good citizen of the interpreter: the stages' text never
// reaches file descriptors 1 and 2 (output_capture.h) but comes back as
// Python warnings and log text (program_messages.h); long calls check for
// Ctrl-C and report progress between their steps (base/step_hook.h); errors
// are exceptions, a stage's failed Status raised directly. The Fatal handler
// stays for the LAPACK argument check, which ends the run on what can only
// be a bug of ours.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "app/choose_equilibrium.h"
#include "app/program_options.h"
#include "app/read_input.h"
#include "app/run_stages.h"
#include "base/fatal.h"
#include "base/run_options.h"
#include "base/status.h"
#include "base/step_hook.h"
#include "calc/backend/reduce.h"
#include "calc/backend/solver_choice.h"
#include "calc/model/calc.h"
#include "calc/model/distributions.h"
#include "calc/model/ergodicity.h"
#include "calc/model/rescale.h"
#include "calc/model/spectrum.h"
#include "calc/model/transition_matrix.h"
#include "calc/passage/first_passage.h"
#include "calc/spectrum/diagonalize.h"
#include "calc/spectrum/stiffness.h"
#include "calc/table/exact_populations.h"
#include "calc/table/iterate.h"
#include "calc/table/populations.h"
#include "command_line/command_line_args.h"
#include "input/qorp_file.h"
#include "python/chain_solves.h"
#include "python/output_capture.h"
#include "python/program_messages.h"
#include "zolvane_version.h"

namespace py = pybind11;

namespace {

// What a failed stage (or the Fatal handler) throws; `numerical` tells a failed computation from
// bad input.
struct StageError : std::runtime_error {
  StageError(int status, const std::string& message, bool numerical)
      : std::runtime_error(message), status(status), numerical(numerical) {}
  int status;
  bool numerical;
};

// Set around the numerical stages: their status-1 errors are failed
// computations, not bad input.
thread_local bool t_numerical = false;

struct NumericalScope {
  bool saved = t_numerical;
  NumericalScope() { t_numerical = true; }
  ~NumericalScope() { t_numerical = saved; }
};

// The program's message as a Python one: no "ERROR:" or "ERROR in F():"
// prefix, no trailing newline or "!".
std::string PythonMessage(const char* message) {
  std::string text(message);
  while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
  if (text.rfind("ERROR", 0) == 0) {
    size_t cut = text.find(':');
    if (text.rfind("ERROR in ", 0) == 0 && cut != std::string::npos) {
      text.erase(0, cut + 1);
    } else if (text.rfind("ERROR:", 0) == 0) {
      text.erase(0, 6);
    } else {
      text.erase(0, 5);
    }
    while (!text.empty() && text[0] == ' ') text.erase(0, 1);
  }
  while (!text.empty() && (text.back() == '!' || text.back() == '.')) text.pop_back();
  // The options' values are the module's keywords.
  static const char* const kNames[][2] = {
      {"Value of --Temp", "temperature"},          {"Value of --times", "rate_scale"},
      {"Value of --hard-rescale", "hard_rescale"}, {"Value of --minimal-rate", "minimal_rate"},
      {"Value of --max-decrease", "max_decrease"}, {"Value of --", ""}};
  for (const auto& name : kNames) {
    if (text.rfind(name[0], 0) == 0) {
      text.replace(0, strlen(name[0]), name[1]);
      break;
    }
  }
  return text.empty() ? "invalid input" : text;
}

[[noreturn]] void ThrowStageError(int status, const char* message) {
  throw StageError(status, PythonMessage(message), t_numerical || status != 1);
}

// A stage's failed status as the exception the handler would have thrown.
void ThrowIfFailed(const Status& status) {
  if (!status.ok()) ThrowStageError(status.exit_status, status.message.c_str());
}

[[noreturn]] void BadInput(const std::string& message) { throw StageError(1, message, false); }

py::array_t<double> Vector(const std::vector<double>& v) {
  py::array_t<double> a(static_cast<py::ssize_t>(v.size()));
  std::copy(v.begin(), v.end(), a.mutable_data());
  return a;
}

// ---------------------------------------------------------------------------
// One call: output captured, progress and Ctrl-C between steps.

// The call running on this thread: its progress callable and the clock of
// its checks.
struct CallContext {
  py::object progress;  // None or a callable (stage, fraction)
  std::chrono::steady_clock::time_point last_check;
  std::chrono::steady_clock::time_point last_report;
  const char* last_stage = nullptr;
};
thread_local CallContext* t_call = nullptr;

// Signals are looked at every 50 ms, the progress callable called at most
// five times a second (and at each new stage).
constexpr std::chrono::milliseconds kCheckEvery{50};
constexpr std::chrono::milliseconds kReportEvery{200};

// The step hook: runs between the steps of a long stage, with or without
// the GIL held. A pending KeyboardInterrupt (or an exception of the progress
// callable) unwinds the stage as a py::error_already_set.
void OnStep(const char* stage, double fraction) {
  CallContext* call = t_call;
  if (call == nullptr) return;
  const auto now = std::chrono::steady_clock::now();
  const bool report = !call->progress.is_none() &&
                      (stage != call->last_stage || now - call->last_report >= kReportEvery);
  if (!report && now - call->last_check < kCheckEvery) return;
  call->last_check = now;
  py::gil_scoped_acquire gil;
  if (PyErr_CheckSignals() != 0) throw py::error_already_set();
  if (report) {
    call->last_report = now;
    call->last_stage = stage;
    PauseCapture(true);
    struct Resume {
      ~Resume() { PauseCapture(false); }
    } resume;
    call->progress(stage, fraction < 0 ? py::object(py::none()) : py::float_(fraction));
  }
}

bool ModuleVerbose(std::optional<bool> verbose) {
  if (verbose) return *verbose;
  py::object flag = py::module_::import("zolvane").attr("verbose");
  const int on = PyObject_IsTrue(flag.ptr());
  if (on < 0) throw py::error_already_set();
  return on == 1;
}

// Hands what the stages printed to Python: warnings through warnings.warn
// with their category (only when the call succeeded), diagnostics to the
// "zolvane" logger and, with verbose, to sys.stderr.
void Deliver(const std::string& printed, bool verbose, bool succeeded) {
  if (printed.empty()) return;
  py::module_ zolvane = py::module_::import("zolvane");
  py::object warn = py::module_::import("warnings").attr("warn");
  py::object logger = py::module_::import("logging").attr("getLogger")("zolvane");
  for (const ProgramMessage& m : SortProgramMessages(printed)) {
    if (m.kind == MessageKind::kDiagnostic || !succeeded) {
      if (m.text.empty()) continue;
      logger.attr("debug")(m.text);
      if (verbose) py::module_::import("sys").attr("stderr").attr("write")(m.text + "\n");
      continue;
    }
    const char* category = m.kind == MessageKind::kStiffness    ? "StiffnessWarning"
                           : m.kind == MessageKind::kBalance    ? "BalanceWarning"
                           : m.kind == MessageKind::kErgodicity ? "ErgodicityWarning"
                                                                : "NumericalWarning";
    if (verbose) py::module_::import("sys").attr("stderr").attr("write")(m.text + "\n");
    warn(m.text, zolvane.attr(category), 1);
  }
}

// Runs `body` (which holds the GIL when it starts and may release it) as
// one call of the module.
template <class Body>
auto Call(std::optional<bool> verbose_arg, const py::object& progress, Body body)
    -> decltype(body()) {
  const bool verbose = ModuleVerbose(verbose_arg);
  if (!progress.is_none() && !PyCallable_Check(progress.ptr())) {
    throw py::type_error("progress must be a callable (stage, fraction) or None");
  }
  // Python's own buffered text goes out before the descriptors move.
  py::module_ sys = py::module_::import("sys");
  for (const char* stream : {"stdout", "stderr"}) {
    py::object s = sys.attr(stream);
    if (!s.is_none() && py::hasattr(s, "flush")) s.attr("flush")();
  }
  CallContext context;
  context.progress = progress;
  context.last_check = context.last_report = std::chrono::steady_clock::now();
  CallContext* saved = t_call;
  t_call = &context;
  const bool capturing = BeginCapture();
  struct Restore {
    CallContext* saved;
    ~Restore() { t_call = saved; }
  } restore{saved};
  auto result = [&] {
    try {
      return body();
    } catch (...) {
      std::string printed = capturing ? EndCapture() : std::string();
      // The diagnostics of a failed call still reach the log; the error
      // raised stays the call's.
      try {
        py::error_scope keep;
        Deliver(printed, verbose, false);
      } catch (...) {
      }
      throw;
    }
  }();
  // A warning the caller's filter turns into an error raises from here.
  Deliver(capturing ? EndCapture() : std::string(), verbose, true);
  return result;
}

// A path argument: str or os.PathLike, checked to open for reading so that a
// missing or unreadable file raises the OSError subclass with the OS message.
std::string PathArgument(const py::object& path) {
  py::object name = py::module_::import("os").attr("fsdecode")(path);
  std::string text = name.cast<std::string>();
  FILE* f = fopen(text.c_str(), "r");
  if (f == nullptr) {
    PyErr_SetFromErrnoWithFilenameObject(PyExc_OSError, name.ptr());
    throw py::error_already_set();
  }
  fclose(f);
  return text;
}

// ---------------------------------------------------------------------------
// Landscapes.

// Options of one landscape, as the command line would give them (absorb
// 1-based, 0 for none, as -a takes it).
struct Settings {
  std::string method = "I";
  double temperature = 37.0;
  bool binary = false;
  std::optional<int> nstates;
  int max_decrease = 1000000;
  int absorb = 0;
  double hard_rescale = 1.0;
  std::optional<double> minimal_rate;
  double rate_scale = 1.0;
  std::string num_err = "H";
  double feps = 1e-15;
};

Eigensolver EigensolverFromName(const std::string& name) {
  if (name == "auto") return Eigensolver::kAuto;
  if (name == "accurate") return Eigensolver::kAccurate;
  if (name == "lapack") return Eigensolver::kLapack;
  BadInput("eigensolver must be \"auto\", \"accurate\" or \"lapack\"");
}

// The same rules as the command line: the values go through
// ConvertAndValidate. `t0`/`t8`/`tinc` are the time axis of one call.
RunOptions Validate(const Settings& s, double t0, double t8, double tinc,
                    const std::string* ratesfile, const std::string* qorpfile) {
  CommandLineArgs args;
  args.method_count = 1;
  args.method_value = s.method;
  if (s.method != "A" && s.method != "I") BadInput("method must be \"A\" or \"I\"");
  if (s.num_err != "H" && s.num_err != "I" && s.num_err != "R") {
    BadInput("num_err must be \"H\", \"I\" or \"R\"");
  }
  args.num_err_count = 1;
  args.num_err_value = s.num_err;
  args.feps_value = s.feps;
  args.absorb_count = s.absorb != 0;
  args.absorb_value = s.absorb;
  args.t0_value = t0;
  args.t8_value = t8;
  args.tinc_count = 1;
  args.tinc_value = tinc;
  args.Temp_count = 1;
  args.Temp_value = s.temperature;
  if (ratesfile) {
    args.ratesfile_count = 1;
    args.ratesfile_value = *ratesfile;
  }
  if (qorpfile) {
    args.qorp_count = 1;
    args.qorp_value = *qorpfile;
  }
  if (s.minimal_rate) {
    args.minimal_rate_count = 1;
    args.minimal_rate_value = *s.minimal_rate;
  }
  args.hard_rescale_count = 1;
  args.hard_rescale_value = s.hard_rescale;
  args.times_count = 1;
  args.times_value = s.rate_scale;
  if (s.nstates) {
    args.nstates_count = 1;
    args.nstates_value = *s.nstates;
  }
  args.max_decrease_value = s.max_decrease;
  args.bin_count = s.binary;
  RunOptions opts;
  ThrowIfFailed(ConvertAndValidate(args, opts));
  // The stages print what they would print on the command line (the call
  // captures it); they write no file of their own.
  opts.quiet = 0;
  opts.side_files = 0;
  return opts;
}

// The decomposition for one set of states reached from p0.
struct Decomposition {
  StateNumbering numbering;  // after the ergodicity reduction
  Eigensolver eigensolver;
  Spectrum spectrum;
  std::vector<double> p8;
};

struct Landscape {
  // The generator as MxQorp2Matrix and the rescaling stages leave it.
  Settings settings;
  std::string source;  // the file, or "rates", "energies"
  std::vector<QorpRecord> records;
  bool have_records = false;
  bool reshaped = false;
  int n = 0;
  StateNumbering numbering;  // the appended absorbing state; nothing removed yet
  std::vector<double> U;
  // Shared with the calls using it: another thread may replace it meanwhile.
  std::shared_ptr<const Decomposition> cache;

  RunOptions Options(double t0 = 0.1, double t8 = 1e12, double tinc = 1.02) const {
    return Validate(settings, t0, t8, tinc, nullptr, nullptr);
  }

  // A Calc with the time options of one call, over the whole input.
  Calc MakeCalc(const RunOptions& o) const {
    Calc calc(n, o);
    calc.Renumber(n, numbering);
    return calc;
  }

  std::vector<double> MakeP0(const Calc& calc, const std::optional<py::array_t<double>>& p0) const {
    if (!p0) {
      std::vector<double> v;
      ThrowIfFailed(MxMakeP0(calc, v));
      return v;
    }
    if (p0->ndim() != 1 || p0->shape(0) != n) {
      BadInput("p0 must have " + std::to_string(n) + " entries");
    }
    auto a = p0->unchecked<1>();
    std::vector<double> v(n);
    double sum = 0;
    for (int i = 0; i < n; ++i) {
      v[i] = a(i);
      if (!(v[i] >= 0) || std::isinf(v[i])) BadInput("p0 entries must be finite and >= 0");
      sum += v[i];
    }
    if (!(sum > 0.99 && sum < 1.01)) BadInput("p0 must sum up to 1");
    return v;
  }

  // The equilibrium the program takes for the states `calc` keeps: the
  // Boltzmann weights of the minima for method A on unchanged rates, the
  // balance of the rates otherwise.
  std::vector<double> ProgramEquilibrium(Calc& calc, const std::vector<double>& u) const {
    std::vector<QorpRecord> kept_records = records;
    EquilibriumChoice choice;
    ThrowIfFailed(ChooseEquilibrium(calc, u, kept_records, reshaped, false, choice));
    return std::move(choice.p8);
  }

  // Ergodicity reduction, equilibrium and diagonalisation, as the driver
  // runs them; the decomposition is kept for the next call with the same
  // reached states and eigensolver.
  std::shared_ptr<const Decomposition> Decompose(Calc& calc, std::vector<double>& p0) {
    std::vector<double> u(U);
    ThrowIfFailed(MxErgodicity(calc, u, p0, n));
    ThrowIfFailed(PrintOneStateTable(calc, p0));
    if (cache && cache->numbering.kept == calc.numbering().kept &&
        cache->eigensolver == calc.opts.eigensolver) {
      return cache;
    }
    std::vector<double> p8 = ProgramEquilibrium(calc, u);
    Spectrum spectrum;
    {
      NumericalScope numerical;
      py::gil_scoped_release release;
      const double spread = RateSpread(u, calc.dim());
      SpectrumOutcome outcome = SpectrumOutcome::kDone;
      ThrowIfFailed(MxDiagonalize(calc, u, p8, ChooseSolver(calc, u, p8), spectrum, outcome));
      if (outcome == SpectrumOutcome::kUseQuadDouble) {
        // The command line goes on in quad-double there; the module does not
        // offer the extended arithmetics.
        throw StageError(255, "the eigensolver did not converge in double precision", true);
      }
      // The command line's warning where double does not resolve the spectrum.
      WarnIfSpectrumUnresolved(calc, spectrum, spread, p8);
    }
    cache = std::make_shared<const Decomposition>(
        Decomposition{calc.numbering(), calc.opts.eigensolver, std::move(spectrum), std::move(p8)});
    return cache;
  }

  // The equilibrium of the whole chain, for the set functions: the
  // program's when it has one for every state, otherwise GTH.
  std::vector<double> WholeEquilibrium() const {
    std::vector<double> p8;
    NumericalScope numerical;
    if (!StationaryDistribution(U, static_cast<size_t>(n), p8)) {
      throw StageError(1, "the chain is not irreducible: no equilibrium over all its states", true);
    }
    return p8;
  }
};

using LandscapePtr = std::shared_ptr<Landscape>;

// Absorb as the module takes it (0-based minimum, None for none) into the
// command line's -a value.
int AbsorbSetting(const std::optional<int>& absorb) {
  if (!absorb) return 0;
  if (*absorb < 0) BadInput("absorb must be a state >= 0 (0-based) or None");
  return *absorb + 1;
}

LandscapePtr Build(Settings s, std::string source, const std::string* ratesfile,
                   const std::string* qorpfile, std::vector<double>* given, int given_n) {
  auto l = std::make_shared<Landscape>();
  l->settings = s;
  l->source = std::move(source);
  const RunOptions opts = Validate(s, 0.1, 1e12, 1.02, ratesfile, qorpfile);
  if (!given) {
    if (opts.method == 'A' && opts.qorp == stdin) BadInput("method A needs a qorp file");
    if (opts.method != 'A' && opts.ratesfile == stdin) BadInput("a rates file is needed");
  }
  // The module names its files; nothing comes from standard input.
  InputRequest request;
  request.announce = false;
  request.qorp_beside_rates = true;
  if (given) {
    request.rates = given;
    request.rates_n = given_n;
  }
  BuiltChain chain;
  const Status status = BuildChain(opts, request, chain);
  switch (chain.input.failed) {
    case InputCheck::kNoMinimum:
      BadInput("the qorp file holds no local minimum");
    case InputCheck::kDimensionMismatch:
      if (given) BadInput("the qorp file does not have one minimum per state");
      BadInput("the rates file has " + std::to_string(chain.input.n) + " states, the qorp file " +
               std::to_string(chain.input.records.size()) + " minima");
    case InputCheck::kEmpty:
      BadInput("the rates file is empty");
    case InputCheck::kQorpMissing:
      BadInput("absorb needs a qorp file (qorp=...) for the absorbing state");
    default:
      break;
  }
  ThrowIfFailed(status);
  l->records = std::move(chain.input.records);
  l->have_records = chain.input.have_records;
  l->U = std::move(chain.U);
  l->reshaped = chain.reshaped;
  l->n = chain.calc->dim();
  l->numbering = chain.calc->numbering();
  return l;
}

// A square matrix argument as the program's layout: u[j * n + i] = m[i, j]
// (row i of `m` = out of state i); the diagonal is left 0. `what` names it in
// messages; entries must be finite and >= 0 off the diagonal unless
// `any_finite`.
std::vector<double> SquareArgument(const py::array_t<double, py::array::forcecast>& m,
                                   const char* what, int& n) {
  if (m.ndim() != 2 || m.shape(0) != m.shape(1) || m.shape(0) == 0) {
    BadInput(std::string(what) + " must be a non-empty square matrix");
  }
  n = static_cast<int>(m.shape(0));
  auto r = m.unchecked<2>();
  std::vector<double> u(static_cast<size_t>(n) * n, 0.0);
  for (int i = 0; i < n; ++i) {
    for (int j = 0; j < n; ++j) {
      if (i != j) u[static_cast<size_t>(j) * n + i] = r(i, j);
    }
  }
  return u;
}

void CheckRates(const std::vector<double>& u, int n) {
  for (int i = 0; i < n; ++i) {
    for (int j = 0; j < n; ++j) {
      const double x = u[static_cast<size_t>(j) * n + i];
      if (i != j && (!(x >= 0) || std::isinf(x))) {
        BadInput("rates must be finite and >= 0 (rate " + std::to_string(i) + " -> " +
                 std::to_string(j) + ")");
      }
    }
  }
}

// A state argument (int) or a set of them (any iterable of ints) as a mask;
// `what` names it in messages.
StateSet StatesArgument(const py::handle& arg, int n, const char* what) {
  StateSet set(static_cast<size_t>(n), 0);
  auto take = [&](const py::handle& h) {
    if (!py::isinstance<py::int_>(h) && !py::hasattr(h, "__index__")) {
      throw py::type_error(std::string(what) + " must be a state (int) or an iterable of states");
    }
    PyObject* index = PyNumber_Index(h.ptr());
    if (index == nullptr) throw py::error_already_set();
    const long long k = py::reinterpret_steal<py::object>(index).cast<long long>();
    if (k < 0 || k >= n) {
      throw py::index_error(std::string(what) + ": state " + std::to_string(k) +
                            " is out of range 0.." + std::to_string(n - 1));
    }
    set[static_cast<size_t>(k)] = 1;
  };
  if (py::isinstance<py::int_>(arg) ||
      (py::hasattr(arg, "__index__") && !py::isinstance<py::array>(arg))) {
    take(arg);
  } else if (!py::isinstance<py::iterable>(arg)) {
    throw py::type_error(std::string(what) + " must be a state (int) or an iterable of states");
  } else {
    for (py::handle h : py::iter(arg)) take(h);
  }
  bool any = false;
  for (char c : set) any = any || c;
  if (!any) BadInput(std::string(what) + " holds no state");
  return set;
}

// The rates and equilibrium the exact propagator takes, when `propagator`
// asks for it ("exact") or the rates lack detailed balance ("auto", as the
// command line decides); false: the spectral path. "spectral" on rates
// without detailed balance would integrate other rates: refused.
bool ExactRates(Landscape& l, Calc& calc, std::vector<double>& start, const std::string& propagator,
                std::vector<double>& u, std::vector<double>& p8) {
  if (propagator != "auto" && propagator != "exact" && propagator != "spectral") {
    BadInput("propagator must be \"auto\", \"exact\" or \"spectral\"");
  }
  u = l.U;
  ThrowIfFailed(MxErgodicity(calc, u, start, l.n));
  ThrowIfFailed(PrintOneStateTable(calc, start));
  p8 = l.ProgramEquilibrium(calc, u);
  double deviation = 0.0;
  const bool unbalanced =
      LacksDetailedBalance(calc, u, p8, calc.opts.method == 'A' && !l.reshaped, deviation);
  if (unbalanced && propagator == "spectral") {
    BadInput("the rates do not obey detailed balance (largest relative deviation " +
             std::to_string(deviation) +
             "): propagator=\"spectral\" would integrate other rates; use \"auto\" or "
             "\"exact\"");
  }
  if (!unbalanced && propagator != "exact") return false;
  if (calc.numbering().absorbing_state == 0) {
    NumericalScope numerical;
    ThrowIfFailed(MxEquilibriumByElimination(calc, u, p8));
  }
  return true;
}

py::tuple Populations(Landscape& l, std::optional<py::array_t<double>> p0, double t0, double t8,
                      double tinc, std::optional<py::array_t<double>> times,
                      const std::string& eigensolver, const std::string& propagator) {
  RunOptions o = l.Options(t0, t8, tinc);
  o.eigensolver = EigensolverFromName(eigensolver);
  // The propagator's chain after its own ergodicity reduction, or the
  // decomposition's (which makes its own reduction from the whole start).
  Calc probe = l.MakeCalc(o);
  std::vector<double> exact_start = l.MakeP0(probe, p0);
  std::vector<double> start = exact_start;
  std::vector<double> exact_u, exact_p8;
  const bool exact = ExactRates(l, probe, exact_start, propagator, exact_u, exact_p8);
  Calc whole = l.MakeCalc(o);
  Calc& calc = exact ? probe : whole;
  std::shared_ptr<const Decomposition> kept;
  if (exact) {
    start = std::move(exact_start);
  } else {
    kept = l.Decompose(calc, start);
  }
  std::vector<double> out_times, rows;
  {
    NumericalScope numerical;
    Evolution e;
    if (!exact) {
      ThrowIfFailed(
          MakeEvolution(calc, kept->spectrum, std::vector<double>(kept->spectrum.evecs), start, e));
    }
    auto keep = [&](double t, double* p) {
      double sum = 0.0;
      if (Status status = CheckPopulationLine(o, p, calc.dim(), t, sum); !status.ok())
        return status;
      std::vector<double> values(calc.dim());
      for (int i = 0; i < calc.dim(); ++i) values[i] = TableValue(o.num_err, p[i], sum);
      const std::vector<double> input =
          calc.numbering().ToInputNumbering(values.data(), calc.dim(), 0.0);
      out_times.push_back(t);
      rows.insert(rows.end(), input.begin(), input.end());
      return Status{};
    };
    if (times) {
      if (times->ndim() != 1) BadInput("times must be one-dimensional");
      auto a = times->unchecked<1>();
      std::vector<double> ts(a.shape(0));
      for (size_t k = 0; k < ts.size(); ++k) {
        ts[k] = a(k);
        if (!(ts[k] >= 0) || std::isinf(ts[k])) BadInput("times must be finite and >= 0");
      }
      const size_t nn = static_cast<size_t>(calc.dim());
      std::vector<double> w(ts.size() * nn), pops(ts.size() * nn);
      std::vector<char> range(ts.size() * nn);
      if (exact) {
        py::gil_scoped_release release;
        int squarings = 0;
        const ExactLines lines = [&](const double* p, size_t first, size_t end) {
          std::copy(p + first * nn, p + end * nn, pops.data() + first * nn);
          StepDone("time points", static_cast<double>(end) / static_cast<double>(ts.size()));
          return false;
        };
        ThrowIfFailed(ExactPopulations(exact_u, calc.dim(), start, ts, o.times, lines, squarings));
      } else {
        py::gil_scoped_release release;
        // In blocks, so that Ctrl-C and progress come between them.
        const size_t block = 64;
        for (size_t k = 0; k < ts.size(); k += block) {
          StepDone("time points", static_cast<double>(k) / static_cast<double>(ts.size()));
          const size_t count = std::min(block, ts.size() - k);
          EvolveBlock(e, ts.data() + k, count, w.data() + k * nn, pops.data() + k * nn,
                      range.data() + k * nn);
        }
      }
      for (size_t k = 0; k < ts.size(); ++k) ThrowIfFailed(keep(ts[k], pops.data() + k * nn));
    } else if (calc.dim() == 1 && !calc.numbering().kept.empty()) {
      // One state reached: the table holds it at t0 and t8.
      double p = start[0];
      ThrowIfFailed(keep(o.t0, &p));
      p = start[0];
      ThrowIfFailed(keep(o.t8, &p));
    } else if (exact) {
      py::gil_scoped_release release;
      int count = 0, squarings = 0;
      ThrowIfFailed(WalkExactTable(calc, exact_u, start, exact_p8, keep, count, squarings));
    } else {
      py::gil_scoped_release release;
      int count = 0;
      ThrowIfFailed(WalkPopulationTable(calc, e, start, kept->p8, keep, count));
    }
  }
  const size_t cols = out_times.empty() ? 0 : rows.size() / out_times.size();
  py::array_t<double> pops(
      {static_cast<py::ssize_t>(out_times.size()), static_cast<py::ssize_t>(cols)});
  std::copy(rows.begin(), rows.end(), pops.mutable_data());
  return py::make_tuple(Vector(out_times), pops);
}

std::shared_ptr<const Decomposition> DecomposeFrom(Landscape& l, Calc& calc,
                                                   const std::optional<py::array_t<double>>& p0) {
  std::vector<double> start = l.MakeP0(calc, p0);
  return l.Decompose(calc, start);
}

// The decomposition of the chain p0 reaches by the named eigensolver, made
// (or taken from the cache) on a Calc of the call's own.
std::shared_ptr<const Decomposition> DecompositionWith(Landscape& l,
                                                       const std::optional<py::array_t<double>>& p0,
                                                       const std::string& eigensolver) {
  RunOptions o = l.Options();
  o.eigensolver = EigensolverFromName(eigensolver);
  Calc calc = l.MakeCalc(o);
  return DecomposeFrom(l, calc, p0);
}

py::object Equilibrium(Landscape& l, std::optional<py::array_t<double>> p0) {
  const RunOptions o = l.Options();
  Calc calc = l.MakeCalc(o);
  std::vector<double> start = l.MakeP0(calc, p0);
  if (l.numbering.absorbing_state != 0) {
    const std::shared_ptr<const Decomposition> kept = l.Decompose(calc, start);
    const Decomposition& d = *kept;
    return Vector(calc.numbering().ToInputNumbering(d.p8.data(), calc.dim(), 0.0));
  }
  std::vector<double> u(l.U);
  ThrowIfFailed(MxErgodicity(calc, u, start, l.n));
  ThrowIfFailed(PrintOneStateTable(calc, start));
  std::vector<double> p8;
  bool exact = false;
  if (!(o.method == 'A' && !l.reshaped)) {
    NumericalScope numerical;
    py::gil_scoped_release release;
    // GTH is exact for any irreducible chain; a reached set that is not one
    // (a transient part in front of a closed one) takes the program's.
    exact = StationaryDistribution(u, static_cast<size_t>(calc.dim()), p8);
  }
  if (!exact) p8 = l.ProgramEquilibrium(calc, u);
  return Vector(calc.numbering().ToInputNumbering(p8.data(), calc.dim(), 0.0));
}

py::object MfptMatrix(Landscape& l) {
  if (l.numbering.absorbing_state != 0) {
    BadInput("with an absorbing state use absorbing_times() or mfpt(target)");
  }
  const size_t n = static_cast<size_t>(l.n);
  std::vector<double> times;
  {
    NumericalScope numerical;
    py::gil_scoped_release release;
    if (!FirstPassageMatrix(l.U, n, times)) {
      // Some state cannot reach some other: column by column, infinity where
      // a walk may never arrive.
      times.assign(n * n, 0.0);
      for (size_t j = 0; j < n; ++j) {
        StateSet target(n, 0);
        target[j] = 1;
        const std::vector<double> column = MeanTimesInto(l.U, n, target);
        for (size_t i = 0; i < n; ++i) times[i * n + j] = column[i];
      }
    }
  }
  py::array_t<double> all({l.n, l.n});
  std::copy(times.begin(), times.end(), all.mutable_data());
  return all;
}

std::vector<double> MfptInto(Landscape& l, const StateSet& target) {
  NumericalScope numerical;
  py::gil_scoped_release release;
  return MeanTimesInto(l.U, static_cast<size_t>(l.n), target);
}

double MfptBetween(Landscape& l, const StateSet& source, const StateSet& target) {
  const std::vector<double> times = MfptInto(l, target);
  double weight = 0.0;
  bool any_outside = false;
  for (int i = 0; i < l.n; ++i) any_outside = any_outside || (source[i] && !target[i]);
  if (!any_outside) return 0.0;
  const std::vector<double> p8 = l.WholeEquilibrium();
  double sum = 0.0;
  for (int i = 0; i < l.n; ++i) {
    if (!source[i]) continue;
    sum += p8[i] * times[i];
    weight += p8[i];
  }
  return sum / weight;
}

py::array_t<double> Committor(Landscape& l, const StateSet& a, const StateSet& b, bool backward) {
  for (int i = 0; i < l.n; ++i) {
    if (a[i] && b[i]) BadInput("A and B share state " + std::to_string(i));
  }
  const size_t n = static_cast<size_t>(l.n);
  std::vector<double> q;
  if (!backward) {
    NumericalScope numerical;
    py::gil_scoped_release release;
    q = HittingProbabilities(l.U, n, b, a);
  } else {
    const std::vector<double> p8 = l.WholeEquilibrium();
    NumericalScope numerical;
    py::gil_scoped_release release;
    // Backward: the chance that the walk came last from A rather than B, the
    // forward committor of the reversed chain into A.
    q = HittingProbabilities(ReversedRates(l.U, n, p8), n, a, b);
  }
  return Vector(q);
}

// The rates of the Arrhenius rule of method A from energies of the states
// and saddle energies between them: k(i -> j) = exp(-(S_ij - E_i)/kT), no
// transition where S_ij is infinite or NaN.
std::vector<double> ArrheniusRates(const py::array_t<double, py::array::forcecast>& energies,
                                   const py::array_t<double, py::array::forcecast>& barriers,
                                   double kT, int& n) {
  if (energies.ndim() != 1 || energies.shape(0) == 0) {
    BadInput("energies must be a non-empty one-dimensional array");
  }
  n = static_cast<int>(energies.shape(0));
  if (barriers.ndim() != 2 || barriers.shape(0) != n || barriers.shape(1) != n) {
    BadInput("barriers must be an n x n matrix of saddle energies (n = " + std::to_string(n) + ")");
  }
  auto e = energies.unchecked<1>();
  auto s = barriers.unchecked<2>();
  std::vector<double> u(static_cast<size_t>(n) * n, 0.0);
  for (int i = 0; i < n; ++i) {
    if (!std::isfinite(e(i))) BadInput("energies must be finite");
    for (int j = 0; j < n; ++j) {
      if (i == j || !(s(i, j) < std::numeric_limits<double>::infinity())) continue;
      if (s(i, j) != s(j, i)) {
        BadInput("barriers must be symmetric (the saddle between " + std::to_string(i) + " and " +
                 std::to_string(j) + ")");
      }
      if (s(i, j) < std::max(e(i), e(j))) {
        BadInput("the saddle between " + std::to_string(i) + " and " + std::to_string(j) +
                 " lies below a minimum it joins");
      }
      u[static_cast<size_t>(j) * n + i] = std::exp(-(s(i, j) - e(i)) / kT);
    }
  }
  return u;
}

// ---------------------------------------------------------------------------
// Pickling: the built chain, not the file it came from.

py::tuple GetState(const Landscape& l) {
  const Settings& s = l.settings;
  py::list records;
  for (const QorpRecord& r : l.records) {
    records.append(py::make_tuple(r.energy, r.saddle_height, r.father, r.index, r.extra4, r.extra5,
                                  r.extra6, r.extra7, r.free_energy));
  }
  py::dict settings;
  settings["method"] = s.method;
  settings["temperature"] = s.temperature;
  settings["binary"] = s.binary;
  settings["nstates"] = s.nstates;
  settings["max_decrease"] = s.max_decrease;
  settings["absorb"] = s.absorb;
  settings["hard_rescale"] = s.hard_rescale;
  settings["minimal_rate"] = s.minimal_rate;
  settings["rate_scale"] = s.rate_scale;
  settings["num_err"] = s.num_err;
  settings["feps"] = s.feps;
  py::dict numbering;
  numbering["absorbing_state"] = l.numbering.absorbing_state;
  numbering["absorbed_minimum"] = l.numbering.absorbed_minimum;
  numbering["kept"] = l.numbering.kept;
  numbering["kept_columns"] = l.numbering.kept_columns;
  return py::make_tuple(1, settings, l.source, l.n, Vector(l.U), records, l.have_records,
                        l.reshaped, numbering);
}

LandscapePtr SetState(const py::tuple& t) {
  if (t.size() != 9 || t[0].cast<int>() != 1) {
    throw std::runtime_error("not a pickled zolvane.Landscape of this version");
  }
  auto l = std::make_shared<Landscape>();
  py::dict settings = t[1];
  Settings& s = l->settings;
  s.method = settings["method"].cast<std::string>();
  s.temperature = settings["temperature"].cast<double>();
  s.binary = settings["binary"].cast<bool>();
  s.nstates = settings["nstates"].cast<std::optional<int>>();
  s.max_decrease = settings["max_decrease"].cast<int>();
  s.absorb = settings["absorb"].cast<int>();
  s.hard_rescale = settings["hard_rescale"].cast<double>();
  s.minimal_rate = settings["minimal_rate"].cast<std::optional<double>>();
  s.rate_scale = settings["rate_scale"].cast<double>();
  s.num_err = settings["num_err"].cast<std::string>();
  s.feps = settings["feps"].cast<double>();
  l->source = t[2].cast<std::string>();
  l->n = t[3].cast<int>();
  l->U = t[4].cast<std::vector<double>>();
  if (l->n < 1 || l->U.size() != static_cast<size_t>(l->n) * l->n) {
    throw std::runtime_error("a pickled zolvane.Landscape with a broken rates matrix");
  }
  for (py::handle h : t[5].cast<py::list>()) {
    py::tuple r = h.cast<py::tuple>();
    QorpRecord q;
    q.energy = r[0].cast<double>();
    q.saddle_height = r[1].cast<double>();
    q.father = r[2].cast<int>();
    q.index = r[3].cast<int>();
    q.extra4 = r[4].cast<double>();
    q.extra5 = r[5].cast<double>();
    q.extra6 = r[6].cast<double>();
    q.extra7 = r[7].cast<double>();
    q.free_energy = r[8].cast<double>();
    l->records.push_back(q);
  }
  l->have_records = t[6].cast<bool>();
  l->reshaped = t[7].cast<bool>();
  py::dict numbering = t[8];
  l->numbering.absorbing_state = numbering["absorbing_state"].cast<int>();
  l->numbering.absorbed_minimum = numbering["absorbed_minimum"].cast<int>();
  l->numbering.kept = numbering["kept"].cast<std::vector<int>>();
  l->numbering.kept_columns = numbering["kept_columns"].cast<int>();
  return l;
}

std::string Repr(const Landscape& l) {
  py::object source = py::str(l.source);
  std::string text =
      "Landscape(n=" + std::to_string(l.n) + ", source=" + py::repr(source).cast<std::string>() +
      ", method='" + l.settings.method +
      "', temperature=" + py::repr(py::float_(l.settings.temperature)).cast<std::string>() +
      ", absorb=";
  text += l.settings.absorb == 0 ? "None" : std::to_string(l.settings.absorb - 1);
  if (l.numbering.absorbing_state != 0) {
    text += " (absorbing state " + std::to_string(l.numbering.absorbing_state - 1) + ")";
  }
  return text + ")";
}

}  // namespace

PYBIND11_MODULE(zolvane, m) {
  m.doc() = R"doc(Folding kinetics of biopolymers on macrostates: the zolvane program's
stages as functions on a Landscape.

States are 0-based in every argument and result, like numpy arrays (the
command line numbers them from 1: its state k is index k - 1 here).
Times are in the time unit of the rates (rates in 1/time unit),
temperatures in degrees Celsius.

Quiet: a call prints nothing on standard output or error. What the program
would warn about comes through the warnings module, with the categories
StiffnessWarning, BalanceWarning, ErgodicityWarning and NumericalWarning
(all subclasses of ZolvaneWarning, a UserWarning); the messages quote the
program's 1-based state numbers. The program's other diagnostics go to the
logger "zolvane" at DEBUG level, and with verbose=True (the argument, or
the module setting zolvane.verbose) also to sys.stderr. No file is written.

Ctrl-C interrupts the long steps (GTH factor panels, Jacobi sweeps, time
points, eliminations) with KeyboardInterrupt, within a fraction of a
second; LAPACK's own eigensolver (eigensolver="lapack") runs to its end
first. progress= takes a callable
progress(stage, fraction) called at most five times a second (fraction in
[0, 1], or None where unknown); an exception it raises ends the call.)doc";
  m.attr("__version__") = ZOLVANE_VERSION;
  m.attr("verbose") = false;
  SetFatalHandler(&ThrowStageError);
  SetStepHook(&OnStep);
  static py::exception<StageError> computation_error(m, "ComputationError", PyExc_RuntimeError);
  py::register_exception_translator([](std::exception_ptr p) {
    try {
      if (p) std::rethrow_exception(p);
    } catch (const StageError& e) {
      if (e.numerical) {
        computation_error(e.what());
      } else {
        PyErr_SetString(PyExc_ValueError, e.what());
      }
    }
  });
  {
    py::object base = py::reinterpret_steal<py::object>(PyErr_NewExceptionWithDoc(
        "zolvane.ZolvaneWarning", "Base of the warnings of the zolvane program.", PyExc_UserWarning,
        nullptr));
    m.attr("ZolvaneWarning") = base;
    const char* docs[][2] = {
        {"StiffnessWarning",
         "Double precision does not resolve the landscape: the result may be wrong; the message "
         "names the rerun that is right (eigensolver=..., arithmetic=...)."},
        {"BalanceWarning", "The rates break detailed balance where the computation relies on it."},
        {"ErgodicityWarning",
         "States out of reach of the start, or several population traps: the states were "
         "dropped or the chain splits."},
        {"NumericalWarning",
         "A numerical check failed: probability not conserved, negative or complex values."},
    };
    for (const auto& d : docs) {
      const std::string name = std::string("zolvane.") + d[0];
      m.attr(d[0]) = py::reinterpret_steal<py::object>(
          PyErr_NewExceptionWithDoc(name.c_str(), d[1], base.ptr(), nullptr));
    }
  }

  py::class_<Landscape, LandscapePtr>(m, "Landscape", R"doc(A Markov chain of macrostates
and the program's computations on it. Make one with Landscape.from_file,
Landscape.from_rates or Landscape.from_energies. Pickles (its rates and
options, not the file it came from), so it travels to multiprocessing and
joblib workers.)doc")
      .def_static(
          "from_file",
          [](const py::object& path, const std::string& method, double temperature, bool binary,
             std::optional<int> nstates, int max_decrease, std::optional<int> absorb,
             const py::object& qorp, double hard_rescale, std::optional<double> minimal_rate,
             double rate_scale, const std::string& num_err, double feps,
             std::optional<bool> verbose) {
            const std::string file = PathArgument(path);
            std::optional<std::string> qorp_file;
            if (!qorp.is_none()) qorp_file = PathArgument(qorp);
            return Call(verbose, py::none(), [&] {
              Settings s{method,       temperature,  binary,
                         nstates,      max_decrease, AbsorbSetting(absorb),
                         hard_rescale, minimal_rate, rate_scale,
                         num_err,      feps};
              const bool is_qorp = method == "A";
              const std::string* qorpfile = is_qorp ? &file : (qorp_file ? &*qorp_file : nullptr);
              return Build(s, file, is_qorp ? nullptr : &file, qorpfile, nullptr, 0);
            });
          },
          py::arg("path"), py::kw_only(), py::arg("method") = "I", py::arg("temperature") = 37.0,
          py::arg("binary") = false, py::arg("nstates") = py::none(),
          py::arg("max_decrease") = 1000000, py::arg("absorb") = py::none(),
          py::arg("qorp") = py::none(), py::arg("hard_rescale") = 1.0,
          py::arg("minimal_rate") = py::none(), py::arg("rate_scale") = 1.0,
          py::arg("num_err") = "H", py::arg("feps") = 1e-15, py::arg("verbose") = py::none(),
          R"doc(Reads a landscape as the program reads it. `path` (and qorp=) are
str or os.PathLike; a file that cannot be opened raises FileNotFoundError,
PermissionError or another OSError.

method="I" (default): `path` is a rates file, text (line i = rates out of
state i, in 1/time unit) or binary with binary=True (int32 n, then n*n
doubles; nstates= reduces it quasi-stationarily, max_decrease= states per
step). method="A": `path` is a qorp file of local minima; rates are
exp(-(S - E)/kT) at temperature= degrees Celsius. absorb=k makes minimum k
(0-based) absorbing: the chain gains an absorbing state, the last one
(method I then needs qorp=...). hard_rescale=, minimal_rate= rescale the
rates as the program's options of those names do; rate_scale= multiplies
every rate (the program's --times). num_err= is the check mode of the
populations (H fails, R rescales, I ignores).)doc")
      .def_static(
          "from_rates",
          [](py::array_t<double, py::array::forcecast> rates, double temperature,
             std::optional<int> absorb, const py::object& qorp, std::optional<bool> verbose) {
            std::optional<std::string> qorp_file;
            if (!qorp.is_none()) qorp_file = PathArgument(qorp);
            int n = 0;
            std::vector<double> u = SquareArgument(rates, "rates", n);
            CheckRates(u, n);
            return Call(verbose, py::none(), [&] {
              Settings s;
              s.temperature = temperature;
              s.absorb = AbsorbSetting(absorb);
              return Build(s, "rates", nullptr, qorp_file ? &*qorp_file : nullptr, &u, n);
            });
          },
          py::arg("rates"), py::kw_only(), py::arg("temperature") = 37.0,
          py::arg("absorb") = py::none(), py::arg("qorp") = py::none(),
          py::arg("verbose") = py::none(),
          R"doc(A landscape from a rates matrix: rates[i, j] is the rate of the
transition i -> j (row i = rates out of state i, the text file's
orientation), in 1/time unit; the diagonal is ignored. Any array-like of
numbers (lists, float32, Fortran order). absorb=k (0-based) with qorp= as
from_file.)doc")
      .def_static(
          "from_energies",
          [](py::array_t<double, py::array::forcecast> energies,
             py::array_t<double, py::array::forcecast> barriers, double temperature,
             std::optional<bool> verbose) {
            return Call(verbose, py::none(), [&] {
              Settings s;
              s.temperature = temperature;
              const RunOptions o = Validate(s, 0.1, 1e12, 1.02, nullptr, nullptr);
              int n = 0;
              std::vector<double> u = ArrheniusRates(energies, barriers, Calc(1, o).kT, n);
              return Build(s, "energies", nullptr, nullptr, &u, n);
            });
          },
          py::arg("energies"), py::arg("barriers"), py::kw_only(), py::arg("temperature") = 37.0,
          py::arg("verbose") = py::none(),
          R"doc(A landscape from energies held in memory, by the Arrhenius rule of
the program's method A: energies[i] the free energy of state i and
barriers[i, j] = barriers[j, i] the energy of the saddle between i and j
(kcal/mol; inf where no direct transition; the diagonal is ignored) give
the rate i -> j = exp(-(barriers[i, j] - energies[i]) / kT) at temperature=
degrees Celsius, kT as the program takes it. The equilibrium is then the
Boltzmann distribution of the energies.)doc")
      .def(py::pickle([](const Landscape& l) { return GetState(l); },
                      [](const py::tuple& t) { return SetState(t); }))
      .def("__repr__", &Repr)
      .def_property_readonly(
          "n", [](const Landscape& l) { return l.n; },
          "Number of states (with an absorbing state appended by absorb=).")
      .def_property_readonly(
          "absorbing_state",
          [](const Landscape& l) -> py::object {
            if (l.numbering.absorbing_state == 0) return py::none();
            return py::int_(l.numbering.absorbing_state - 1);
          },
          "The 0-based index of the absorbing state absorb= appended (the last), or None.")
      .def_property_readonly(
          "rates",
          [](const Landscape& l) {
            py::array_t<double> r({l.n, l.n});
            double* out = r.mutable_data();
            const size_t n = static_cast<size_t>(l.n);
            for (size_t i = 0; i < n; ++i) {
              for (size_t j = 0; j < n; ++j) out[i * n + j] = i == j ? 0.0 : l.U[j * n + i];
            }
            return r;
          },
          R"doc(The rates the computations use (a new n x n array, 1/time unit):
[i, j] the rate from state i to state j, zero diagonal; from_rates'
orientation, after any rescaling and with the absorbing state of absorb= as
the last one.)doc")
      .def_property_readonly(
          "generator",
          [](const Landscape& l) {
            py::array_t<double> q({l.n, l.n});
            double* out = q.mutable_data();
            const size_t n = static_cast<size_t>(l.n);
            for (size_t i = 0; i < n; ++i) {
              double sum = 0.0;
              for (size_t j = 0; j < n; ++j) {
                out[i * n + j] = i == j ? 0.0 : l.U[j * n + i];
                sum += out[i * n + j];
              }
              out[i * n + i] = -sum;
            }
            return q;
          },
          R"doc(The generator (rate matrix) Q of the chain as the program builds it
(Arrhenius rates, degeneracy, rescaling and the absorbing state applied), a
new n x n array: Q[i, j] the rate i -> j for i != j, Q[i, i] = -sum of row
i, so that a row vector of populations p evolves as dp/dt = p Q (the
program's U is Q transposed). A diagonal of sums loses the small rates of
stiff chains: the module's own functions never use it.)doc")
      .def(
          "populations",
          [](Landscape& l, std::optional<py::array_t<double>> p0, double t0, double t8, double tinc,
             std::optional<py::array_t<double>> times, const std::string& eigensolver,
             const std::string& propagator, const py::object& progress,
             std::optional<bool> verbose) {
            return Call(verbose, progress, [&] {
              return Populations(l, p0, t0, t8, tinc, times, eigensolver, propagator);
            });
          },
          py::arg("p0") = py::none(), py::kw_only(), py::arg("t0") = 0.1, py::arg("t8") = 1e12,
          py::arg("tinc") = 1.02, py::arg("times") = py::none(), py::arg("eigensolver") = "auto",
          py::arg("propagator") = "auto", py::arg("progress") = py::none(),
          py::arg("verbose") = py::none(),
          R"doc(Populations p(t) of every state: returns (times, populations), new
arrays, populations of shape (len(times), n), row k at times[k].

p0: start distribution over the n states (default: all in state 0, as the
program). Without times= the time axis is the program's table: t0, then
steps growing by the factor tinc up to t8 (t8 the end of the axis), cut
short once every population is within 1e-6 of equilibrium (a last row at t8
then repeats it); t0=0 adds the row at time 0. times= gives exactly those
time points. Values are the table's (|p|, checked as num_err says); states
the start cannot reach are 0. eigensolver= "auto" (the program's choice:
the accurate factorised solver wherever the rates are in detailed balance),
"accurate" or "lapack" (dsyevd, fast, wrong on stiff landscapes: a
StiffnessWarning says so). propagator= "auto" (the eigen-decomposition for
rates in detailed balance, the exact propagator for the others, as the
program decides), "exact" (scaling and squaring without subtractions: every
population to a few ulps relative, the smallest included, at about three
times the cost of the accurate solver) or "spectral" (refused on rates
without detailed balance, whose symmetric form would be other rates).)doc")
      .def(
          "equilibrium",
          [](Landscape& l, std::optional<py::array_t<double>> p0, std::optional<bool> verbose) {
            return Call(verbose, py::none(), [&] { return Equilibrium(l, p0); });
          },
          py::arg("p0") = py::none(), py::kw_only(), py::arg("verbose") = py::none(),
          R"doc(Equilibrium populations (a new array of n entries) of the states p0
reaches (default: from state 0), 0 for the others. Method A on unchanged
rates: the Boltzmann weights of the minima; any other chain, reversible or
not: GTH elimination, without subtractions, exact to rounding at any
spread of the rates. With an absorbing state: the program's p8.)doc")
      .def(
          "spectrum",
          [](Landscape& l, std::optional<py::array_t<double>> p0, const std::string& eigensolver,
             const py::object& progress, std::optional<bool> verbose) {
            return Call(verbose, progress, [&] {
              const std::shared_ptr<const Decomposition> kept =
                  DecompositionWith(l, p0, eigensolver);
              const Decomposition& d = *kept;
              const size_t m = d.spectrum.evals.size();
              py::array_t<double> vecs({static_cast<py::ssize_t>(m), static_cast<py::ssize_t>(m)});
              std::copy(d.spectrum.evecs.begin(), d.spectrum.evecs.end(), vecs.mutable_data());
              std::vector<int> states = d.numbering.kept;
              if (states.empty()) {
                for (int i = 0; i < l.n; ++i) states.push_back(i);
              }
              // With an absorbing state the scalings (if any) are those of the
              // transient states, not of p8.
              py::object sqrt_p8 = d.spectrum.sqrt_p8.empty() || l.numbering.absorbing_state != 0
                                       ? py::object(py::none())
                                       : py::object(Vector(d.spectrum.sqrt_p8));
              return py::make_tuple(Vector(d.spectrum.evals), vecs, sqrt_p8, states);
            });
          },
          py::arg("p0") = py::none(), py::kw_only(), py::arg("eigensolver") = "auto",
          py::arg("progress") = py::none(), py::arg("verbose") = py::none(),
          R"doc(Returns (eigenvalues, eigenvectors, sqrt_p8, states), new arrays:
eigenvalues of the generator in 1/time unit, descending (0 first);
eigenvectors as columns, those of the symmetrised generator
P^-1/2 U P^1/2 (of U itself with an absorbing state, sqrt_p8 then None);
states: the 0-based states they cover. eigensolver= as in populations.)doc")
      .def(
          "timescales",
          [](Landscape& l, std::optional<py::array_t<double>> p0, const std::string& eigensolver,
             const py::object& progress, std::optional<bool> verbose) {
            return Call(verbose, progress, [&] {
              const std::shared_ptr<const Decomposition> kept =
                  DecompositionWith(l, p0, eigensolver);
              const Decomposition& d = *kept;
              std::vector<double> t;
              for (double lambda : d.spectrum.evals) {
                if (lambda < 0) t.push_back(-1.0 / lambda);
              }
              std::sort(t.rbegin(), t.rend());
              return Vector(t);
            });
          },
          py::arg("p0") = py::none(), py::kw_only(), py::arg("eigensolver") = "auto",
          py::arg("progress") = py::none(), py::arg("verbose") = py::none(),
          R"doc(Implied timescales -1/lambda of the non-stationary modes (time unit
of the rates), slowest first: a new array of the eigenvalues below 0 of
the generator over the states p0 reaches (the stationary 0 left out). The
default eigensolver resolves every one on stiff landscapes.)doc")
      .def(
          "mfpt",
          [](Landscape& l, const py::object& progress, std::optional<bool> verbose) {
            return Call(verbose, progress, [&] { return MfptMatrix(l); });
          },
          py::kw_only(), py::arg("progress") = py::none(), py::arg("verbose") = py::none())
      .def(
          "mfpt",
          [](Landscape& l, const py::object& target, const py::object& progress,
             std::optional<bool> verbose) {
            const StateSet set = StatesArgument(target, l.n, "target");
            return Call(verbose, progress, [&] { return Vector(MfptInto(l, set)); });
          },
          py::arg("target"), py::kw_only(), py::arg("progress") = py::none(),
          py::arg("verbose") = py::none())
      .def(
          "mfpt",
          [](Landscape& l, const py::object& source, const py::object& target,
             const py::object& progress, std::optional<bool> verbose) {
            const StateSet from = StatesArgument(source, l.n, "source");
            const StateSet to = StatesArgument(target, l.n, "target");
            return Call(verbose, progress, [&] { return MfptBetween(l, from, to); });
          },
          py::arg("source"), py::arg("target"), py::kw_only(), py::arg("progress") = py::none(),
          py::arg("verbose") = py::none(),
          R"doc(Mean first passage times (time unit of the rates), by elimination
without subtractions, exact to rounding at any spread of the rates.

mfpt(): the n x n matrix, [i, j] the time from state i to state j (the
numbers of the program's --fpt all); not with an absorbing state.
mfpt(target): a state or a set (iterable) of states; the vector of the
times from every state into the set (0 on it).
mfpt(source, target): sets; the time into `target` from `source`, the
starts weighted by their equilibrium populations.
inf where the walk misses the target with a positive probability (it can
enter states that never reach it).)doc")
      .def(
          "committor",
          [](Landscape& l, const py::object& a, const py::object& b, bool backward,
             const py::object& progress, std::optional<bool> verbose) {
            const StateSet sa = StatesArgument(a, l.n, "A");
            const StateSet sb = StatesArgument(b, l.n, "B");
            return Call(verbose, progress, [&] { return Committor(l, sa, sb, backward); });
          },
          py::arg("A"), py::arg("B"), py::kw_only(), py::arg("backward") = false,
          py::arg("progress") = py::none(), py::arg("verbose") = py::none(),
          R"doc(Committor between two disjoint sets of states (each a state or an
iterable of states), a new array over the n states.

Forward (default): from each state, the probability of entering B before
A (0 on A, 1 on B). backward=True: the probability that the walk at each
state came last from A rather than from B (1 on A, 0 on B): the forward
committor into A of the time-reversed chain, which needs the equilibrium
of the whole chain (irreducible). In detailed balance the backward
committor is 1 - forward; computed directly it stays exact where it is
tiny. By elimination without subtractions: right when the values span
many decades. NaN from states that reach neither set.)doc")
      .def(
          "absorbing_times",
          [](Landscape& l, const py::object& progress, std::optional<bool> verbose) {
            return Call(verbose, progress, [&] {
              if (l.numbering.absorbing_state == 0) {
                BadInput("absorbing_times() needs an absorbing state (absorb=k)");
              }
              NumericalScope numerical;
              std::vector<double> times;
              {
                py::gil_scoped_release release;
                AbsorbingTimes(l.U, static_cast<size_t>(l.n), l.numbering.absorbed_minimum, times);
              }
              return Vector(times);
            });
          },
          py::kw_only(), py::arg("progress") = py::none(), py::arg("verbose") = py::none(),
          R"doc(Absorbing times of a landscape made with absorb=k (time unit of the
rates), the numbers of the program's --fpt output then: n - 1 values, entry
i for the start in state i (every state but the appended absorbing one),
the mean time from there to minimum k, which is the time to absorption less
the time from k itself (0 at k). NaN when some state cannot reach k.)doc")
      .def(
          "reduce",
          [](const Landscape& l, int k, const py::object& progress, std::optional<bool> verbose) {
            return Call(verbose, progress, [&] {
              if (l.numbering.absorbing_state != 0) {
                BadInput("reduce() needs a landscape without an absorbing state");
              }
              if (k < 1 || k > l.n) {
                BadInput("k must be a number of states between 1 and " + std::to_string(l.n));
              }
              const RunOptions o = l.Options();
              std::vector<double> rates(l.U);
              {
                NumericalScope numerical;
                py::gil_scoped_release release;
                int reduced = 0;
                ThrowIfFailed(MxReduce(o, rates, k, l.n, o.max_decrease, reduced));
              }
              // The reduced generator is a landscape of its own: rates only, any
              // rescaling already in them.
              Settings s;
              s.temperature = l.settings.temperature;
              s.num_err = l.settings.num_err;
              s.feps = l.settings.feps;
              s.max_decrease = l.settings.max_decrease;
              return Build(s, "reduced " + l.source, nullptr, nullptr, &rates, k);
            });
          },
          py::arg("k"), py::kw_only(), py::arg("progress") = py::none(),
          py::arg("verbose") = py::none(),
          R"doc(Quasi-stationary reduction to the first k states (0..k-1), as the
program's -n/--nstates: the states k..n-1 are eliminated with dp/dt = 0,
which leaves the Schur complement of their block as the generator of
states 0..k-1. Returns a new Landscape over those k states (rates in
1/time unit, with any rescaling of this one already in them; its
equilibrium follows from the balance of the reduced rates). k = n gives the
same chain.)doc");
}

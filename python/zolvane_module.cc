// The Python module zolvane: a landscape read from a file or given as a rates
// matrix, and the program's stages on it (populations, equilibrium, spectrum,
// first passage times). Every stage is the one the command-line run calls;
// errors come back as Python exceptions: a stage's failed Status is raised
// directly. The Fatal handler stays for the LAPACK argument check, which
// ends the run on what can only be a bug of ours.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <cmath>
#include <limits>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "app/program_options.h"
#include "base/fatal.h"
#include "base/run_options.h"
#include "base/status.h"
#include "calc/backend/reduce.h"
#include "calc/model/calc.h"
#include "calc/model/rescale.h"
#include "calc/model/spectrum.h"
#include "calc/passage/first_passage.h"
#include "calc/table/populations.h"
#include "command_line/command_line_args.h"
#include "input/bin_rates_file.h"
#include "input/qorp_file.h"
#include "input/rates_file.h"

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

[[noreturn]] void ThrowStageError(int status, const char* message) {
  std::string text(message);
  while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
  if (text.empty()) text = "invalid input";
  throw StageError(status, text, t_numerical || status != 1);
}

// A stage's failed status as the exception the handler would have thrown.
void ThrowIfFailed(const Status& status) {
  if (!status.ok()) ThrowStageError(status.exit_status, status.message.c_str());
}

py::array_t<double> Vector(const std::vector<double>& v) {
  py::array_t<double> a(static_cast<py::ssize_t>(v.size()));
  std::copy(v.begin(), v.end(), a.mutable_data());
  return a;
}

// Options of one landscape, as the command line would give them.
struct Settings {
  std::string method = "I";
  double Temp = 37.0;
  bool bin = false;
  std::optional<int> nstates;
  int max_decrease = 1000000;
  int absorb = 0;
  std::optional<std::string> qorp;
  double hard_rescale = 1.0;
  std::optional<double> minimal_rate;
  double times = 1.0;
  std::string num_err = "H";
  double feps = 1e-15;
  bool warnings = false;
};

// The same rules as the command line: the values go through
// ConvertAndValidate. `t0`/`t8`/`tinc` are the time axis of one call.
RunOptions Validate(const Settings& s, double t0, double t8, double tinc,
                    const std::string* ratesfile, const std::string* qorpfile) {
  CommandLineArgs args;
  args.method_count = 1;
  args.method_value = s.method;
  if (s.method != "A" && s.method != "I")
    throw StageError(1, "method must be \"A\" or \"I\"", false);
  if (s.num_err != "H" && s.num_err != "I" && s.num_err != "R") {
    throw StageError(1, "num_err must be \"H\", \"I\" or \"R\"", false);
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
  args.Temp_value = s.Temp;
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
  args.times_value = s.times;
  if (s.nstates) {
    args.nstates_count = 1;
    args.nstates_value = *s.nstates;
  }
  args.max_decrease_value = s.max_decrease;
  args.bin_count = s.bin;
  args.warnings_count = s.warnings;
  RunOptions opts;
  ThrowIfFailed(ConvertAndValidate(args, opts));
  opts.quiet = s.warnings ? 0 : 1;
  return opts;
}

// The decomposition for one set of states reached from p0.
struct Decomposition {
  StateNumbering numbering;  // after the ergodicity reduction
  Spectrum spectrum;
  std::vector<double> p8;
};

class Landscape {
 public:
  // The generator as MxQorp2Matrix and the rescaling stages leave it.
  Settings settings;
  std::unique_ptr<RunOptions> opts;
  std::vector<QorpRecord> records;
  bool have_records = false;
  bool reshaped = false;
  int n = 0;
  StateNumbering numbering;  // the appended absorbing state; nothing removed yet
  std::vector<double> U;
  std::optional<Decomposition> cache;

  // A Calc with the time options of one call, over the whole input.
  Calc MakeCalc(const RunOptions& o) const {
    Calc calc(n, o);
    calc.numbering = numbering;
    return calc;
  }

  std::vector<double> MakeP0(const Calc& calc, const std::optional<py::array_t<double>>& p0) const {
    if (!p0) {
      std::vector<double> v;
      ThrowIfFailed(calc.MxMakeP0(v));
      return v;
    }
    auto a = p0->unchecked<1>();
    if (a.shape(0) != n) {
      throw StageError(1, "p0 must have " + std::to_string(n) + " entries", false);
    }
    std::vector<double> v(n);
    double sum = 0;
    for (int i = 0; i < n; ++i) {
      v[i] = a(i);
      if (!(v[i] >= 0) || std::isinf(v[i])) {
        throw StageError(1, "p0 entries must be finite and >= 0", false);
      }
      sum += v[i];
    }
    if (!(sum > 0.99 && sum < 1.01)) throw StageError(1, "p0 must sum up to 1", false);
    return v;
  }

  // Ergodicity reduction, equilibrium and diagonalisation, as the driver
  // runs them; the decomposition is kept for the next call with the same
  // reached states.
  Decomposition& Decompose(Calc& calc, std::vector<double>& p0) {
    std::vector<double> u(U);
    ThrowIfFailed(calc.MxErgodicity(u, p0, n));
    if (cache && cache->numbering.kept == calc.numbering.kept) return *cache;
    std::vector<double> p8 = calc.MxAllocate();
    Spectrum spectrum;
    if (calc.opts.method == 'A' && !reshaped) {
      std::vector<QorpRecord> kept_records;
      if (calc.numbering.kept.empty()) {
        kept_records = records;
      } else {
        for (int k : calc.numbering.kept) {
          if (k < static_cast<int>(records.size())) kept_records.push_back(records[k]);
        }
      }
      ThrowIfFailed(calc.MxEquilibriumFromEnergies(kept_records, p8));
    } else {
      ThrowIfFailed(calc.MxEquilibriumFromBalance(u, p8));
    }
    {
      NumericalScope numerical;
      py::gil_scoped_release release;
      Calc::SpectrumOutcome outcome = Calc::SpectrumOutcome::kDone;
      ThrowIfFailed(calc.MxDiagonalize(u, p8, spectrum, outcome));
      if (outcome == Calc::SpectrumOutcome::kUseQuadDouble) {
        // The command line goes on in quad-double there; the module does not
        // offer the extended arithmetics.
        throw StageError(255, "the eigensolver did not converge in double precision", true);
      }
    }
    cache = Decomposition{calc.numbering, std::move(spectrum), std::move(p8)};
    return *cache;
  }
};

std::shared_ptr<Landscape> Build(Settings s, const std::string* ratesfile,
                                 const std::string* qorpfile, std::vector<double>* given,
                                 int given_n) {
  auto l = std::make_shared<Landscape>();
  l->settings = s;
  l->opts = std::make_unique<RunOptions>(Validate(s, 0.1, 1e12, 1.02, ratesfile, qorpfile));
  const RunOptions& opts = *l->opts;
  InputContext ctx{opts};
  std::vector<double> rates;
  int n = 0;
  if (given) {
    rates = std::move(*given);
    n = given_n;
    if (opts.qorp != stdin) {
      int m = 0;
      ThrowIfFailed(ParseQorpFile(ctx, ctx.qorp, l->records, m));
      n = m == n ? n : -1;
      l->have_records = true;
      if (n < 0) throw StageError(1, "the qorp file does not have one minimum per state", false);
    }
  } else if (opts.method == 'A') {
    if (opts.qorp == stdin) throw StageError(1, "method A needs a qorp file", false);
    ThrowIfFailed(ParseQorpFile(ctx, ctx.qorp, l->records, n));
    l->have_records = true;
    if (n == 0) throw StageError(1, "ERROR: qorp file holds no local minimum!", false);
  } else {
    if (opts.ratesfile == stdin) throw StageError(1, "a rates file is needed", false);
    ThrowIfFailed(opts.bin ? ParseBinaryRatesFile(ctx, ctx.ratesfile, rates, n)
                           : ParseRatesFile(ctx, ctx.ratesfile, rates, n));
    if (opts.bin) ThrowIfFailed(MxReduce(opts, rates, opts.nstates, n, opts.max_decrease, n));
    if (opts.qorp != stdin) {
      int m = 0;
      ThrowIfFailed(ParseQorpFile(ctx, ctx.qorp, l->records, m));
      l->have_records = true;
      if (m != n) {
        throw StageError(1,
                         "ERROR: dimension mismatch among input rates file and qorp file " +
                             std::to_string(n) + " != " + std::to_string(m),
                         false);
      }
    }
    if (n == 0) throw StageError(1, "ERROR: Rate file empty!", false);
  }
  if (opts.method == 'I' && opts.absorb != 0 && !l->have_records) {
    throw StageError(1, "absorb needs a qorp file (qorp=...) for the absorbing state", false);
  }
  Calc calc(n, opts);
  ThrowIfFailed(
      calc.MxQorp2Matrix(l->have_records ? &l->records : nullptr, std::move(rates), l->U));
  const int d = calc.dim;
  if (RescaleMatrix(calc, l->U.data(), d)) l->reshaped = true;
  l->n = d;
  l->numbering = calc.numbering;
  return l;
}

py::tuple Populations(Landscape& l, std::optional<py::array_t<double>> p0, double t0, double t8,
                      double tinc, std::optional<py::array_t<double>> times) {
  const RunOptions o = Validate(l.settings, t0, t8, tinc, nullptr, nullptr);
  Calc calc = l.MakeCalc(o);
  std::vector<double> start = l.MakeP0(calc, p0);
  const Decomposition& d = l.Decompose(calc, start);
  std::vector<double> out_times, rows;
  {
    NumericalScope numerical;
    Evolution e;
    ThrowIfFailed(MakeEvolution(calc, d.spectrum, std::vector<double>(d.spectrum.evecs), start, e));
    auto keep = [&](double t, double* p) {
      double sum = 0.0;
      if (Status status = CheckPopulationLine(o, p, calc.dim, t, sum); !status.ok()) return status;
      std::vector<double> values(calc.dim);
      for (int i = 0; i < calc.dim; ++i) values[i] = TableValue(o.num_err, p[i], sum);
      const std::vector<double> input =
          calc.numbering.ToInputNumbering(values.data(), calc.dim, 0.0);
      out_times.push_back(t);
      rows.insert(rows.end(), input.begin(), input.end());
      return Status{};
    };
    if (times) {
      auto a = times->unchecked<1>();
      std::vector<double> ts(a.shape(0));
      for (size_t k = 0; k < ts.size(); ++k) {
        ts[k] = a(k);
        if (!(ts[k] >= 0) || std::isinf(ts[k])) {
          throw StageError(1, "times must be finite and >= 0", false);
        }
      }
      const size_t nn = static_cast<size_t>(calc.dim);
      std::vector<double> w(ts.size() * nn), pops(ts.size() * nn);
      std::vector<char> range(ts.size() * nn);
      {
        py::gil_scoped_release release;
        EvolveBlock(e, ts.data(), ts.size(), w.data(), pops.data(), range.data());
      }
      for (size_t k = 0; k < ts.size(); ++k) ThrowIfFailed(keep(ts[k], pops.data() + k * nn));
    } else if (calc.dim == 1 && !calc.numbering.kept.empty()) {
      // One state reached: the table holds it at t0 and t8.
      double p = start[0];
      ThrowIfFailed(keep(o.t0, &p));
      p = start[0];
      ThrowIfFailed(keep(o.t8, &p));
    } else {
      py::gil_scoped_release release;
      int count = 0;
      ThrowIfFailed(WalkPopulationTable(calc, e, start, d.p8, keep, count));
    }
  }
  const size_t cols = out_times.empty() ? 0 : rows.size() / out_times.size();
  py::array_t<double> pops(
      {static_cast<py::ssize_t>(out_times.size()), static_cast<py::ssize_t>(cols)});
  std::copy(rows.begin(), rows.end(), pops.mutable_data());
  return py::make_tuple(Vector(out_times), pops);
}

}  // namespace

PYBIND11_MODULE(zolvane, m) {
  m.doc() = "Folding kinetics of biopolymers on macrostates (the zolvane program's stages).";
  SetFatalHandler(&ThrowStageError);
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

  py::class_<Landscape, std::shared_ptr<Landscape>>(m, "Landscape")
      .def_static(
          "from_file",
          [](const std::string& path, const std::string& method, double Temp, bool bin,
             std::optional<int> nstates, int max_decrease, int absorb,
             std::optional<std::string> qorp, double hard_rescale,
             std::optional<double> minimal_rate, double times, const std::string& num_err,
             double feps, bool warnings) {
            Settings s{method,       Temp,         bin,   nstates, max_decrease, absorb,  qorp,
                       hard_rescale, minimal_rate, times, num_err, feps,         warnings};
            const bool is_qorp = method == "A";
            const std::string* qorpfile = is_qorp ? &path : (qorp ? &*qorp : nullptr);
            return Build(s, is_qorp ? nullptr : &path, qorpfile, nullptr, 0);
          },
          py::arg("path"), py::kw_only(), py::arg("method") = "I", py::arg("Temp") = 37.0,
          py::arg("bin") = false, py::arg("nstates") = py::none(),
          py::arg("max_decrease") = 1000000, py::arg("absorb") = 0, py::arg("qorp") = py::none(),
          py::arg("hard_rescale") = 1.0, py::arg("minimal_rate") = py::none(),
          py::arg("times") = 1.0, py::arg("num_err") = "H", py::arg("feps") = 1e-15,
          py::arg("warnings") = false,
          R"doc(Reads a landscape as the program reads it.

method="I" (default): `path` is a rates file, text (line i = rates out of
state i, in 1/time unit) or binary with bin=True (int32 n, then n*n doubles;
nstates= reduces it quasi-stationarily, max_decrease= states per step).
method="A": `path` is a qorp file of local minima; rates are
exp(-(S - E)/kT) at Temp= degrees Celsius. absorb=k makes minimum k
absorbing (method I then needs qorp=...). hard_rescale=, minimal_rate=,
times= rescale the rates as the options of those names do. num_err= is
the check mode of the populations (H fails, R rescales, I ignores).
Warnings go to stderr only with warnings=True.)doc")
      .def_static(
          "from_rates",
          [](py::array_t<double, py::array::c_style | py::array::forcecast> rates, double Temp,
             int absorb, std::optional<std::string> qorp, bool warnings) {
            if (rates.ndim() != 2 || rates.shape(0) != rates.shape(1) || rates.shape(0) == 0) {
              throw StageError(1, "rates must be a non-empty square matrix", false);
            }
            const int n = static_cast<int>(rates.shape(0));
            auto r = rates.unchecked<2>();
            std::vector<double> u(static_cast<size_t>(n) * n);
            for (int i = 0; i < n; ++i) {
              for (int j = 0; j < n; ++j) {
                const double x = r(i, j);
                if (i != j && (!(x >= 0) || std::isinf(x))) {
                  throw StageError(1,
                                   "rates must be finite and >= 0 (rate " + std::to_string(i + 1) +
                                       " -> " + std::to_string(j + 1) + ")",
                                   false);
                }
                u[static_cast<size_t>(j) * n + i] = i == j ? 0.0 : x;
              }
            }
            Settings s;
            s.Temp = Temp;
            s.absorb = absorb;
            s.qorp = qorp;
            s.warnings = warnings;
            return Build(s, nullptr, qorp ? &*qorp : nullptr, &u, n);
          },
          py::arg("rates"), py::kw_only(), py::arg("Temp") = 37.0, py::arg("absorb") = 0,
          py::arg("qorp") = py::none(), py::arg("warnings") = false,
          R"doc(A landscape from a rates matrix: rates[i, j] is the rate of the
transition i -> j (row i = rates out of state i, the text file's
orientation), in 1/time unit; the diagonal is ignored.)doc")
      .def_property_readonly(
          "n", [](const Landscape& l) { return l.n; },
          "Number of states (with an absorbing state appended by absorb=).")
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
          R"doc(The rates the computations use (n x n, 1/time unit): [i, j] the rate
from state i+1 to state j+1, zero diagonal; from_rates' orientation, after
any rescaling and with the absorbing state of absorb= as the last one.)doc")
      .def("populations", &Populations, py::arg("p0") = py::none(), py::kw_only(),
           py::arg("t0") = 0.1, py::arg("t8") = 1e12, py::arg("tinc") = 1.02,
           py::arg("times") = py::none(),
           R"doc(Populations p(t) of every state: returns (times, populations) with
populations of shape (len(times), n), row k at times[k].

p0: start distribution over the n states (default: all in state 1, as the
program). Without times= the time axis is the program's table: t0, then steps
growing by the factor tinc up to t8, cut short once every population is
within 1e-6 of equilibrium (a last row at t8 then repeats it); t0=0 adds
the row at time 0. times= gives exactly those time points. Values are the
table's (|p|, checked as num_err says); states the start cannot reach are 0.)doc")
      .def(
          "equilibrium",
          [](Landscape& l, std::optional<py::array_t<double>> p0) {
            const RunOptions o = Validate(l.settings, 0.1, 1e12, 1.02, nullptr, nullptr);
            Calc calc = l.MakeCalc(o);
            std::vector<double> start = l.MakeP0(calc, p0);
            const Decomposition& d = l.Decompose(calc, start);
            return Vector(calc.numbering.ToInputNumbering(d.p8.data(), calc.dim, 0.0));
          },
          py::arg("p0") = py::none(),
          "Equilibrium populations p8 (n entries; 0 for states p0 cannot reach).")
      .def(
          "spectrum",
          [](Landscape& l, std::optional<py::array_t<double>> p0) {
            const RunOptions o = Validate(l.settings, 0.1, 1e12, 1.02, nullptr, nullptr);
            Calc calc = l.MakeCalc(o);
            std::vector<double> start = l.MakeP0(calc, p0);
            const Decomposition& d = l.Decompose(calc, start);
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
                                     : Vector(d.spectrum.sqrt_p8);
            return py::make_tuple(Vector(d.spectrum.evals), vecs, sqrt_p8, states);
          },
          py::arg("p0") = py::none(),
          R"doc(Returns (eigenvalues, eigenvectors, sqrt_p8, states): eigenvalues of
the generator in 1/time unit, descending (0 first); eigenvectors as columns,
those of the symmetrised generator P^-1/2 U P^1/2 (of U itself with an
absorbing state, sqrt_p8 then None); states: the 0-based states they cover.)doc")
      .def(
          "mfpt",
          [](Landscape& l, std::optional<int> target) -> py::object {
            if (l.numbering.absorbing_state != 0) {
              throw StageError(1, "with an absorbing state use absorbing_times()", false);
            }
            if (target && (*target < 1 || *target > l.n)) {
              throw StageError(1, "target must be a state between 1 and " + std::to_string(l.n),
                               false);
            }
            const RunOptions o = Validate(l.settings, 0.1, 1e12, 1.02, nullptr, nullptr);
            const Calc calc = l.MakeCalc(o);
            NumericalScope numerical;
            std::vector<double> times;
            {
              py::gil_scoped_release release;
              if (target) {
                times = *calc.MxFirstPassageTo(l.U, *target - 1);
              } else {
                FirstPassageMatrix(l.U, static_cast<size_t>(l.n), times);
              }
            }
            if (target) return Vector(times);
            py::array_t<double> all({l.n, l.n});
            std::copy(times.begin(), times.end(), all.mutable_data());
            return all;
          },
          py::arg("target") = py::none(),
          R"doc(Mean first passage times (time unit of the rates) over all n states.
target=j (1-based): vector of the times from every state to j, entry i
from state i+1. No target: the n x n matrix, [i, j] = time from state i+1
to state j+1, the numbers of the program's --fpt all. NaN where undefined:
the column of a target that some state cannot reach (the whole matrix
then, as the program prints it; mfpt(j) still gives the defined columns).)doc")
      .def(
          "absorbing_times",
          [](Landscape& l) {
            if (l.numbering.absorbing_state == 0) {
              throw StageError(1, "absorbing_times() needs an absorbing state (absorb=k)", false);
            }
            NumericalScope numerical;
            std::vector<double> times;
            {
              py::gil_scoped_release release;
              AbsorbingTimes(l.U, static_cast<size_t>(l.n), l.numbering.absorbed_minimum, times);
            }
            return Vector(times);
          },
          R"doc(Absorbing times of a landscape made with absorb=k (time unit of the
rates), the numbers of the program's --fpt output then: n - 1 values, entry
i for the start in state i+1 (every state but the appended absorbing one),
the mean time from there to minimum k, which is the time to absorption less
the time from k itself (0 at k). NaN when some state cannot reach k.)doc")
      .def(
          "reduce",
          [](const Landscape& l, int k) {
            if (l.numbering.absorbing_state != 0) {
              throw StageError(1, "reduce() needs a landscape without an absorbing state", false);
            }
            if (k < 1 || k > l.n) {
              throw StageError(
                  1, "k must be a number of states between 1 and " + std::to_string(l.n), false);
            }
            const RunOptions o = Validate(l.settings, 0.1, 1e12, 1.02, nullptr, nullptr);
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
            s.Temp = l.settings.Temp;
            s.num_err = l.settings.num_err;
            s.feps = l.settings.feps;
            s.warnings = l.settings.warnings;
            s.max_decrease = l.settings.max_decrease;
            return Build(s, nullptr, nullptr, &rates, k);
          },
          py::arg("k"),
          R"doc(Quasi-stationary reduction to the first k states, as the program's
-n/--nstates: the states k+1..n are eliminated with dp/dt = 0, which leaves
the Schur complement of their block as the generator of states 1..k.
Returns a new Landscape over those k states (rates in 1/time unit, with any
rescaling of this one already in them; its equilibrium follows from the
balance of the reduced rates). k = n gives the same chain.)doc");
}

// Mean first passage times of the Markov process defined by U: between all
// pairs of states, to one target state, and the times until absorption when
// an absorbing state exists. All of them by state reduction
// (elimination/state_reduction.h), which only adds non-negative terms and so
// keeps the slow times of stiff landscapes that a solve with the generator's
// diagonal would lose.
#include "calc/passage/first_passage.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "calc/model/calc.h"
#include "calc/passage/first_passage_stage.h"
#include "elimination/state_reduction.h"

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

// Appends x as "%15.7g " would print it. std::to_chars in general format
// with precision 7 is specified to give exactly printf's %.7g, and it is
// several times faster, which matters for the n*n values of the full matrix.
void AppendG(std::string& line, double x) {
  char buf[32];
  const auto result = std::to_chars(buf, buf + sizeof buf, x, std::chars_format::general, 7);
  const size_t len = static_cast<size_t>(result.ptr - buf);
  if (len < 15) line.append(15 - len, ' ');
  line.append(buf, len);
  line.push_back(' ');
}

// The first m states of U as the state reduction reads them: the rate from
// i to j is U(j, i). The diagonal, with or without the --useplusI shift, is
// never read.
RatesView Rates(const std::vector<double>& U, size_t n, size_t m) { return {U.data(), m, 1, n}; }

}  // namespace

bool FirstPassageMatrix(const std::vector<double>& U, size_t n, std::vector<double>& times) {
  if (FirstPassageTimesAll(Rates(U, n, n), times)) return true;
  times.assign(n * n, kNaN);
  return false;
}

bool AbsorbingTimes(const std::vector<double>& U, size_t n, int absorbed_minimum,
                    std::vector<double>& times) {
  // The absorbing state is the last one and is entered from the absorbed
  // minimum only, so every path to absorption passes through that minimum
  // and the time from k to absorption less that from the minimum is the
  // first passage time from k to the minimum over the m transient states;
  // computed as such, without that difference. Without the minimum (the
  // ergodicity reduction removed it) the times are those to the absorbing
  // state itself.
  const size_t m = n > 0 ? n - 1 : 0;
  bool ok;
  if (absorbed_minimum >= 0 && static_cast<size_t>(absorbed_minimum) < m) {
    ok = FirstPassageTimesTo(Rates(U, n, m), static_cast<size_t>(absorbed_minimum), times);
  } else {
    ok = n == 0 || FirstPassageTimesTo(Rates(U, n, n), n - 1, times);
    times.resize(m);
  }
  if (!ok) times.assign(m, kNaN);
  return ok;
}

// A state that cannot reach a target shows as a pivot 0 of the elimination.
void MxFirstPassageTimes(const Calc& calc, const std::vector<double>& U,
                         const std::vector<double>& /*p8*/, FILE* out) {
  const size_t n = static_cast<size_t>(calc.dim());
  FirstPassageStage(
      calc, [&](std::vector<double>& times) { return FirstPassageMatrix(U, n, times); },
      [&](std::vector<double>& times) {
        return AbsorbingTimes(U, n, calc.numbering().absorbed_minimum, times);
      },
      out);
}

void MxWriteFirstPassageTimes(const Calc& calc, const std::vector<double>& times, FILE* out) {
  const int n = calc.dim();
  if (out == stderr) {
    fprintf(out, "%s:\n",
            "First passage times (i-th row, j-th column represents fpt from i-th to j-th "
            "state)");
  }
  // One row and column per input state: a state removed by the ergodicity
  // reduction is not part of the system (nan from it) and is never reached
  // from a kept state (inf to it).
  const std::vector<int> index = calc.numbering().ReducedIndices(calc.dim());
  std::string line;
  for (int r : index) {
    line.clear();
    if (r < 0) {
      for (size_t j = 0; j < index.size(); ++j) AppendG(line, kNaN);
    } else {
      const double* row = &times[static_cast<size_t>(r) * n];
      for (int c : index) AppendG(line, c < 0 ? kInf : row[c]);
    }
    line.push_back('\n');
    fwrite(line.data(), 1, line.size(), out);
  }
  if (out == stderr) fputs("---\n", out);
}

void MxWriteAbsorbingTimes(const Calc& calc, const std::vector<double>& times, FILE* out) {
  const bool framed = out == stderr;
  if (framed) fprintf(out, "%s:\n", "Absorbing times: ");
  // In input numbering: the absorbing state stays last, so the transient
  // states are all input states but that one; removed ones print nan.
  std::vector<double> x(times);
  x.push_back(0.0);
  const std::vector<double> input_x = calc.numbering().ToInputNumbering(x.data(), calc.dim(), kNaN);
  std::string line;
  for (size_t k = 0; k + 1 < input_x.size(); ++k) AppendG(line, input_x[k]);
  line += framed ? "\n---\n" : "\n";
  fwrite(line.data(), 1, line.size(), out);
}

std::optional<std::vector<double>> MxFirstPassageTo(const Calc& calc, const std::vector<double>& U,
                                                    int target) {
  const size_t n = static_cast<size_t>(calc.dim());
  return FirstPassageToStage(calc, target, [&](std::vector<double>& times) {
    return FirstPassageTimesTo(Rates(U, n, n), static_cast<size_t>(target), times);
  });
}

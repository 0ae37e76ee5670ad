// The transition matrix U: Arrhenius rates over the tree of minima (method A)
// or a given rate matrix (method I), the optional absorbing state, and the
// diagonal that makes every column conserve probability.
#include "calc/model/transition_matrix.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <utility>
#include <vector>

#include "base/status.h"
#include "calc/model/calc.h"
#include "calc/model/degeneracy.h"
#include "calc/model/matrix_files.h"

namespace {

double Join(const QorpRecord& r) { return r.energy + r.saddle_height; }

}  // namespace

// The saddle walks trust father and index as 1-based array positions with
// fathers numbered below their children; anything else would send them out
// of the array or round in circles.
Status CheckTreeOfMinima(const std::vector<QorpRecord>& records, int n) {
  for (int k = 1; k <= n; ++k) {
    const QorpRecord& r = records[k - 1];
    if (r.index != k) {
      return Failure(1, "ERROR: local minimum %d is numbered %d in the qorp file\n", k, r.index);
    }
    if (k >= 2 && (r.father < 1 || r.father >= k)) {
      return Failure(1, "ERROR: local minimum %d has father %d, which is not one of 1..%d\n", k,
                     r.father, k - 1);
    }
  }
  return Status{};
}

namespace {

// saddle[j] = highest joining saddle on the tree path from `source` to j, for
// every j != source, in one pass: minimum k >= 2 joins father(k) < k through
// join(k). Climbing from the source settles its ancestors; any other j is
// reached through the edge father(j)-j, so ascending order sees father(j)
// first. The maximum of a set does not depend on the order it is taken in,
// so this equals the recursive definition exactly.
void SaddlesFrom(int source, const std::vector<QorpRecord>& records, int n,
                 std::vector<double>& saddle, std::vector<char>& on_path) {
  std::fill(on_path.begin(), on_path.end(), 0);
  on_path[source] = 1;
  double highest = 0.0;
  bool first = true;
  for (int k = source; k > 0;) {
    const double join = Join(records[k]);
    highest = (first || join > highest) ? join : highest;
    first = false;
    k = records[k].father - 1;
    saddle[k] = highest;
    on_path[k] = 1;
  }
  for (int j = 1; j < n; ++j) {
    if (on_path[j]) continue;
    const int f = records[j].father - 1;
    const double join = Join(records[j]);
    saddle[j] = (f == source || join > saddle[f]) ? join : saddle[f];
  }
}

}  // namespace

void MethodARatesInto(int target, const std::vector<QorpRecord>& records, int n, double kT,
                      double* row, std::vector<double>& saddle, std::vector<char>& on_path) {
  SaddlesFrom(target, records, n, saddle, on_path);
  for (int j = 0; j < n; ++j) {
    if (j != target) row[j] = exp(-(saddle[j] - records[j].energy) / kT);
  }
}

Status MxQorp2Matrix(Calc& calc, const std::vector<QorpRecord>* records,
                     std::vector<double>&& rates, std::vector<double>& U) {
  // D is sized by the number of minima: validate the tree before trusting it.
  if (calc.opts.method == 'A' && records != nullptr) {
    if (Status status = CheckTreeOfMinima(*records, calc.dim()); !status.ok()) return status;
  }
  if (calc.opts.degeneracy) {
    std::vector<double> D;  // only printed
    if (Status status = MxAddDegeneracy(calc, D); !status.ok()) return status;
  }

  Status status;
  switch (calc.opts.method) {
    case 'I':
      status = MxMethodI(calc, records, std::move(rates), U);
      break;
    case 'A':
      if (records == nullptr) {
        return Failure(1, "ERROR: method A needs the local minima of a qorp file\n");
      }
      status = MxMethodA(calc, *records, U);
      break;
    default:
      return Failure(1, "ERROR in MxQorp2Matrix(): No handler 4 method %c\n", calc.opts.method);
  }
  if (!status.ok()) return status;

  if (calc.opts.dumpU) {
    if (status = MxASCIIWrite(calc, U.data(), "U.txt"); !status.ok()) return status;
    status = MxBinWrite(calc, U.data(), "U", 'm');
  }
  return status;
}

namespace {

// Appends the absorbing state as the new last state: its only entry is the
// rate `rate` from minimum `a` (1-based) into it; nothing leaves it. Renumbers
// calc (one more state, naming the absorbing state and the absorbed minimum), and
// prints the two messages (never silenced).
std::vector<double> AppendAbsorbingState(Calc& calc, const std::vector<double>& U, int a,
                                         double rate) {
  const int n = calc.dim();
  const int n1 = n + 1;
  StateNumbering numbering = calc.numbering();
  numbering.absorbed_minimum = a - 1;
  numbering.absorbing_state = n1;
  calc.Renumber(n1, std::move(numbering));
  fprintf(stderr, "dim increased to %i\n", n1);
  fprintf(stderr, "new absorbing lmin is: %i\n", calc.numbering().absorbing_state);

  std::vector<double> grown(static_cast<size_t>(n1) * n1, 0.0);
  for (int i = 0; i < n; ++i) {
    std::copy(U.begin() + static_cast<size_t>(i) * n, U.begin() + static_cast<size_t>(i + 1) * n,
              grown.begin() + static_cast<size_t>(i) * n1);
  }
  grown[static_cast<size_t>(n) * n1 + (a - 1)] = rate;
  return grown;
}

// The absorbed minimum (1-based) must be one of the n minima.
Status CheckAbsorbedMinimum(int a, int n) {
  if (a > n) return Failure(1, "ERROR: --absorb %d names no local minimum (there are %d)\n", a, n);
  return Status{};
}

}  // namespace

Status MxMethodA(Calc& calc, const std::vector<QorpRecord>& records, std::vector<double>& U) {
  const int n = calc.dim();
  if (static_cast<int>(records.size()) < n) {
    return Failure(1, "ERROR: %d local minima expected, %zu read\n", n, records.size());
  }
  if (Status status = CheckTreeOfMinima(records, n); !status.ok()) return status;
  if (calc.opts.absorb >= 1) {
    if (Status status = CheckAbsorbedMinimum(calc.opts.absorb, n); !status.ok()) return status;
  }

  // Row i holds the rates into i: U(i, j) = exp(-(S_ij - E_j)/kT). Filling
  // whole rows from one saddle pass per source keeps the work O(n^2) and the
  // writes contiguous.
  U.assign(static_cast<size_t>(n) * n, 0.0);
  std::vector<double> saddle(n, 0.0);
  std::vector<char> on_path(n, 0);
  for (int i = 0; i < n; ++i) {
    MethodARatesInto(i, records, n, calc.kT, U.data() + static_cast<size_t>(i) * n, saddle,
                     on_path);
  }

  if (calc.opts.absorb >= 1) {
    const int a = calc.opts.absorb;
    const double e = records[a - 1].energy;
    // exp(x - y) rather than exp(x) / exp(y): the same value wherever the
    // quotient was finite, and no inf / inf for energies far from 0.
    const double rate = exp(-e / calc.kT - (-e / calc.kT));
    U = AppendAbsorbingState(calc, U, a, rate);
    if (calc.opts.verbose) MxPrint(calc, U.data(), "aufgeblasene Matrix", 'm');
  }

  MxSetDiagonal(calc, U.data(), calc.dim());
  if (calc.opts.verbose) MxPrint(calc, U.data(), "U with Methode A", 'm');
  return Status{};
}

Status MxMethodI(Calc& calc, const std::vector<QorpRecord>* records, std::vector<double>&& rates,
                 std::vector<double>& U) {
  const int n = calc.dim();
  // Taken over: released when this function returns.
  std::vector<double> input = std::move(rates);
  if (input.size() != static_cast<size_t>(n) * n) {
    return Failure(1, "ERROR: rate matrix of order %d expected, %zu rates given\n", n,
                   input.size());
  }
  if (calc.opts.absorb >= 1) {
    if (Status status = CheckAbsorbedMinimum(calc.opts.absorb, n); !status.ok()) return status;
    if (records == nullptr || static_cast<int>(records->size()) < calc.opts.absorb) {
      return Failure(1, "ERROR: the absorbing state needs the local minima of a qorp file\n");
    }
  }
  if (calc.opts.verbose) MxPrint(calc, input.data(), "Input Matrix", 'm');

  if (calc.opts.absorb >= 1) {
    const int a = calc.opts.absorb;
    const QorpRecord& r = (*records)[a - 1];
    // As one exponential: both parts alone leave the range of a double for
    // energies of a few hundred kcal/mol.
    const double rate = exp(-r.energy / calc.kT - (-r.free_energy / calc.kT));
    U = AppendAbsorbingState(calc, input, a, rate);
  } else {
    U = std::move(input);
  }

  MxSetDiagonal(calc, U.data(), calc.dim());
  if (calc.opts.verbose) MxPrint(calc, U.data(), "U with Methode I", 'm');
  return Status{};
}

void MxSetDiagonal(const Calc& calc, double* U, int n) {
  // Column sums are accumulated row by row: the same increasing row order per
  // column as a column walk, but over contiguous memory.
  std::vector<double> sum(n, 0.0);
  for (int i = 0; i < n; ++i) {
    double* row = U + static_cast<size_t>(i) * n;
    row[i] = 0.0;
    for (int j = 0; j < n; ++j) sum[j] += row[j];
  }
  const double base = calc.opts.useplusI ? 1.0 : 0.0;
  for (int j = 0; j < n; ++j) U[static_cast<size_t>(j) * n + j] = base - sum[j];
}

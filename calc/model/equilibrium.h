// The equilibrium distribution p8, written once for every scalar type T: the
// Boltzmann weights of the minima (method A) and the walk of local balance on
// U (method I). The double path (calc/model/distributions.cc) runs first and
// refuses every input that has no equilibrium; the extended pipeline repeats
// the arithmetic in T.
#ifndef ZOLVANE_CALC_MODEL_EQUILIBRIUM_H_
#define ZOLVANE_CALC_MODEL_EQUILIBRIUM_H_

#include <cmath>
#include <cstdio>
#include <vector>

#include "base/exit_status.h"
#include "base/status.h"
#include "calc/model/calc.h"
#include "calc/model/distributions.h"
#include "input/qorp_file.h"

// p8[i] = exp(-(E_i - E_0) / kT) / Z for the first n of `records` (n >= 1,
// records.size() >= n), Z the sum of the weights; weights relative to the
// first minimum keep the exponentials in range. With `flat_at_infinite_kT`
// an infinite kT makes every weight 1 without the division, as -x / inf = -0
// does in double for finite x: libqd's division by infinity gives NaN, and
// GMP cannot hold the infinity at all.
template <class T, class Weights>
void BoltzmannWeights(const std::vector<QorpRecord>& records, int n, double kT,
                      bool flat_at_infinite_kT, Weights& p8) {
  using std::exp;
  const T e0(records[0].energy);
  const bool flat = flat_at_infinite_kT && std::isinf(kT);
  const T t_kT(flat ? 1.0 : kT);
  T z(0);
  for (int i = 0; i < n; ++i) {
    p8[i] = flat ? T(1) : exp(-(T(records[i].energy) - e0) / t_kT);
    z += p8[i];
  }
  const T inv_z = T(1) / z;
  for (int i = 0; i < n; ++i) p8[i] *= inv_z;
}

// The walk of local balance, unnormalised, into p8 (n zeros on entry):
// p8[0] = 1, and from each state c in turn (0 first, then the lowest-numbered
// state with a weight that was not walked from yet) every state j >= 1
// without a weight that c is entered from (U(c, j) > 0) gets
// p8[j] = U(j, c) p8[c] / U(c, j), so that the flows c -> j and j -> c
// balance. lines(c) gives U's rates at c as RatesAtState. Ends when
// every state has a weight or no state is left to walk from.
//
// kChecked is the double path, which judges the input: a state has a weight
// once p8[j] > 0 (a weight that underflowed to 0 may come again from another
// state), U(j, c) = 0 fails (no balance), so does a state that the walk
// cannot reach (a chain that is not ergodic: p8 is printed, the failure has
// no message of its own), and a weight outside (0, 1] is reported with p8
// printed through `calc`. Otherwise (a repeat of what the double path
// accepted) every state it reached has a weight, a pair with U(j, c) = 0 is
// passed over, and the walk never fails.
template <class T, bool kChecked, class Lines, class Weights>
Status BalanceWalk(const Calc& calc, int n, const Lines& lines, Weights& p8) {
  if (n < 1) return Status{};
  const size_t nn = static_cast<size_t>(n);
  std::vector<char> assigned(nn, 0), visited(nn, 0);
  p8[0] = T(1);
  assigned[0] = 1;
  auto has_weight = [&](int j) {
    if constexpr (kChecked) {
      return p8[j] > T(0);
    } else {
      return assigned[static_cast<size_t>(j)] != 0;
    }
  };
  int count = 1;
  int c = 0;
  while (count < n && c < n) {
    const RatesAtState line = lines(c);
    for (int j = 1; j < n; ++j) {
      const double into = line.into[j * line.into_stride];  // U(c, j)
      if (has_weight(j) || !(into > 0)) continue;
      const double out_of = line.out_of[j * line.out_stride];  // U(j, c)
      if (out_of == 0) {
        if constexpr (kChecked) {
          return Failure(1, "Local balance is unsatisfiable at U[%d][%d]=%f\n", c, j, into);
        }
        continue;
      }
      // Flow c -> j balances flow j -> c.
      p8[j] = T(out_of) * p8[c] / T(into);
      assigned[static_cast<size_t>(j)] = 1;
      ++count;
      if constexpr (kChecked) {
        if (p8[j] > 1 || p8[j] <= 0) {
          fprintf(stderr, "Weird eqilibrium pop for state %d", j);
          MxPrint(calc, p8.data(), "p8 (local balance)", 'v');
        }
      }
    }
    visited[static_cast<size_t>(c)] = 1;
    int next = n;
    for (int j = 1; j < n; ++j) {
      if (!visited[static_cast<size_t>(j)] && has_weight(j)) {
        next = j;
        break;
      }
    }
    c = next;
    if constexpr (kChecked) {
      if (c == n && count < n) {
        fputs("non-ergodic chain\n", stderr);
        MxPrint(calc, p8.data(), "p8 (local balance)", 'v');
        return Status{kExitError, ""};
      }
    }
  }
  return Status{};
}

#endif  // ZOLVANE_CALC_MODEL_EQUILIBRIUM_H_

// The last step of the symmetrisation S = P^-1/2 U P^1/2 (P = diag(p8)),
// written once for every scalar type. Rounding leaves S slightly asymmetric,
// and the symmetric solvers read one triangle only, so each pair of entries
// becomes its mean; the total moved is reported, and NaN (rates or weights
// that do not fit together) fails the stage with every pair that met it listed.
#ifndef ZOLVANE_CALC_SPECTRUM_SYMMETRIZE_H_
#define ZOLVANE_CALC_SPECTRUM_SYMMETRIZE_H_

#include <cmath>
#include <limits>
#include <vector>

#include "base/run_options.h"
#include "base/status.h"
#include "calc/model/scalar_traits.h"
#include "calc/spectrum/eigen_checks.h"

// `s(i, j)` is a reference to S(i, j) of the n x n S. Pairs are taken row by
// row over the upper triangle, the order of their warnings; then
// EndSymmetryCorrection reports the sum of |mean - S(i, j)|, or fails when a
// pair gave NaN. `weightless` is empty, or marks (1) the states whose
// weight is not positive for a type that cannot form the NaN such a state
// gives in IEEE arithmetic (GMP): their pairs are reported as NaN pairs and
// left alone.
template <class T, class Entry>
Status SymmetrizeAndReport(const RunOptions& opts, int n, Entry&& s,
                           const std::vector<char>& weightless) {
  using std::abs;
  using std::isnan;
  T err(0);
  bool nan = false;
  for (int i = 0; i < n; ++i) {
    for (int j = i; j < n; ++j) {
      if (!weightless.empty() &&
          (weightless[static_cast<size_t>(i)] || weightless[static_cast<size_t>(j)])) {
        // Negative, as the NaN of 0 * inf is on x86.
        const double nan_d = -std::numeric_limits<double>::quiet_NaN();
        WarnWeirdRates(i, j, nan_d, nan_d);
        nan = true;
        continue;
      }
      T& sij = s(i, j);
      T& sji = s(j, i);
      const T mean = (sij + sji) * T(0.5);
      const T f = mean - sij;
      if (isnan(f)) {
        WarnWeirdRates(i, j, ScalarTraits<T>::ToDouble(sij), ScalarTraits<T>::ToDouble(sji));
        nan = true;
      }
      sij = mean;
      sji = mean;
      err += abs(f);
    }
  }
  const double err_d =
      nan ? std::numeric_limits<double>::quiet_NaN() : ScalarTraits<T>::ToDouble(err);
  return EndSymmetryCorrection(opts, n, err_d, nan || std::isnan(err_d));
}

#endif  // ZOLVANE_CALC_SPECTRUM_SYMMETRIZE_H_

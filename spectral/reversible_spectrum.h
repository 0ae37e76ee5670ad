// The spectrum of a reversible chain to full accuracy in double precision:
// the subtraction-free factor -S = scale * X X^T (spectral/gth_factor.h) and
// the one-sided Jacobi on the columns of X (spectral/one_sided_jacobi.h).
// LAPACK's symmetric solvers on S lose the slow relaxations of a stiff
// landscape (absolute error eps * |S|); this path keeps every eigenvalue to a
// few ulps relative and the eigenvectors' small components with them.
#ifndef ZOLVANE_SPECTRAL_REVERSIBLE_SPECTRUM_H_
#define ZOLVANE_SPECTRAL_REVERSIBLE_SPECTRUM_H_

#include <functional>
#include <vector>

#include "spectral/gth_factor.h"
#include "spectral/one_sided_jacobi.h"

struct ReversibleSpectrum {
  // n eigenvalues of S = P^-1/2 U P^1/2 (P = diag(p8)), descending;
  // evals[0] = 0 exactly (the stationary mode). Ties keep their order
  // (stable sort), the stationary mode first.
  std::vector<double> evals;
  // n x n row-major; column k (evecs[i * n + k]) is the orthonormal
  // eigenvector of S for evals[k]; column 0 = sqrt(p8) / |sqrt(p8)|.
  std::vector<double> evecs;
  std::vector<double> p8;  // equilibrium, sums to 1
  int sweeps = 0;          // Jacobi sweeps used
};

struct SpectrumOptions {
  JacobiOptions jacobi;
  int gth_block = 64;  // panel width of the factorisation
};

// `u`: n x n (n >= 0) row-major in the program's convention, element (i, j), i != j,
// the rate j -> i; the diagonal is ignored (any value, the --useplusI shift
// included). `u` is taken as work space: on return its contents are
// undefined (the caller frees or refills it). Memory beside u: the n x n
// evecs and O(n * block) more: at most 2 n^2 doubles with u.
// Returns kOk; kSweepCapHit (the result is filled from the last sweep, its
// small components may be off); kReducible (no result); kNotFinite for NaN,
// infinite or negative rates (no result; u untouched). Whether the rates obey
// detailed balance is the caller's to check: on other rates the result is
// well defined (the spectrum of the factor of the symmetrised rates) but is
// not the spectrum of U; p8 is right for any irreducible chain.
SpectrumStatus ComputeReversibleSpectrum(int n, std::vector<double>& u, ReversibleSpectrum& out,
                                         const SpectrumOptions& options = {});

// A chain whose last state absorbs: U = [T 0; l^T 0] with the leak l (the
// rates into the last state) on the diagonal of the transient block T. When
// the transient rates obey detailed balance, T = P^1/2 S P^-1/2 with S
// symmetric negative definite (P = diag(p), p the transient equilibrium
// without the leak), and the factor of S is that of the whole chain with the
// sink eliminated last.
struct AbsorbingSpectrum {
  // n eigenvalues of U, descending: evals[0] = 0 exactly, the absorbing
  // state's own mode; then the n-1 eigenvalues of T, all negative.
  std::vector<double> evals;
  // n x n row-major; column k (evecs[i * n + k]) is the right eigenvector of
  // U for evals[k], of unit length. Column 0 is the unit vector of the
  // absorbing state. Column k > 0 is v = P^1/2 w (w the orthonormal
  // eigenvector of S) on the transient states and a = l^T v / evals[k] on the
  // absorbing one: what the mode carries there, formed from the leaking
  // states alone (a product for a single leak) rather than as the
  // cancelling -sum(v).
  std::vector<double> evecs;
  // p: the transient equilibrium without the leak, sums to 1, 0 at the
  // absorbing state. Left eigenvector k > 0 is (v / p, 0) up to a factor
  // (the eigenvectors of T are orthogonal in the 1/p-weighted product);
  // that of evals[0] is all ones.
  std::vector<double> weights;
  int sweeps = 0;  // Jacobi sweeps used
};

// `u`: n x n (n >= 2) row-major as for ComputeReversibleSpectrum; its last
// state is the absorbing one and no rate leaves it (the caller sees to
// that). Taken as work space. Detailed balance of the transient rates is the
// caller's to check: `accept` gets the weights as soon as the factor has
// them, before the costly Jacobi, and returning false ends the call with
// kRejected. Returns kOk, kSweepCapHit (filled from the last sweep),
// kRejected, kReducible (the transient states do not form one irreducible
// chain, or nothing reaches the absorbing state) or kNotFinite (u untouched);
// no result but on the first two.
SpectrumStatus ComputeAbsorbingSpectrum(
    int n, std::vector<double>& u, AbsorbingSpectrum& out,
    const std::function<bool(const std::vector<double>& weights)>& accept,
    const SpectrumOptions& options = {});

#endif  // ZOLVANE_SPECTRAL_REVERSIBLE_SPECTRUM_H_

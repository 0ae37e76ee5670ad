// Dense kernels on n x n row-major matrices (entry (i, j) at i*n + j): an
// in-place inverse with partial pivoting and a relative singularity threshold,
// the BLAS product, transposition, the square-root scalings and the Pade
// matrix exponential.
#ifndef ZOLVANE_MATRIX_DENSE_H_
#define ZOLVANE_MATRIX_DENSE_H_

#include <cstddef>
#include <vector>

#include "base/status.h"

// Replaces `a` by its inverse. Returns 0, or -1 when a pivot falls below
// feps times the largest pivot so far (then `a` holds a partial state).
// Callers that use the result must stop the run on -1.
int MxInverse(double* a, int n, double feps);

// A LAPACK routine refused one of our arguments (INFO < 0): a fault of this
// program, not of the input. Ends the run saying so.
[[noreturn]] void LapackArgumentBug(const char* routine, int info);

// Row-major C (m x n) = A (m x k) * B (k x n), through BLAS dgemm.
void MxGemm(int m, int n, int k, const double* a, const double* b, double* c);

// The diagonal scalings of a detailed-balance matrix: sqrt_p[i] = sqrt(p[i])
// and inv_sqrt_p[i] = 1 / sqrt_p[i] for the first n entries of p (both
// resized to n). A zero in p gives an infinite inverse, left to the caller.
void MxSqrtScalings(const std::vector<double>& p, size_t n, std::vector<double>& sqrt_p,
                    std::vector<double>& inv_sqrt_p);

// Eigenvalues of U + I, as --useplusI computes them, back to those of U.
void MxRemovePlusIShift(std::vector<double>& evals);

// Transposes the n x n matrix `a` in place, tile by tile so that both the
// rows read and the columns written stay in cache.
void MxTransposeInPlace(double* a, int n);

// out = exp(a) by the diagonal Pade approximant of even `degree` with scaling
// and squaring; `a` is unchanged and `out` must not alias it. Fails when the
// Pade denominator cannot be inverted.
Status MxExponential(const double* a, double* out, int n, int degree, double feps);

// Work matrices of MxExponential (and of the solve inside it), sized on
// first use. A caller evaluating many exponentials of one order keeps one of
// these across the calls instead of allocating them each time.
struct ExponentialWork {
  std::vector<double> b, x, p, t;  // n x n each
  std::vector<double> lu;
  std::vector<int> pivots;
};
Status MxExponential(const double* a, double* out, int n, int degree, double feps,
                     ExponentialWork& work);

#endif  // ZOLVANE_MATRIX_DENSE_H_

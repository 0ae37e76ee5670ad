// One-sided (Hestenes) Jacobi: rotates pairs of columns of X until all are
// mutually orthogonal. Then X = U Sigma with orthonormal U, so X X^T =
// U Sigma^2 U^T: the eigen-decomposition of X X^T without ever forming it,
// which keeps the small eigenvalues of a stiff generator to full relative
// accuracy.
#ifndef ZOLVANE_SPECTRAL_ONE_SIDED_JACOBI_H_
#define ZOLVANE_SPECTRAL_ONE_SIDED_JACOBI_H_

// When a pair of columns counts as orthogonal.
enum class JacobiStop {
  // |x_p . x_q| <= tol * sum_i |x_ip x_iq|: the product is at the rounding
  // level of its own terms. Needed for the small components of the columns
  // (the eigenvectors' tails that the populations multiply by
  // sqrt(p_i / p_j)); default tol = m * eps.
  kComponentwise,
  // |x_p . x_q| <= tol * |x_p| |x_q| as LAPACK's Jacobi drivers test;
  // default tol = sqrt(m) * eps. Right eigenvalues, but small components off
  // by up to 1e-4 on stiff input: kept to show that difference.
  kNormwise,
};

struct JacobiOptions {
  JacobiStop stop = JacobiStop::kComponentwise;
  double tol = 0.0;     // 0: the default of `stop`
  int max_sweeps = 30;  // 5 to 8 are usual
  // Columns per block. Blocked sweeps (k > block > 1) run on BLAS-3
  // products, with O(m * block) doubles of scratch per thread; block = 1 or
  // a small X: the plain cyclic sweep, pair by pair.
  int block = 32;
  // Blocked sweeps start from the columns in descending order of their
  // norms (fewer sweeps on stiff landscapes). A caller that runs the sweeps
  // on pairs of blocks and needs its columns to stay in their blocks when
  // nothing rotates turns this off.
  bool sort_columns = true;
};

struct JacobiResult {
  int sweeps = 0;  // sweeps run, including the last one that found nothing to rotate
  bool converged = false;
};

// X: m x k column-major with leading dimension ld >= m, overwritten by U
// (orthonormal columns; a column that is exactly zero stays zero); sigma
// (k values) receives the singular values, the norms of the rotated columns,
// in column order (unsorted). On a sweep cap the last iterate is returned
// with converged = false.
JacobiResult OneSidedJacobi(int m, int k, double* x, int ld, double* sigma,
                            const JacobiOptions& options = {});

// OneSidedJacobi in its two parts. The sweeps leave the columns rotated but
// not normalised (their norms are the singular values): a parallel sweep
// runs them on one pair of column blocks at a time, with result.sweeps == 1
// and converged when the pair needed no rotation. Then the normalisation
// gives sigma and U as OneSidedJacobi does.
JacobiResult OneSidedJacobiSweeps(int m, int k, double* x, int ld, const JacobiOptions& options);
void NormalizeJacobiColumns(int m, int k, double* x, int ld, double* sigma);

#endif  // ZOLVANE_SPECTRAL_ONE_SIDED_JACOBI_H_

// Fortran BLAS and LAPACK prototypes (OpenBLAS). Every argument is passed by
// reference and matrices are column-major: our row-major n x n buffer A is A^T
// to these routines. Character arguments carry Fortran's hidden length
// arguments at the end of the list.
#ifndef ZOLVANE_MATRIX_LAPACK_H_
#define ZOLVANE_MATRIX_LAPACK_H_

#include <cstddef>

extern "C" {

double dlamch_(const char* cmach, size_t cmach_len);

// LAPACK's report of an argument it rejects; matrix/dense.cc defines it, to
// keep the report off standard output.
void xerbla_(const char* name, const int* info, size_t name_len);

void dgemm_(const char* transa, const char* transb, const int* m, const int* n, const int* k,
            const double* alpha, const double* a, const int* lda, const double* b, const int* ldb,
            const double* beta, double* c, const int* ldc, size_t transa_len, size_t transb_len);

void dsyrk_(const char* uplo, const char* trans, const int* n, const int* k, const double* alpha,
            const double* a, const int* lda, const double* beta, double* c, const int* ldc,
            size_t uplo_len, size_t trans_len);

void dgemv_(const char* trans, const int* m, const int* n, const double* alpha, const double* a,
            const int* lda, const double* x, const int* incx, const double* beta, double* y,
            const int* incy, size_t trans_len);

void dgetrf_(const int* m, const int* n, double* a, const int* lda, int* ipiv, int* info);

void dgetri_(const int* n, double* a, const int* lda, const int* ipiv, double* work,
             const int* lwork, int* info);

void dgetrs_(const char* trans, const int* n, const int* nrhs, const double* a, const int* lda,
             const int* ipiv, double* b, const int* ldb, int* info, size_t trans_len);

void dsyevr_(const char* jobz, const char* range, const char* uplo, const int* n, double* a,
             const int* lda, const double* vl, const double* vu, const int* il, const int* iu,
             const double* abstol, int* m, double* w, double* z, const int* ldz, int* isuppz,
             double* work, const int* lwork, int* iwork, const int* liwork, int* info,
             size_t jobz_len, size_t range_len, size_t uplo_len);

void dsyevd_(const char* jobz, const char* uplo, const int* n, double* a, const int* lda, double* w,
             double* work, const int* lwork, int* iwork, const int* liwork, int* info,
             size_t jobz_len, size_t uplo_len);

void dgeevx_(const char* balanc, const char* jobvl, const char* jobvr, const char* sense,
             const int* n, double* a, const int* lda, double* wr, double* wi, double* vl,
             const int* ldvl, double* vr, const int* ldvr, int* ilo, int* ihi, double* scale,
             double* abnrm, double* rconde, double* rcondv, double* work, const int* lwork,
             int* iwork, int* info, size_t balanc_len, size_t jobvl_len, size_t jobvr_len,
             size_t sense_len);

}  // extern "C"

#endif  // ZOLVANE_MATRIX_LAPACK_H_

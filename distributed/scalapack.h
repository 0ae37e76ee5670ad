// The BLACS and ScaLAPACK entry points the distributed run calls. The
// libraries ship no C header: the Fortran routines take every argument by
// reference, the BLACS grid routines have a C interface of their own.
#ifndef ZOLVANE_DISTRIBUTED_SCALAPACK_H_
#define ZOLVANE_DISTRIBUTED_SCALAPACK_H_

extern "C" {
void Cblacs_get(int context, int what, int* value);
void Cblacs_gridinit(int* context, const char* order, int nprow, int npcol);
void Cblacs_gridinfo(int context, int* nprow, int* npcol, int* myrow, int* mycol);
void Cblacs_gridexit(int context);

int numroc_(const int* n, const int* nb, const int* iproc, const int* isrcproc, const int* nprocs);
void descinit_(int* desc, const int* m, const int* n, const int* mb, const int* nb,
               const int* irsrc, const int* icsrc, const int* ictxt, const int* lld, int* info);

// C = beta * C + alpha * A^T (distributed transpose).
void pdtran_(const int* m, const int* n, const double* alpha, const double* a, const int* ia,
             const int* ja, const int* desca, const double* beta, double* c, const int* ic,
             const int* jc, const int* descc);
// B(ib.., jb..) <- A(ia.., ja..), m x n, between any two layouts; ictxt
// spans every process of both.
void pdgemr2d_(const int* m, const int* n, const double* a, const int* ia, const int* ja,
               const int* desca, double* b, const int* ib, const int* jb, const int* descb,
               const int* ictxt);
// Swaps two distributed vectors (here: two rows or two columns of a matrix).
void pdswap_(const int* n, double* x, const int* ix, const int* jx, const int* descx,
             const int* incx, double* y, const int* iy, const int* jy, const int* descy,
             const int* incy);
// Eigenvalues (ascending) and eigenvectors of a symmetric matrix, divide and
// conquer.
void pdsyevd_(const char* jobz, const char* uplo, const int* n, double* a, const int* ia,
              const int* ja, const int* desca, double* w, double* z, const int* iz, const int* jz,
              const int* descz, double* work, const int* lwork, int* iwork, const int* liwork,
              int* info);
}

#endif  // ZOLVANE_DISTRIBUTED_SCALAPACK_H_

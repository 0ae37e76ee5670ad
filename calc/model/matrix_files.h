// The files through which matrices and vectors of a run leave it (--dumpU,
// --dumpE, --dumpX, -M) and the reader of the binary ones, which --recoverE
// uses (calc/spectrum/stored_decomposition.h). Every matrix is dim x dim and
// every vector dim long, dim = calc.dim().
#ifndef ZOLVANE_CALC_MODEL_MATRIX_FILES_H_
#define ZOLVANE_CALC_MODEL_MATRIX_FILES_H_

#include <vector>

#include "base/status.h"
#include "calc/model/calc.h"

// The writers fail when the file cannot be opened or written (what they
// wrote so far stays on disk). Binary: <label>.bin, type 'm' (matrix) or 'v'
// (vector).
Status MxBinWrite(const Calc& calc, const double* data, const char* label, char type);
// Sets n to the dimension stored in label.bin; `out` receives n or n*n
// values (none when n differs from dim, which the caller rejects). Fails
// when the file cannot be opened or read, or holds a bad dimension.
Status MxBinRead(const Calc& calc, std::vector<double>& out, const char* label, char type, int& n);
Status MxASCIIWrite(const Calc& calc, const double* matrix, const char* filename);
Status MxASCIIWriteV(const Calc& calc, const double* vector, const char* filename);
Status MxMathematicaWrite(const Calc& calc, const double* matrix);

#endif  // ZOLVANE_CALC_MODEL_MATRIX_FILES_H_

// Diagnostic printers for dense matrices and vectors.
#ifndef ZOLVANE_MATRIX_MX_PRINT_H_
#define ZOLVANE_MATRIX_MX_PRINT_H_

#include <cstdio>

// Prints an n x n matrix (type 'm') or an n-vector (type 'v') with "%15.7g "
// entries; framed with a "%s:\n" label line and closing dashes unless plain.
// Any other type prints an error line and nothing else.
void MxPrintN(const double* values, const char* label, char type, int n, FILE* stream, bool plain);

// Prints a rows x columns matrix as nested braces with each entry's flat index.
void MxPrintBraced(const double* values, const char* label, int rows, int columns, FILE* stream);

#endif  // ZOLVANE_MATRIX_MX_PRINT_H_

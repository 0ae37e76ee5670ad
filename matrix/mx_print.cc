// Text printers for the diagnostic dumps of matrices and vectors (verbose
// output, failure reports, first passage times written to a file).
#include "matrix/mx_print.h"

void MxPrintN(const double* values, const char* label, char type, int n, FILE* stream, bool plain) {
  switch (type) {
    case 'v':
      if (!plain) fprintf(stream, "%s:\n", label);
      for (int i = 0; i < n; ++i) fprintf(stream, "%15.7g ", values[i]);
      fputs(plain ? "\n" : "\n---\n", stream);
      break;
    case 'm':
      if (!plain) fprintf(stream, "%s:\n", label);
      for (int i = 0; i < n; ++i) {
        const double* row = values + static_cast<size_t>(i) * n;
        for (int j = 0; j < n; ++j) fprintf(stream, "%15.7g ", row[j]);
        fputc('\n', stream);
      }
      if (!plain) fputs("---\n", stream);
      break;
    default:
      fprintf(stream, "ERROR MxPrint(): no handler 4 type %c\n", type);
  }
}

void MxPrintBraced(const double* values, const char* label, int rows, int columns, FILE* stream) {
  fprintf(stream, "%s:{\n", label);
  for (int r = 0; r < rows; ++r) {
    if (r > 0) fputc(',', stream);
    fputc('{', stream);
    for (int c = 0; c < columns; ++c) {
      int k = r * columns + c;
      if (c > 0) fputc(',', stream);
      fprintf(stream, "%15.7g (%4d) ", values[k], k);
    }
    fputs("}\n", stream);
  }
  fputs("}-----------\n", stream);
}

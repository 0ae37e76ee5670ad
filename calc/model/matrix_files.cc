// Files through which matrices and vectors leave the run (binary, plain text,
// nested-brace lists), and the reader of the binary ones.
// Binary files: int32 n, then n (vector) or n*n (matrix, row by row) doubles,
// native byte order, no type tag.
#include "calc/model/matrix_files.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "base/status.h"
#include "calc/model/calc.h"
#include "matrix/dense.h"
#include "matrix/number_text.h"

namespace {

// Lines of a matrix text file formatted in one pass over the matrix.
constexpr size_t kLinesPerPass = 32;

// Largest n whose n*n still fits the 32-bit value count of a matrix file.
constexpr int32_t kMaxMatrixDim = 46340;

Status CloseWritten(FILE* f, const std::string& name, const char* what) {
  bool failed = ferror(f) != 0;
  if (fclose(f) != 0) failed = true;
  if (failed) return Failure(1, "ERROR: could not write %s %s\n", what, name.c_str());
  return Status{};
}

}  // namespace

Status MxBinWrite(const Calc& calc, const double* data, const char* label, char type) {
  std::string name = std::string(label) + ".bin";
  if (!calc.opts.quiet) fprintf(stderr, "MxBinWrite: writing %s to %s\n", label, name.c_str());
  FILE* f = fopen(name.c_str(), "wb");
  if (f == nullptr) {
    return Failure(1, "ERROR: could not open file pointer for binary outfile %s\n", name.c_str());
  }
  int32_t n = calc.dim();
  fwrite(&n, sizeof n, 1, f);
  size_t count;
  if (type == 'm') {
    count = static_cast<size_t>(n) * n;
  } else if (type == 'v') {
    count = static_cast<size_t>(n);
  } else {
    // The file stays as far as it got (its count), as when the run ended here.
    fclose(f);
    return Failure(1, "ERROR MxBinWrite(): no handler for type %c\n", type);
  }
  fwrite(data, sizeof(double), count, f);
  return CloseWritten(f, name, "binary outfile");
}

namespace {

// The values of an open binary file after its count n (already read), when n
// is the expected dimension.
Status ReadBinValues(FILE* f, const std::string& name, int32_t n, char type,
                     std::vector<double>& out) {
  size_t count = type == 'm' ? static_cast<size_t>(n) * n : static_cast<size_t>(n);
  out.assign(count, 0.0);
  const size_t got = fread(out.data(), 1, count * sizeof(double), f);
  if (got < count * sizeof(double)) {
    // Zeros in place of a lost tail would pass for a decomposition.
    if (ferror(f)) return Failure(1, "ERROR: cannot read %s: %s\n", name.c_str(), strerror(errno));
    return Failure(1, "ERROR: %s is truncated: %zu bytes expected, %zu found\n", name.c_str(),
                   sizeof n + count * sizeof(double), sizeof n + got);
  }
  return Status{};
}

}  // namespace

Status MxBinRead(const Calc& calc, std::vector<double>& out, const char* label, char type, int& n) {
  n = 0;
  out.clear();
  std::string name = std::string(label) + ".bin";
  fprintf(stderr, "MxBinRead: reading %s from %s\n", label, name.c_str());
  // "r+": the stored decomposition must also be writable, as when it was made.
  FILE* f = fopen(name.c_str(), "r+b");
  if (f == nullptr) {
    return Failure(1, "ERROR: could not open file pointer for    binary infile %s\n", name.c_str());
  }
  int32_t stored = 0;
  if (fread(&stored, sizeof stored, 1, f) != 1) stored = 0;
  Status status;
  if (type != 'm' && type != 'v') {
    status = Failure(1, "ERROR MxBinRead(): no handler for type %c\n", type);
  } else if (stored < 0 || (type == 'm' && stored > kMaxMatrixDim)) {
    status = Failure(1, "ERROR: MxBinRead(): bad dimension %d in %s\n", stored, name.c_str());
  } else if (stored == calc.dim()) {
    // A file of another dimension is rejected by the caller; do not allocate
    // storage for whatever a damaged header claims.
    status = ReadBinValues(f, name, stored, type, out);
  }
  fclose(f);
  if (status.ok()) n = stored;
  return status;
}

Status MxASCIIWrite(const Calc& calc, const double* matrix, const char* filename) {
  FILE* f = fopen(filename, "w");
  if (f == nullptr) return Failure(1, "could not open file pointer 4 ASCII outfile\n");
  const size_t nn = static_cast<size_t>(calc.dim());
  // One line per column: for evecs, one eigenvector per line. A band of
  // columns is formatted at once, so that the matrix is read row by row.
  const size_t field = FormatBound(15, 10) + 1;
  const size_t band = std::min(nn, kLinesPerPass);
  std::vector<char> text(band * (nn * field + 1));
  std::vector<char*> ends(band);
  for (size_t ib = 0; ib < nn; ib += band) {
    const size_t lines = std::min(band, nn - ib);
    for (size_t k = 0; k < lines; ++k) ends[k] = text.data() + k * (nn * field + 1);
    for (size_t r = 0; r < nn; ++r) {
      const double* row = matrix + r * nn + ib;
      for (size_t k = 0; k < lines; ++k) {
        ends[k] = FormatG(ends[k], row[k], 15, 10);
        *ends[k]++ = ' ';
      }
    }
    for (size_t k = 0; k < lines; ++k) {
      char* start = text.data() + k * (nn * field + 1);
      *ends[k]++ = '\n';
      fwrite(start, 1, static_cast<size_t>(ends[k] - start), f);
    }
  }
  if (!calc.opts.quiet) fprintf(stderr, "matrix written to ASCII file\n");
  return CloseWritten(f, filename, "ASCII outfile");
}

Status MxASCIIWriteV(const Calc& calc, const double* vector, const char* filename) {
  FILE* f = fopen(filename, "w");
  if (f == nullptr) return Failure(1, "could not open file pointer 4 ASCII outfile\n");
  std::vector<char> text(static_cast<size_t>(std::max(calc.dim(), 0)) * (FormatBound(15, 10) + 1));
  char* end = text.data();
  for (int i = 0; i < calc.dim(); ++i) {
    end = FormatG(end, vector[i], 15, 10);
    *end++ = ' ';
  }
  fwrite(text.data(), 1, static_cast<size_t>(end - text.data()), f);
  if (!calc.opts.quiet) fprintf(stderr, "vector written to ASCII file\n");
  return CloseWritten(f, filename, "ASCII outfile");
}

Status MxMathematicaWrite(const Calc& calc, const double* matrix) {
  FILE* f = fopen("mxMat.txt", "w");
  if (f == nullptr) return Failure(1, "could not open file pointer 4 Matematica outfile\n");
  const size_t nn = static_cast<size_t>(calc.dim());
  // Mathematica lists are rows of the matrix it builds: write our columns.
  fputc('{', f);
  for (size_t i = 0; i < nn; ++i) {
    fputc('{', f);
    for (size_t r = 0; r < nn; ++r) {
      fprintf(f, r + 1 < nn ? "%25.22f, " : "%25.22f}", matrix[r * nn + i]);
    }
    fputs(i + 1 < nn ? ",\n" : "}\n", f);
  }
  if (nn == 0) fputs("}\n", f);
  return CloseWritten(f, "mxMat.txt", "Matematica outfile");
}

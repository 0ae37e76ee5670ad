#include "distributed/dist_input.h"

#include <mpi.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <optional>

#include "base/fatal.h"
#include "calc/model/transition_matrix.h"
#include "distributed/scalapack.h"
#include "input/qorp_file.h"
#include "input/rates_file.h"
#include "input/read_line.h"

namespace {

void EmptyRatesFile(ProgramRecord& record) {
  release_command_line_args(record.args);
  Fatal(1, "ERROR: Rate file empty!\n");
}

// Every process reads the blocks it owns: a column of A is contiguous in the
// file, so each (column, block of rows) piece is one pread.
int ReadBinary(ProgramRecord& record, const ProcessGrid& grid, DistMatrix& a) {
  const RunOptions& opts = record.opts;
  InputContext ctx{opts};
  FILE* stream = ctx.ratesfile;
  if (stream == nullptr) {
    Fatal(1, "ERROR: Rates matrix (binary) file handle is either NULL or already closed!");
  }
  // Standard input reaches rank 0 only, and as a pipe: no process could seek.
  if (stream == stdin) {
    Fatal(1, "ERROR: the distributed run reads binary rates from a file named by --ratesfile\n");
  }
  const char* name = opts.ratesfile_name.c_str();
  const int fd = fileno(stream);
  int32_t n = 0;
  const ssize_t head = pread(fd, &n, sizeof n, 0);
  if (head < 0) Fatal(1, "ERROR: cannot read %s: %s\n", name, strerror(errno));
  if (head != static_cast<ssize_t>(sizeof n)) n = 0;
  if (n < 0 || static_cast<uint64_t>(n) * static_cast<uint64_t>(n) > UINT32_MAX) {
    Fatal(1, "ERROR: binary rates file announces %d states, which is out of range\n", n);
  }
  // As the serial reader: a file shorter than its count announces is refused.
  const uint64_t want = static_cast<uint64_t>(n) * static_cast<uint64_t>(n) * sizeof(double);
  struct stat st;
  if (n > 0 && fstat(fd, &st) == 0 && static_cast<uint64_t>(st.st_size) < sizeof n + want) {
    Fatal(1, "ERROR: %s is truncated: %llu bytes expected, %llu found\n", name,
          static_cast<unsigned long long>(sizeof n + want),
          static_cast<unsigned long long>(st.st_size));
  }
  if (n == 0) EmptyRatesFile(record);

  const int nb = BlockSize(n, grid);
  a = MakeDistMatrix(n, nb, grid);
  int failed = 0;
  for (int jl = 0; jl < a.local_cols && !failed; ++jl) {
    const int64_t c = a.GlobalCol(jl);
    for (int il = 0; il < a.local_rows; il += nb) {
      const int rows = std::min(nb, a.local_rows - il);
      const int64_t r = a.GlobalRow(il);
      char* into = reinterpret_cast<char*>(&a.At(il, jl));
      const size_t bytes = static_cast<size_t>(rows) * sizeof(double);
      const off_t offset = static_cast<off_t>(sizeof n + (c * n + r) * sizeof(double));
      const ssize_t got = pread(fd, into, bytes, offset);
      if (got != static_cast<ssize_t>(bytes)) {
        failed = got < 0 ? errno : -1;
        break;
      }
    }
  }
  // Any process's failure ends every process, with the serial messages.
  int first = 0;
  MPI_Allreduce(&failed, &first, 1, MPI_INT, MPI_MIN, MPI_COMM_WORLD);
  if (first == -1) Fatal(1, "ERROR: %s is truncated while it is read\n", name);
  int error = 0;
  MPI_Allreduce(&failed, &error, 1, MPI_INT, MPI_MAX, MPI_COMM_WORLD);
  if (error > 0) Fatal(1, "ERROR: cannot read %s: %s\n", name, strerror(error));
  CloseInputStream(ctx, stream);
  return n;
}

// Rank 0 streams the text file; each block of nb rows goes to the process
// row that owns it, every process getting its columns.
int ReadText(ProgramRecord& record, const ProcessGrid& grid, DistMatrix& a) {
  InputContext ctx{record.opts};
  std::optional<RatesFileRows> reader;  // rank 0 only
  const int64_t n64 = RootOnly([&]() -> int64_t {
    reader.emplace(OpenRatesFileRows(ctx, ctx.ratesfile));
    if (!reader->status.ok()) Fatal(reader->status);
    return reader->n;
  });
  if (n64 == 0) EmptyRatesFile(record);
  if (n64 > INT32_MAX) {
    Fatal(1, "ERROR: a rates matrix of dimension %lld does not fit in memory\n",
          static_cast<long long>(n64));
  }
  const int n = static_cast<int>(n64);
  const int nb = BlockSize(n, grid);
  a = MakeDistMatrix(n, nb, grid);

  std::vector<double> panel;  // rank 0: nb rows of the file, row-major
  std::vector<double> piece;
  for (int r0 = 0; r0 < n; r0 += nb) {
    const int rows = std::min(nb, n - r0);
    RootOnly([&]() -> int64_t {
      panel.assign(static_cast<size_t>(rows) * n, 0.0);
      for (int r = 0; r < rows; ++r) {
        if (!NextRatesRow(*reader, panel.data() + static_cast<size_t>(r) * n, 1)) break;
      }
      if (!reader->status.ok()) Fatal(reader->status);
      return 0;
    });
    const int owner_row = (r0 / nb) % grid.nprow;
    for (int pc = 0; pc < grid.npcol; ++pc) {
      const int dest = owner_row * grid.npcol + pc;
      if (grid.rank != 0 && grid.rank != dest) continue;
      // The columns process column pc owns, in increasing order.
      const int zero = 0;
      const int cols = numroc_(&n, &nb, &pc, &zero, &grid.npcol);
      piece.resize(static_cast<size_t>(cols) * rows);
      if (grid.rank == 0) {
        size_t at = 0;
        for (int c = pc * nb; c < n; c += nb * grid.npcol) {
          for (int k = c; k < std::min(n, c + nb); ++k) {
            for (int r = 0; r < rows; ++r) piece[at++] = panel[static_cast<size_t>(r) * n + k];
          }
        }
        if (dest != 0) {
          MPI_Send(piece.data(), static_cast<int>(piece.size()), MPI_DOUBLE, dest, r0,
                   MPI_COMM_WORLD);
        }
      } else {
        MPI_Recv(piece.data(), static_cast<int>(piece.size()), MPI_DOUBLE, 0, r0, MPI_COMM_WORLD,
                 MPI_STATUS_IGNORE);
      }
      if (grid.rank == dest) {
        const int il = a.LocalRow(r0);
        for (int jl = 0; jl < cols; ++jl) {
          for (int r = 0; r < rows; ++r)
            a.At(il + r, jl) = piece[static_cast<size_t>(jl) * rows + r];
        }
      }
    }
  }
  RootOnly([&]() -> int64_t {
    CloseRatesFileRows(*reader);
    return 0;
  });
  if (!IsRoot()) CloseInputStream(ctx, ctx.ratesfile);
  return n;
}

}  // namespace

int ReadDistributedRates(ProgramRecord& record, const ProcessGrid& grid, DistMatrix& a) {
  if (!record.opts.quiet) {
    fprintf(stderr, "Using rates matrix from STDIN for constructing transition matrix\n");
  }
  return record.opts.bin ? ReadBinary(record, grid, a) : ReadText(record, grid, a);
}

int ReadDistributedQorp(ProgramRecord& record, std::vector<QorpRecord>& records,
                        std::optional<std::string>& sequence) {
  const RunOptions& opts = record.opts;
  if (!opts.quiet) {
    fprintf(stderr, "Using qorp file from STDIN for constructing transition matrix\n");
  }
  InputContext ctx{opts};
  const int n = static_cast<int>(RootOnly([&]() -> int64_t {
    int count = 0;
    if (Status status = ParseQorpFile(ctx, ctx.qorp, records, count); !status.ok()) {
      Fatal(status);
    }
    return count;
  }));
  if (!IsRoot() && ctx.qorp != nullptr && ctx.qorp != stdin) CloseInputStream(ctx, ctx.qorp);
  sequence = std::move(ctx.sequence);  // rank 0's, which prints the header
  if (n == 0) Fatal(1, "ERROR: qorp file holds no local minimum!\n");
  records.resize(n);
  MPI_Bcast(records.data(), static_cast<int>(n * sizeof(QorpRecord)), MPI_BYTE, 0, MPI_COMM_WORLD);
  return n;
}

DistMatrix MethodAMatrix(const Calc& calc, const std::vector<QorpRecord>& records,
                         const ProcessGrid& grid, int nb) {
  const int n = calc.dim();
  if (Status status = CheckTreeOfMinima(records, n); !status.ok()) Fatal(status);
  DistMatrix a = MakeDistMatrix(n, nb, grid);
  std::vector<double> rates(n, 0.0), saddle(n, 0.0);
  std::vector<char> on_path(n, 0);
  // Column c of A is row c of U: the rates into minimum c.
  for (int jl = 0; jl < a.local_cols; ++jl) {
    const int c = a.GlobalCol(jl);
    MethodARatesInto(c, records, n, calc.kT, rates.data(), saddle, on_path);
    for (int il = 0; il < a.local_rows; ++il) {
      const int r = a.GlobalRow(il);
      if (r != c) a.At(il, jl) = rates[r];
    }
  }
  return a;
}

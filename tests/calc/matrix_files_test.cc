// Matrix files: the binary layout and its reader's tolerance of short and
// damaged files, the text formats, recovery of a stored decomposition, and
// every failure message.
#include "calc/model/matrix_files.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "calc/model/calc.h"
#include "calc/spectrum/stored_decomposition.h"
#include "tests/test_util.h"

namespace {

// A binary file with the given header and values.
void WriteBinary(const std::string& name, int32_t n, const std::vector<double>& values) {
  std::string bytes(reinterpret_cast<const char*>(&n), 4);
  bytes.append(reinterpret_cast<const char*>(values.data()), values.size() * 8);
  WriteFile(name, bytes);
}

const std::vector<double> kVector = {1.5, -2.25, 1e-12};
const std::vector<double> kMatrix = {1, 2, 3, 4, 5, 6, 7, 8, 9.5};

TEST(MxBinWrite, LayoutAndRoundTrip) {
  ScopedTempDir dir;
  RunOptions opts;
  Calc calc(3, opts);
  testing::internal::CaptureStderr();
  EXPECT_TRUE(MxBinWrite(calc, kVector.data(), "evals", 'v').ok());
  EXPECT_TRUE(MxBinWrite(calc, kMatrix.data(), "evecs", 'm').ok());
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "MxBinWrite: writing evals to evals.bin\nMxBinWrite: writing evecs to evecs.bin\n");

  std::string v = ReadFile("evals.bin"), m = ReadFile("evecs.bin");
  ASSERT_EQ(v.size(), 28u);
  ASSERT_EQ(m.size(), 76u);
  int32_t n = 0;
  memcpy(&n, m.data(), 4);
  EXPECT_EQ(n, 3);
  double entry = 0;
  memcpy(&entry, m.data() + 4 + 8 * (1 * 3 + 2), 8);  // row 1, column 2
  EXPECT_EQ(entry, 6.0);

  std::vector<double> back;
  int stored = 0;
  testing::internal::CaptureStderr();
  EXPECT_TRUE(MxBinRead(calc, back, "evecs", 'm', stored).ok());
  EXPECT_EQ(stored, 3);
  EXPECT_EQ(back, kMatrix);
  EXPECT_TRUE(MxBinRead(calc, back, "evals", 'v', stored).ok());
  EXPECT_EQ(stored, 3);
  EXPECT_EQ(back, kVector);
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "MxBinRead: reading evecs from evecs.bin\nMxBinRead: reading evals from evals.bin\n");

  // Quiet silences the writer but not the reader.
  opts.quiet = 1;
  testing::internal::CaptureStderr();
  EXPECT_TRUE(MxBinWrite(calc, kVector.data(), "evals", 'v').ok());
  EXPECT_TRUE(MxBinRead(calc, back, "evals", 'v', stored).ok());
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "MxBinRead: reading evals from evals.bin\n");
}

TEST(MxBinRead, HeaderAndTrailingBytes) {
  ScopedTempDir dir;
  RunOptions opts;
  opts.quiet = 1;
  Calc calc(3, opts);
  struct Case {
    const char* name;
    std::string bytes;
    int n;
    std::vector<double> values;
  };
  std::string full(reinterpret_cast<const char*>(&kMatrix[0]), 9 * 8);
  const std::string header("\x03\0\0\0", 4);
  const Case cases[] = {
      {"trailing bytes are not noticed", header + full + "junk", 3, kMatrix},
      {"empty file reads as dimension 0", "", 0, {}},
      {"partial header reads as dimension 0", "\x03\0", 0, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    WriteFile("evecs.bin", c.bytes);
    std::vector<double> out = {42.0};
    testing::internal::CaptureStderr();
    int stored = -1;
    EXPECT_TRUE(MxBinRead(calc, out, "evecs", 'm', stored).ok());
    EXPECT_EQ(stored, c.n);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "MxBinRead: reading evecs from evecs.bin\n");
    EXPECT_EQ(out, c.values);
  }
}

TEST(MxRecover, ReadsTheStoredDecomposition) {
  struct Case {
    const char* name;
    int absorb;
    int useplusI;
    std::vector<double> stored;
    std::vector<double> evals;
  };
  const Case cases[] = {
      {"plain", 0, 0, {0.0, -1.0, -4.0}, {0.0, -1.0, -4.0}},
      // --dumpE stores the eigenvalues without the shift of a --useplusI
      // run; files that carry it (stationary eigenvalue 1) lose it here.
      {"--useplusI keeps unshifted values", 0, 1, {0.0, -1.0, -4.0}, {0.0, -1.0, -4.0}},
      {"--useplusI removes a stored shift", 0, 1, {1.0, 0.0, -3.0}, {0.0, -1.0, -4.0}},
      {"absorbing state: no scalings", 3, 0, {0.0, -1.0, -4.0}, {0.0, -1.0, -4.0}},
  };
  const std::vector<double> p8 = {0.25, 0.25, 0.5};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ScopedTempDir dir;
    WriteBinary("evals.bin", 3, c.stored);
    WriteBinary("evecs.bin", 3, kMatrix);
    RunOptions opts;
    opts.quiet = 1;
    opts.useplusI = c.useplusI;
    Calc calc(3, opts);
    SetAbsorbingState(calc, c.absorb);
    testing::internal::CaptureStderr();
    Spectrum spectrum;
    EXPECT_TRUE(MxRecover(calc, p8, spectrum).ok());
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "MxBinRead: reading evecs from evecs.bin\nMxBinRead: reading evals from evals.bin\n");
    EXPECT_EQ(spectrum.evecs, kMatrix);
    EXPECT_EQ(spectrum.evals, c.evals);
    EXPECT_EQ(spectrum.solver, SpectrumSolver::kStored);
    if (c.absorb) {
      EXPECT_TRUE(spectrum.sqrt_p8.empty());
      EXPECT_TRUE(spectrum.inv_sqrt_p8.empty());
    } else {
      EXPECT_EQ(spectrum.sqrt_p8, (std::vector<double>{0.5, 0.5, std::sqrt(0.5)}));
      EXPECT_EQ(spectrum.inv_sqrt_p8, (std::vector<double>{2.0, 2.0, 1.0 / std::sqrt(0.5)}));
    }
  }
}

TEST(MatrixFiles, TextFormats) {
  ScopedTempDir dir;
  RunOptions opts;
  Calc calc(3, opts);
  testing::internal::CaptureStderr();
  EXPECT_TRUE(MxASCIIWriteV(calc, kVector.data(), "evals.txt").ok());
  EXPECT_TRUE(MxASCIIWrite(calc, kMatrix.data(), "evecs.txt").ok());
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "vector written to ASCII file\nmatrix written to ASCII file\n");
  // No line break in the vector file; one line per column in the matrix file.
  EXPECT_EQ(ReadFile("evals.txt"), "            1.5           -2.25           1e-12 ");
  EXPECT_EQ(ReadFile("evecs.txt"),
            "              1               4               7 \n"
            "              2               5               8 \n"
            "              3               6             9.5 \n");

  opts.quiet = 1;
  Calc two(2, opts);
  const std::vector<double> m = {0.5, -1.25, 3, 1e-3};
  testing::internal::CaptureStderr();
  EXPECT_TRUE(MxMathematicaWrite(two, m.data()).ok());
  EXPECT_TRUE(MxASCIIWriteV(two, m.data(), "quiet.txt").ok());
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
  EXPECT_EQ(ReadFile("mxMat.txt"),
            "{{ 0.5000000000000000000000,  3.0000000000000000000000},\n"
            "{-1.2500000000000000000000,  0.0010000000000000000208}}\n");
}

// Every way a stored decomposition can be bad comes back as status 1 with
// the message the run prints, after the reader's own lines. A stored file
// shorter than its header announces is refused: zeros in place of the lost
// tail would pass for a decomposition.
TEST(MatrixFiles, ReadFailuresComeBackAsStatus) {
  std::string full(reinterpret_cast<const char*>(&kMatrix[0]), 9 * 8);
  const std::string header("\x03\0\0\0", 4);
  struct Case {
    const char* name;
    std::function<void()> setup;
    std::function<Status(Calc&)> run;
    std::string message;
    std::string err;  // what the stage printed before it failed
  };
  auto recover = [](Calc& c) {
    Spectrum spectrum;
    return MxRecover(c, {0.25, 0.25, 0.5}, spectrum);
  };
  auto read_evecs = [](Calc& c) {
    std::vector<double> out;
    int n = 0;
    return MxBinRead(c, out, "evecs", 'm', n);
  };
  const std::string evecs_read = "MxBinRead: reading evecs from evecs.bin\n";
  const std::string both_read = evecs_read + "MxBinRead: reading evals from evals.bin\n";
  const Case cases[] = {
      {"binary infile missing", [] {}, recover,
       "ERROR: could not open file pointer for    binary infile evecs.bin\n", evecs_read},
      {"unknown type on reading", [] { WriteBinary("evecs.bin", 3, kMatrix); },
       [](Calc& c) {
         std::vector<double> out;
         int n = 0;
         return MxBinRead(c, out, "evecs", 'x', n);
       },
       "ERROR MxBinRead(): no handler for type x\n", evecs_read},
      {"stored eigenvectors of another dimension",
       [] {
         WriteBinary("evecs.bin", 2, {1, 0, 0, 1});
       },
       recover, "ERROR: MxBinRead() returns wrong dimension for evecs\n", evecs_read},
      {"empty eigenvector file", [] { WriteFile("evecs.bin", ""); }, recover,
       "ERROR: MxBinRead() returns wrong dimension for evecs\n", evecs_read},
      {"stored eigenvalues of another dimension",
       [] {
         WriteBinary("evecs.bin", 3, kMatrix);
         WriteBinary("evals.bin", 4, {0, 1, 2, 3});
       },
       recover, "ERROR: MxBinRead() returns wrong dimension for evals\n", both_read},
      {"negative dimension", [] { WriteBinary("evecs.bin", -3, kMatrix); }, recover,
       "ERROR: MxBinRead(): bad dimension -3 in evecs.bin\n", evecs_read},
      {"dimension whose square overflows", [] { WriteBinary("evecs.bin", 65537, {}); }, recover,
       "ERROR: MxBinRead(): bad dimension 65537 in evecs.bin\n", evecs_read},
      {"five values and half of the sixth",
       [&] { WriteFile("evecs.bin", header + full.substr(0, 44)); }, read_evecs,
       "ERROR: evecs.bin is truncated: 76 bytes expected, 48 found\n", evecs_read},
      {"header only", [&] { WriteFile("evecs.bin", header); }, read_evecs,
       "ERROR: evecs.bin is truncated: 76 bytes expected, 4 found\n", evecs_read},
      {"a directory in place of the file", [] { mkdir("evecs.bin", 0755); }, read_evecs,
       "ERROR: could not open file pointer for    binary infile evecs.bin\n", evecs_read},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ScopedTempDir dir;
    c.setup();
    RunOptions opts;
    opts.quiet = 1;
    Calc calc(3, opts);
    testing::internal::CaptureStderr();
    const Status status = c.run(calc);
    EXPECT_EQ(c.err, testing::internal::GetCapturedStderr());
    EXPECT_EQ(kExitError, status.exit_status);
    EXPECT_EQ(c.message, status.message);
  }
}

// Every way a write can fail comes back as status 1 with the message the run
// prints; a write that fails must not pass for a stored decomposition.
TEST(MatrixFiles, WriteFailuresComeBackAsStatus) {
  struct Case {
    const char* name;
    std::function<void()> setup;
    std::function<Status(Calc&)> run;
    const char* message;
  };
  const Case cases[] = {
      {"binary outfile cannot be opened", [] {},
       [](Calc& c) { return MxBinWrite(c, kVector.data(), "missing/evals", 'v'); },
       "ERROR: could not open file pointer for binary outfile missing/evals.bin\n"},
      {"unknown type on writing", [] {},
       [](Calc& c) { return MxBinWrite(c, kVector.data(), "x", 'q'); },
       "ERROR MxBinWrite(): no handler for type q\n"},
      {"text outfile cannot be opened", [] {},
       [](Calc& c) { return MxASCIIWriteV(c, kVector.data(), "missing/evals.txt"); },
       "could not open file pointer 4 ASCII outfile\n"},
      {"Mathematica outfile cannot be opened", [] { mkdir("mxMat.txt", 0755); },
       [](Calc& c) { return MxMathematicaWrite(c, kMatrix.data()); },
       "could not open file pointer 4 Matematica outfile\n"},
      {"binary outfile on a full disk",
       [] { std::filesystem::create_symlink("/dev/full", "evecs.bin"); },
       [](Calc& c) { return MxBinWrite(c, kMatrix.data(), "evecs", 'm'); },
       "ERROR: could not write binary outfile evecs.bin\n"},
      {"text outfile on a full disk",
       [] { std::filesystem::create_symlink("/dev/full", "evecs.txt"); },
       [](Calc& c) { return MxASCIIWrite(c, kMatrix.data(), "evecs.txt"); },
       "ERROR: could not write ASCII outfile evecs.txt\n"},
      {"vector outfile on a full disk",
       [] { std::filesystem::create_symlink("/dev/full", "evals.txt"); },
       [](Calc& c) { return MxASCIIWriteV(c, kVector.data(), "evals.txt"); },
       "ERROR: could not write ASCII outfile evals.txt\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ScopedTempDir dir;
    c.setup();
    RunOptions opts;
    opts.quiet = 1;
    Calc calc(3, opts);
    const Status status = c.run(calc);
    EXPECT_EQ(kExitError, status.exit_status);
    EXPECT_EQ(c.message, status.message);
  }
}

TEST(MxBinRead, ReadOnlyFileIsRefused) {
  if (geteuid() == 0) GTEST_SKIP() << "root opens read-only files for writing";
  ScopedTempDir dir;
  WriteBinary("evals.bin", 3, kVector);
  chmod("evals.bin", 0444);
  RunOptions opts;
  Calc calc(3, opts);
  std::vector<double> out;
  int n = 0;
  testing::internal::CaptureStderr();
  const Status status = MxBinRead(calc, out, "evals", 'v', n);
  testing::internal::GetCapturedStderr();
  EXPECT_EQ("ERROR: could not open file pointer for    binary infile evals.bin\n", status.message);
}

}  // namespace

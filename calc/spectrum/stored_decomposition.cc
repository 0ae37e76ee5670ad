#include "calc/spectrum/stored_decomposition.h"

#include <vector>

#include "base/status.h"
#include "calc/model/calc.h"
#include "calc/model/matrix_files.h"
#include "matrix/dense.h"

Status MxRecover(const Calc& calc, const std::vector<double>& p8, Spectrum& spectrum) {
  const size_t nn = static_cast<size_t>(calc.dim());
  std::vector<double>& evals = spectrum.evals;
  std::vector<double>& evecs = spectrum.evecs;
  spectrum.solver = SpectrumSolver::kStored;
  if (calc.numbering().absorbing_state == 0) {
    MxSqrtScalings(p8, nn, spectrum.sqrt_p8, spectrum.inv_sqrt_p8);
  }
  std::vector<double>().swap(evecs);
  std::vector<double>().swap(evals);
  int n = 0;
  if (Status status = MxBinRead(calc, evecs, "evecs", 'm', n); !status.ok()) return status;
  if (n != calc.dim()) return Failure(1, "ERROR: MxBinRead() returns wrong dimension for evecs\n");
  if (Status status = MxBinRead(calc, evals, "evals", 'v', n); !status.ok()) return status;
  if (n != calc.dim()) return Failure(1, "ERROR: MxBinRead() returns wrong dimension for evals\n");
  if (calc.opts.verbose) {
    MxPrint(calc, evals.data(), "MxRecover: Eigenvalues", 'v');
    MxPrint(calc, evecs.data(), "MxRecover: Eigenvectors", 'm');
  }
  // --dumpE stores the eigenvalues without the --useplusI shift, the
  // stationary one 0. A file whose stationary eigenvalue is 1 was written
  // with the shift (as --dumpE once did): the time evolution needs them
  // without it, as after a fresh diagonalisation.
  if (calc.opts.useplusI && !evals.empty() && evals[0] == 1.0) MxRemovePlusIShift(evals);
  return Status{};
}

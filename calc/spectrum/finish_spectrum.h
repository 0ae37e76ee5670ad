// The steps after the eigensolver, written once for every scalar type (double
// over LAPACK's or the factorised solver's buffers, the extended arithmetics
// over their Eigen matrices): the descending sort, the -v prints, the
// reachability and largest-eigenvalue warnings, the clamp of the stationary
// eigenvalues, the absorbing eigenvector completion, --dumpX, --dumpE and the
// removal of the --useplusI shift, in that order. What the callers do
// differently at a step comes in as a callback.
#ifndef ZOLVANE_CALC_SPECTRUM_FINISH_SPECTRUM_H_
#define ZOLVANE_CALC_SPECTRUM_FINISH_SPECTRUM_H_

#include <cstddef>
#include <functional>
#include <string>
#include <type_traits>
#include <vector>

#include "base/status.h"
#include "calc/model/calc.h"
#include "calc/model/matrix_files.h"
#include "calc/model/scalar_traits.h"
#include "calc/spectrum/eigen_checks.h"
#include "calc/spectrum/eigen_order.h"

// The caller's own part of a step; an empty one does nothing.
struct SpectrumFinishing {
  // Makes the eigenvectors of a chain with an absorbing state ready
  // (calc/spectrum/absorbing_evecs.h); called only with one.
  std::function<void()> complete_absorbing;
  // After the four --dumpE files are written.
  std::function<Status()> after_dump;
  // Takes the --useplusI shift off the eigenvalues; the last step.
  std::function<void()> remove_plus_i;
  // The eigensolver that ran, named in the -v prints.
  std::string solver;
};

// The row-major doubles of the matrix or vector `m`, for the printers and
// files: m's own storage when it is that already (no copy of the double
// path's n x n buffer), else a converted copy.
template <class M>
class RowMajorDoubles {
 public:
  explicit RowMajorDoubles(const M& m) {
    using Scalar = typename M::Scalar;
    constexpr bool kContiguousRows =
        M::InnerStrideAtCompileTime == 1 && (M::IsRowMajor || M::ColsAtCompileTime == 1);
    if constexpr (std::is_same_v<Scalar, double> && kContiguousRows) {
      own_ = m.data();
    } else {
      const auto rows = m.rows(), cols = m.cols();
      copy_.resize(static_cast<size_t>(rows * cols));
      for (decltype(m.rows()) i = 0; i < rows; ++i) {
        for (decltype(m.rows()) j = 0; j < cols; ++j) {
          copy_[static_cast<size_t>(i * cols + j)] = ScalarTraits<Scalar>::ToDouble(m(i, j));
        }
      }
    }
  }
  const double* doubles() const { return own_ != nullptr ? own_ : copy_.data(); }

 private:
  const double* own_ = nullptr;
  std::vector<double> copy_;
};

// `evals` (an Eigen vector of n = calc.dim() scalars) and `evecs` (an n x n
// Eigen matrix or Map, column k the eigenvector of evals(k)) as the solver
// left them. Returns the first failure to write a file; `dumped_only` is
// set when --dumpX wrote evals.txt (the run ends there), else cleared.
template <class Values, class Vectors>
Status FinishSpectrum(const Calc& calc, bool absorbing, const SpectrumFinishing& steps,
                      Values& evals, Vectors& evecs, bool& dumped_only) {
  using Number = typename Values::Scalar;
  const RunOptions& opts = calc.opts;
  const int n = calc.dim();
  dumped_only = false;

  // The symmetric solvers hand the values back ascending, so this is mostly
  // a reversal.
  ApplyOrderOf(DescendingOrderOf(evals, n), evals,
               [&evecs](int r, int k) -> Number& { return evecs(r, k); });
  if (opts.verbose) {
    MxPrint(calc, RowMajorDoubles(evecs).doubles(),
            ("Eigenvectors of U (" + steps.solver + ")").c_str(), 'm');
    MxPrint(calc, RowMajorDoubles(evals).doubles(),
            ("Eigenvalues of U (" + steps.solver + ")").c_str(), 'v');
  }

  if (auto reached = MxEvecsReachability(RowMajorDoubles(evecs).doubles(), n)) {
    WarnUnreachedEigenstates(*reached);
  }

  if (WarnLargestEigenvalue<Number>(opts, evals, n) && opts.side_files) {
    if (Status status = MxASCIIWriteV(calc, RowMajorDoubles(evals).doubles(), "evals.txt");
        !status.ok()) {
      return status;
    }
    if (Status status = MxASCIIWrite(calc, RowMajorDoubles(evecs).doubles(), "evecs.txt");
        !status.ok()) {
      return status;
    }
  }
  ClampStationaryEigenvalues<Number>(opts, evals, n);

  if (absorbing && steps.complete_absorbing) steps.complete_absorbing();

  if (opts.dumpX) {
    dumped_only = true;
    return MxASCIIWriteV(calc, RowMajorDoubles(evals).doubles(), "evals.txt");
  }
  // evals.bin holds the eigenvalues the table uses, so that --recoverE
  // recovers this run's table: with --useplusI those without the shift, as
  // the solver made them (1 + lambda in a double keeps only the leading
  // digits of a slow lambda). evals.txt shows the shifted ones, as the
  // checks saw them.
  bool shift_removed = false;
  std::vector<double> shifted;
  if (opts.dumpE && opts.useplusI && steps.remove_plus_i) {
    const RowMajorDoubles values(evals);
    shifted.assign(values.doubles(), values.doubles() + n);
    steps.remove_plus_i();
    shift_removed = true;
  }
  if (opts.dumpE) {
    {
      const RowMajorDoubles values(evals);
      const RowMajorDoubles vectors(evecs);
      if (Status status = MxBinWrite(calc, values.doubles(), "evals", 'v'); !status.ok()) {
        return status;
      }
      if (Status status = MxBinWrite(calc, vectors.doubles(), "evecs", 'm'); !status.ok()) {
        return status;
      }
      if (Status status =
              MxASCIIWriteV(calc, shift_removed ? shifted.data() : values.doubles(), "evals.txt");
          !status.ok()) {
        return status;
      }
      if (Status status = MxASCIIWrite(calc, vectors.doubles(), "evecs.txt"); !status.ok()) {
        return status;
      }
    }
    if (steps.after_dump) {
      if (Status status = steps.after_dump(); !status.ok()) return status;
    }
  }

  if (opts.useplusI && steps.remove_plus_i && !shift_removed) steps.remove_plus_i();
  return Status{};
}

#endif  // ZOLVANE_CALC_SPECTRUM_FINISH_SPECTRUM_H_

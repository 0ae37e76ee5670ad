// Dispatch of the extended-precision stages by --mlapack-method.
#include "calc/extended/extended.h"

#include <cmath>
#include <cstring>

#include "base/status.h"
#include "calc/extended/extended_stages.h"
#include "calc/spectrum/diagonalize.h"

namespace {

struct Named {
  const char* name;
  Arithmetic arithmetic;
};

constexpr Named kNames[] = {
    {"DOUBLE", Arithmetic::kDouble},     {"LD", Arithmetic::kLongDouble},
    {"DD", Arithmetic::kDoubleDouble},   {"QD", Arithmetic::kQuadDouble},
    {"FLOAT128", Arithmetic::kFloat128}, {"MPFR", Arithmetic::kMpfr},
    {"GMP", Arithmetic::kGmp},
};

const ExtendedStages& StagesOf(Arithmetic arithmetic) {
  switch (arithmetic) {
    case Arithmetic::kLongDouble:
      return LongDoubleStages();
    case Arithmetic::kDoubleDouble:
      return DoubleDoubleStages();
    case Arithmetic::kQuadDouble:
      return QuadDoubleStages();
    case Arithmetic::kFloat128:
      return Float128Stages();
    case Arithmetic::kMpfr:
      return MpfrStages();
    case Arithmetic::kGmp:
      return GmpStages();
    case Arithmetic::kDefault:
    case Arithmetic::kDouble:
      break;
  }
  return DoubleStages();
}

// GMP numbers have neither infinities nor NaN: GMP raises SIGFPE when asked
// to convert one. Every other arithmetic carries such a value on to the error
// the double path gives; GMP refuses it before any conversion.
Status CheckGmpCanHold(const Calc& calc, const std::vector<double>& U,
                       const std::vector<QorpRecord>* energies) {
  if (calc.opts.mlapack_method != Arithmetic::kGmp) return Status{};
  const int n = calc.dim();
  // States in input numbering, as every message of the run.
  auto input_state = [&calc](int k) {
    return calc.numbering().kept.empty() ? k + 1 : calc.numbering().kept[k] + 1;
  };
  for (int i = 0; i < n; ++i) {
    for (int j = 0; j < n; ++j) {
      const double x = U[static_cast<size_t>(i) * n + j];
      if (i != j && !std::isfinite(x)) {
        return Failure(1,
                       "ERROR: --mlapack-method GMP cannot hold the rate %g from state %d to "
                       "state %d\n",
                       x, input_state(j), input_state(i));
      }
    }
  }
  if (energies != nullptr) {
    // The Boltzmann weights of the minima are formed in GMP as well (an
    // infinite kT makes them all 1 without forming it).
    if (std::isnan(calc.kT)) {
      return Failure(1, "ERROR: --mlapack-method GMP cannot hold kT = %g (--Temp %g)\n", calc.kT,
                     calc.opts.Temp);
    }
    for (size_t k = 0; k < energies->size() && k < static_cast<size_t>(n); ++k) {
      const double e = (*energies)[k].energy;
      if (!std::isfinite(e)) {
        return Failure(1, "ERROR: --mlapack-method GMP cannot hold the energy %g of state %d\n", e,
                       input_state(static_cast<int>(k)));
      }
    }
  }
  return Status{};
}

}  // namespace

std::optional<Arithmetic> ArithmeticFromName(const char* name) {
  for (const Named& n : kNames) {
    if (strcmp(n.name, name) == 0) return n.arithmetic;
  }
  return std::nullopt;
}

const char* ArithmeticName(Arithmetic arithmetic) {
  for (const Named& n : kNames) {
    if (n.arithmetic == arithmetic) return n.name;
  }
  return "LAPACK";
}

Status ExtendedFirstPassageTimes(const Calc& calc, const std::vector<double>& U,
                                 const std::vector<QorpRecord>* energies, FILE* out) {
  // T(i, j) = (Z(j, j) - Z(i, j)) / p8[j] cancels about as many digits as the
  // spread of p8 holds, so the fundamental matrix gets about twice the
  // chosen precision (DOUBLE stays the cross-check of the LAPACK path).
  Arithmetic wider = calc.opts.mlapack_method;
  int bits = calc.opts.mlapack_precision;
  switch (wider) {
    case Arithmetic::kLongDouble:
      wider = Arithmetic::kDoubleDouble;
      break;
    case Arithmetic::kDoubleDouble:
    case Arithmetic::kFloat128:
      wider = Arithmetic::kQuadDouble;
      break;
    case Arithmetic::kMpfr:
    case Arithmetic::kGmp:
      bits *= 2;
      break;
    default:
      break;
  }
  if (Status status = CheckGmpCanHold(calc, U, energies); !status.ok()) return status;
  StagesOf(wider).first_passage_times(calc, U, energies, bits, out);
  return Status{};
}

Status ExtendedFirstPassageTo(const Calc& calc, const std::vector<double>& U, int target,
                              std::optional<std::vector<double>>& times) {
  if (Status status = CheckGmpCanHold(calc, U, nullptr); !status.ok()) return status;
  times = StagesOf(calc.opts.mlapack_method)
              .first_passage_to(calc, U, calc.opts.mlapack_precision, target);
  return Status{};
}

Status ExtendedDiagonalize(Arithmetic arithmetic, Calc& calc, const std::vector<double>& U,
                           const std::vector<QorpRecord>* energies, Spectrum& spectrum) {
  if (Status status = CheckGmpCanHold(calc, U, energies); !status.ok()) return status;
  return StagesOf(arithmetic).diagonalize(calc, U, energies, calc.opts.mlapack_precision, spectrum);
}

Status ExtendedTable(Calc& calc, const Spectrum& spectrum, std::vector<double>& p0) {
  const Spectrum::Extended& extended = spectrum.extended;
  return StagesOf(extended.arithmetic).table(calc, extended.decomposition.get(), extended.bits, p0);
}

Status ExtendedReduce(const RunOptions& opts, std::vector<double>& mat, int n, int m, int b) {
  return StagesOf(opts.mlapack_method).reduce(opts, mat, n, m, b, opts.mlapack_precision);
}

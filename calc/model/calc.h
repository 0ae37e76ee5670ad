// Calc: the value every stage of a run works on: the run's options, kT, the
// current number of states and how those states relate to the input's.
// The stages themselves are free functions declared beside their
// definitions (calc/model/transition_matrix.h, calc/table/iterate.h, ...).
//
// Matrix convention for every stage: a matrix of order n is n*n doubles,
// row-major, element (i, j) at i*n + j. In U, element (i, j) with i != j is
// the rate of the transition j -> i (column j holds the rates out of j); the
// diagonal makes every column sum to 0, or to 1 with --useplusI. States are
// 0-based here and 1-based in options, messages and output.
//
// The caller owns U, p0, p8 and the Spectrum the diagonalisation derives
// (calc/model/spectrum.h) and passes them in.
#ifndef ZOLVANE_CALC_MODEL_CALC_H_
#define ZOLVANE_CALC_MODEL_CALC_H_

#include <cstdio>
#include <optional>
#include <string>
#include <utility>

#include "base/run_options.h"
#include "calc/model/state_numbering.h"

class Calc {
 public:
  // dim = number of states read; kT from opts.Temp. `opts` must outlive the
  // Calc.
  Calc(int dim, const RunOptions& opts);

  const RunOptions& opts;
  // Boltzmann factor's kT in kcal/mol at --Temp.
  const double kT;
  // Sequence of the qorp file's first line, for the table header; none when
  // no qorp file was read or it named none.
  std::optional<std::string> sequence;

  // The current number of states.
  int dim() const { return dim_; }
  // How those states relate to the input's states (the absorbing state that
  // MxQorp2Matrix appends for --absorb, the states MxErgodicity keeps).
  const StateNumbering& numbering() const { return numbering_; }
  // The one way both change, together, so that they always describe the
  // same system: the stages that append or remove states (and a run
  // restored from its saved numbering) hand over the new pair.
  void Renumber(int dim, StateNumbering numbering) {
    dim_ = dim;
    numbering_ = std::move(numbering);
  }
  // True once the ergodicity reduction left a single state, whose whole
  // table (header, t0, t8) is then printed at once: the later table stages
  // have nothing to add (a second table would repeat the header and send the
  // time back to t0).
  bool ReducedToOneState() const { return dim_ == 1 && !numbering_.kept.empty(); }

 private:
  int dim_;
  StateNumbering numbering_;
};

// MxPrintN (matrix/mx_print.h) with n = dim.
void MxPrint(const Calc& calc, const double* values, const char* label, char type,
             FILE* stream = stderr, bool plain = false);
// MxPrint of a dim-vector in input numbering (0 for removed states).
void MxPrintInput(const Calc& calc, const double* reduced, const char* label);

#endif  // ZOLVANE_CALC_MODEL_CALC_H_

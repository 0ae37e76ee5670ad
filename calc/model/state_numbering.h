// StateNumbering: how the states of the system a run computes on relate to
// the states of its input. The transition matrix stage may append an
// absorbing state; the ergodicity reduction may remove the states the
// initial population cannot reach and renumber the others. Every output
// names states as the input did, through the mapping here.
#ifndef ZOLVANE_CALC_MODEL_STATE_NUMBERING_H_
#define ZOLVANE_CALC_MODEL_STATE_NUMBERING_H_

#include <vector>

// `dim` below is the current number of states (Calc::dim()).
struct StateNumbering {
  // The absorbing state appended for --absorb: its 1-based number in input
  // numbering (the last state, as the header prints it); 0 when there is
  // none.
  int absorbing_state = 0;
  // 0-based index, in the current numbering, of the minimum whose rate
  // leads into the absorbing state; -1 when there is none or the ergodicity
  // reduction removed it.
  int absorbed_minimum = -1;
  // Ascending 0-based input numbers of the states kept by the ergodicity
  // reduction, one per current state; empty while no state was removed.
  std::vector<int> kept;
  // The number of states before that reduction (the columns of the
  // population table); meaningful only when `kept` is not empty.
  int kept_columns = 0;

  // The number of input states (including an appended absorbing state).
  int InputDim(int dim) const;
  // For every 0-based input state its index in the current numbering, -1
  // for a removed state.
  std::vector<int> ReducedIndices(int dim) const;
  // InputDim(dim) values: the dim values of `reduced` at their input
  // positions, `removed` at the positions of removed states.
  std::vector<double> ToInputNumbering(const double* reduced, int dim, double removed) const;
};

#endif  // ZOLVANE_CALC_MODEL_STATE_NUMBERING_H_

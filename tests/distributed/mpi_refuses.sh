#!/usr/bin/env bash
# What the distributed run does not take (an option, rates it has no exact
# solver for): one line, status 1, no table. With AFTER_READING=1 the
# reading of the input may print its notes first, but the message comes
# before the eigensolver's first line.
# Usage: mpi_refuses.sh ZOLVANE_MPI P MESSAGE OPTION...
set -euo pipefail
mpi=$1 processes=$2 want=$3
shift 3
source "$(dirname "$0")/mpi_common.sh"

mpi_run "$@"
said=$(cat mpi.err)
if [ -n "${AFTER_READING:-}" ]; then
  said=$(tail -n 1 mpi.err)
  if grep -q "Corrected numerical error\|Time to diagonalize" mpi.err; then said="(after the solver) $said"; fi
fi
if [ "$mpi_status" -ne 1 ] || [ "$said" != "$want" ] || [ -s mpi.out ]; then
  echo "status $mpi_status, standard error:"
  cat mpi.err
  echo "standard output: $(wc -c < mpi.out) bytes"
  exit 1
fi
echo "refused: $want"

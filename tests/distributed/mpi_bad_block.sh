#!/usr/bin/env bash
# A ZOLVANE_MPI_BLOCK that is not a block size: one line naming the variable
# and its range, status 1, no table.
# Usage: mpi_bad_block.sh ZOLVANE_MPI P VALUE OPTION...
set -euo pipefail
mpi=$1 processes=$2 value=$3
shift 3
source "$(dirname "$0")/mpi_common.sh"

export ZOLVANE_MPI_BLOCK=$value
mpi_run "$@"
want="ERROR: ZOLVANE_MPI_BLOCK must be a whole number from 1 to 1048576, not \"$value\""
if [ "$mpi_status" -ne 1 ] || [ "$(cat mpi.err)" != "$want" ] || [ -s mpi.out ]; then
  echo "ZOLVANE_MPI_BLOCK=\"$value\": status $mpi_status, standard error:"
  cat mpi.err
  echo "standard output: $(wc -c < mpi.out) bytes"
  exit 1
fi
echo "refused: $want"

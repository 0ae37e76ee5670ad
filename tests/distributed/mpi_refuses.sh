#!/usr/bin/env bash
# An option the distributed run does not offer: one line, status 1, no table.
# Usage: mpi_refuses.sh ZOLVANE_MPI P OPTION_NAME OPTION...
set -euo pipefail
mpi=$1 processes=$2 name=$3
shift 3
source "$(dirname "$0")/mpi_common.sh"

mpi_run "$@"
want="ERROR: --$name is not available in the distributed run"
if [ "$mpi_status" -ne 1 ] || [ "$(cat mpi.err)" != "$want" ] || [ -s mpi.out ]; then
  echo "status $mpi_status, standard error:"
  cat mpi.err
  echo "standard output: $(wc -c < mpi.out) bytes"
  exit 1
fi
echo "refused: $want"

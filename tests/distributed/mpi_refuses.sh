#!/usr/bin/env bash
# An option the distributed run does not offer: one line, status 1, no table.
# Usage: mpi_refuses.sh ZOLVANE_MPI P OPTION_NAME OPTION...
set -euo pipefail
mpi=$1 processes=$2 name=$3
shift 3
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"

status=0
"$here/mpirun.sh" "$processes" "$mpi" "$@" > mpi.out 2> mpi.err || status=$?
want="ERROR: --$name is not available in the distributed run"
if [ "$status" -ne 1 ] || [ "$(cat mpi.err)" != "$want" ] || [ -s mpi.out ]; then
  echo "status $status, standard error:"
  cat mpi.err
  echo "standard output: $(wc -c < mpi.out) bytes"
  exit 1
fi
echo "refused: $want"

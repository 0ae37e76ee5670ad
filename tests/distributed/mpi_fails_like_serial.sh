#!/usr/bin/env bash
# A run that fails: the distributed run on P processes must end with the
# serial program's status and last message, without hanging.
# Usage: mpi_fails_like_serial.sh ZOLVANE ZOLVANE_MPI P OPTION...
set -euo pipefail
serial=$1 mpi=$2 processes=$3
shift 3
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"

export OPENBLAS_NUM_THREADS=1
serial_status=0
"$serial" "$@" > serial.out 2> serial.err || serial_status=$?
mpi_status=0
"$here/mpirun.sh" "$processes" "$mpi" "$@" > mpi.out 2> mpi.err || mpi_status=$?
if [ "$serial_status" -eq 0 ]; then echo "the serial run did not fail"; exit 1; fi
if [ "$mpi_status" -ne "$serial_status" ]; then
  cat mpi.err
  echo "status $mpi_status, serial $serial_status"
  exit 1
fi
if [ "$(tail -n 1 mpi.err)" != "$(tail -n 1 serial.err)" ]; then
  echo "last message:   $(tail -n 1 mpi.err)"
  echo "serial message: $(tail -n 1 serial.err)"
  exit 1
fi
echo "both end with status $mpi_status: $(tail -n 1 mpi.err)"

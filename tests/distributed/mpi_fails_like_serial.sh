#!/usr/bin/env bash
# A run that fails: the distributed run on P processes must end with the
# serial program's status and last message, without hanging.
# Usage: mpi_fails_like_serial.sh ZOLVANE ZOLVANE_MPI P OPTION...
set -euo pipefail
serial=$1 mpi=$2 processes=$3
shift 3
source "$(dirname "$0")/mpi_common.sh"

serial_run "$@"
mpi_run "$@"
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

#!/usr/bin/env bash
# mpirun as the tests need it: P processes on however many cores there are,
# shared memory only (a container may have no usable network interface),
# no help texts, waiting processes yield their core (the machine may be
# shared or oversubscribed), and allowed when running as root (as CI does).
# Usage: mpirun.sh P PROGRAM ARGUMENT...
set -euo pipefail
processes=$1
shift
flags=(-q -n "$processes" --oversubscribe --bind-to none --mca btl self,vader
       --mca btl_vader_single_copy_mechanism none --mca mpi_yield_when_idle 1
       -x OPENBLAS_NUM_THREADS=1)
if [ "$(id -u)" -eq 0 ]; then flags+=(--allow-run-as-root); fi
exec mpirun "${flags[@]}" "$@"

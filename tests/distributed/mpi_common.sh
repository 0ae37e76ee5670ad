# Sourced by the mpi_*.sh tests once they have taken their arguments into
# serial, mpi and processes: the rest of the test runs in a scratch directory
# that is removed on exit, one BLAS thread a process.
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
export OPENBLAS_NUM_THREADS=1

# run_in NAME COMMAND...: COMMAND in the directory NAME, so that the files two
# runs write stay apart, with standard output and error in NAME.out and
# NAME.err; returns COMMAND's status.
run_in() {
  local name=$1
  shift
  mkdir -p "$name"
  (cd "$name" && "$@" > "../$name.out" 2> "../$name.err")
}

# The serial program, and zolvane-mpi on $processes processes, in serial/ and
# mpi/ with the given options; their statuses in serial_status and mpi_status.
serial_run() { serial_status=0; run_in serial "$serial" "$@" || serial_status=$?; }
mpi_run() { mpi_status=0; run_in mpi "$here/mpirun.sh" "$processes" "$mpi" "$@" || mpi_status=$?; }

#!/usr/bin/env bash
# zolvane-mpi against the serial zolvane on generated landscapes (binary
# rates, default options: the factorised solver on both sides): wall time,
# speed-up over the serial run, and the peak resident memory of every
# process, also in units of n^2/P doubles (the matrix beside its factor,
# then the factor beside the blocks in flight: about 2.5, plus some 20 MiB
# of MPI and libraries per process).
# Every process runs one BLAS thread, the serial run too.
# Usage: bench/mpi_bench.sh [BUILD_DIR] [SIZES...]   (default: build 2000 4000)
# PROCESSES overrides the process counts (default "1 2 4"). On a machine with
# fewer cores than processes the runs are oversubscribed.
set -euo pipefail
default_sizes=(2000 4000)
source "$(dirname "$0")/bench_args.sh"
read -r -a counts <<< "${PROCESSES:-1 2 4}"
mpirun_sh=$root/tests/distributed/mpirun.sh
export OPENBLAS_NUM_THREADS=1

seconds() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", b - a }'; }

printf '%6s %9s %9s %8s %10s %s\n' states processes wall_s speedup diag_cpu_s \
  "peak MiB per process (in n^2/P doubles)"
for n in "${sizes[@]}"; do
  "$build/bench/gen_landscape" --states "$n" --seed 7 --bin "$work/l$n.bin"
  options=(--ratesfile "$work/l$n.bin" --bin)

  start=$(date +%s.%N)
  /usr/bin/time -f %M -o "$work/mem.serial" "$build/zolvane" "${options[@]}" \
    > "$work/serial.out" 2> "$work/serial.err"
  serial=$(seconds "$start" "$(date +%s.%N)")
  diag=$(grep -o 'Time to diagonalize: [0-9.]*' "$work/serial.err" | awk '{print $NF}')
  mem=$(awk -v k="$(cat "$work/mem.serial")" -v n="$n" \
    'BEGIN { printf "%.0f (%.2f)", k / 1024, k * 1024 / (8 * n * n) }')
  printf '%6d %9s %9s %8s %10s %s\n' "$n" serial "$serial" 1.00 "$diag" "$mem"

  for p in "${counts[@]}"; do
    rm -f "$work"/mem.rank.*
    start=$(date +%s.%N)
    "$mpirun_sh" "$p" sh -c '/usr/bin/time -f %M -o "$0.$OMPI_COMM_WORLD_RANK" "$@"' \
      "$work/mem.rank" "$build/zolvane-mpi" "${options[@]}" > "$work/mpi.out" 2> "$work/mpi.err"
    wall=$(seconds "$start" "$(date +%s.%N)")
    diag=$(grep -o 'Time to diagonalize: [0-9.]*' "$work/mpi.err" | awk '{print $NF}')
    mem=$(cat "$work"/mem.rank.* | awk -v n="$n" -v p="$p" \
      '{ sep = NR > 1 ? " " : ""; printf "%s%.0f (%.2f)", sep, $1 / 1024, $1 * 1024 * p / (8 * n * n) }')
    printf '%6d %9d %9s %8s %10s %s\n' "$n" "$p" "$wall" \
      "$(awk -v s="$serial" -v w="$wall" 'BEGIN { printf "%.2f", s / w }')" "$diag" "$mem"
    if ! awk -f "$root/tests/distributed/compare_tables.awk" "$work/serial.out" "$work/mpi.out" \
      > "$work/compare"; then
      echo "  the table differs from the serial one:"
      head -5 "$work/compare"
    fi
  done
done

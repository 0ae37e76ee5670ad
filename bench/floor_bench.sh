#!/usr/bin/env bash
# zolvane against the floor of its work (bench/floor: the same input read with
# getline + from_chars or one fread, S built, dsyevd, one dgemm per block of
# time points, to_chars output) on the same generated landscapes, text and
# binary input. The two programs run interleaved, REPEAT times each, so that
# machine load hits both alike. Printed: median wall times and their ratio,
# the ratio of the fastest runs, the ratio of median CPU times (user + system;
# OpenBLAS threads that wait spin, so on a loaded machine this one is noisy
# too), and peak memory.
# Usage: bench/floor_bench.sh [BUILD_DIR] [SIZES...]   (default: build 1000 2000 3000)
# REPEAT (default 3) and OPENBLAS_NUM_THREADS (default 2) from the environment;
# ZOLVANE_OPTS adds options to zolvane's runs (e.g. "--eigensolver lapack":
# the floor's own dsyevd path, where the default run uses the factorised
# solver on these reversible landscapes).
set -euo pipefail
default_sizes=(1000 2000 3000)
source "$(dirname "$0")/bench_args.sh"
repeat=${REPEAT:-3}
export OPENBLAS_NUM_THREADS=${OPENBLAS_NUM_THREADS:-2}

# Runs "$@" with output to /dev/null; prints "wall_seconds peak_kB cpu_seconds".
measure() {
  local start end
  start=$(date +%s%N)
  "/usr/bin/time" -f '%M %U %S' -o "$work/mem" "$@" >/dev/null 2>"$work/err" || {
    echo "failed: $*" >&2
    cat "$work/err" >&2
    exit 1
  }
  end=$(date +%s%N)
  tail -1 "$work/mem" | awk -v ms=$(( (end - start) / 1000000 )) '{print ms / 1000, $1, $2 + $3}'
}

median() { sort -g | awk '{v[NR] = $1} END {print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2}'; }

# Peak memory of a run on 2 states: libraries, buffers and code, paid by any n.
"$build/bench/gen_landscape" --states 2 --seed 7 --rates "$work/r.txt"
base=$(measure "$build/zolvane" -q --ratesfile "$work/r.txt" | cut -d' ' -f2)
echo "peak memory of a 2-state run: $((base / 1024)) MB; the last column is zolvane's peak" \
  "above it in units of n^2 doubles"
printf '%6s %5s %8s %8s %6s %6s %6s %9s %9s %7s\n' states input floor_s zolv_s ratio \
  r_min r_cpu floor_MB zolv_MB 'n^2 dbl'
for n in "${sizes[@]}"; do
  "$build/bench/gen_landscape" --states "$n" --seed 7 --rates "$work/r.txt" --bin "$work/r.bin"
  for input in text bin; do
    if [ "$input" = text ]; then
      floor=("$build/bench/floor" --text "$work/r.txt")
      zolvane=("$build/zolvane" -q --ratesfile "$work/r.txt" ${ZOLVANE_OPTS:-})
    else
      floor=("$build/bench/floor" --bin "$work/r.bin")
      zolvane=("$build/zolvane" -q -b --ratesfile "$work/r.bin" ${ZOLVANE_OPTS:-})
    fi
    : >"$work/f" && : >"$work/z"
    for ((i = 0; i < repeat; ++i)); do
      measure "${floor[@]}" >>"$work/f"
      measure "${zolvane[@]}" >>"$work/z"
    done
    fs=$(cut -d' ' -f1 "$work/f" | median)
    zs=$(cut -d' ' -f1 "$work/z" | median)
    fmin=$(cut -d' ' -f1 "$work/f" | sort -g | head -1)
    zmin=$(cut -d' ' -f1 "$work/z" | sort -g | head -1)
    fc=$(cut -d' ' -f3 "$work/f" | median)
    zc=$(cut -d' ' -f3 "$work/z" | median)
    fm=$(cut -d' ' -f2 "$work/f" | sort -n | tail -1)
    zm=$(cut -d' ' -f2 "$work/z" | sort -n | tail -1)
    awk -v n="$n" -v kind="$input" -v fs="$fs" -v zs="$zs" -v fmin="$fmin" -v zmin="$zmin" \
      -v fc="$fc" -v zc="$zc" -v fm="$fm" -v zm="$zm" -v base="$base" 'BEGIN {
        printf "%6d %5s %8.3f %8.3f %6.2f %6.2f %6.2f %9.1f %9.1f %7.2f\n", n, kind, fs, zs,
               zs / fs, zmin / fmin, zc / fc, fm / 1024, zm / 1024,
               (zm - base) * 1024 / (8 * n * n) }'
  done
done

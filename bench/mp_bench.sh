#!/usr/bin/env bash
# Times whole runs (default time axis) of every --mlapack-method beside the
# double paths (ACCURATE: the default run, the factorised solver on these
# reversible landscapes; LAPACK: --eigensolver lapack), on generated
# landscapes of several sizes: processor seconds of each run (needs
# /usr/bin/time).
# Usage: bench/mp_bench.sh [BUILD_DIR] [SIZES...]        (default: build 100 200 500)
#   METHODS="ACCURATE LAPACK DD QD" restricts the methods; LIMIT=SECONDS skips a method at
#   the sizes after its first run that took longer (default 120); EXTRA_OPTS adds
#   options to every run (e.g. "--fpt all"). DD also runs at 1000 states unless
#   NO_DD_1000 is set.
set -euo pipefail
default_sizes=(100 200 500)
source "$(dirname "$0")/bench_args.sh"
methods=(${METHODS:-ACCURATE LAPACK DOUBLE LD DD QD FLOAT128 MPFR-128 GMP-128})
limit=${LIMIT:-120}

declare -A skip
run() {  # method n -> prints the wall time in seconds, or "fail"
  local method=$1 n=$2 args=()
  case $method in
    ACCURATE) ;;
    LAPACK) args=(--eigensolver lapack) ;;
    MPFR-*|GMP-*) args=(--mlapack-method "${method%-*}" --mlapack-precision "${method#*-}") ;;
    *) args=(--mlapack-method "$method") ;;
  esac
  # Processor time (user + system) of the whole run: on a shared machine it
  # varies far less than the wall time.
  if ! /usr/bin/time -f '%U %S' -o "$work/time" "$build/zolvane" --ratesfile "$work/r$n.txt" \
      -q ${EXTRA_OPTS:-} "${args[@]}" >"$work/out" 2>"$work/err"; then
    echo fail
    return
  fi
  awk '{printf "%.2f", $1 + $2}' "$work/time"
}

printf '%-10s' method
all_sizes=("${sizes[@]}")
[[ " ${sizes[*]} " =~ " 1000 " ]] || [ -n "${NO_DD_1000:-}" ] || all_sizes+=(1000)
for n in "${all_sizes[@]}"; do printf '%10s' "n=$n"; done
printf '\n'
for n in "${all_sizes[@]}"; do
  "$build/bench/gen_landscape" --states "$n" --seed 7 --rates "$work/r$n.txt"
done
for method in "${methods[@]}"; do
  printf '%-10s' "$method"
  for n in "${all_sizes[@]}"; do
    # 1000 states only for DD and the double paths, unless asked for.
    if [ "$n" = 1000 ] && [[ ! " ${sizes[*]} " =~ " 1000 " ]] &&
       [[ ! "$method" =~ ^(LAPACK|DOUBLE|DD)$ ]]; then
      printf '%10s' -
      continue
    fi
    if [ -n "${skip[$method]:-}" ]; then
      printf '%10s' skip
      continue
    fi
    t=$(run "$method" "$n")
    printf '%10s' "$t"
    if [ "$t" = fail ] || awk -v t="$t" -v l="$limit" 'BEGIN{exit !(t > l)}'; then
      skip[$method]=1
    fi
  done
  printf '\n'
done

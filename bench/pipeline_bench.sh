#!/usr/bin/env bash
# Times whole runs of zolvane on generated landscapes and reports each stage.
# Usage: bench/pipeline_bench.sh [BUILD_DIR] [SIZES...]   (default: build 500 1000 2000)
# Extra zolvane options can be passed in ZOLVANE_OPTS, e.g. ZOLVANE_OPTS="--exponent".
set -euo pipefail
default_sizes=(500 1000 2000)
source "$(dirname "$0")/bench_args.sh"
printf '%6s %10s %10s %10s %10s %10s %8s\n' states read+init diagonal iterate fpt wall lines
for n in "${sizes[@]}"; do
  "$build/bench/gen_landscape" --states "$n" --seed 7 --rates "$work/r$n.txt"
  start=$(date +%s.%N)
  "$build/zolvane" --ratesfile "$work/r$n.txt" ${ZOLVANE_OPTS:-} >"$work/out" 2>"$work/err"
  end=$(date +%s.%N)
  pick() { grep -o "$1: [0-9.]*" "$work/err" | awk '{print $NF}' | tail -1; }
  printf '%6d %10s %10s %10s %10s %10.2f %8d\n' "$n" "$(pick 'Time to initialize')" \
    "$(pick 'Time to diagonalize')" "$(pick 'Time to iterate')" "$(pick 'Time to compute fpt')" \
    "$(awk -v a="$start" -v b="$end" 'BEGIN{print b-a}')" "$(grep -vc '^#' "$work/out")"
done

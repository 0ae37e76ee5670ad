#!/usr/bin/env bash
# The exact propagator in whole runs beside the floor (bench/floor: read, S,
# dsyevd, the table) and the default run, on a stiff generated landscape
# (tests/stiff/gen_stiff, KIND cascade, STIFFNESS 1e24), started at its top
# and run to T8 = 1e30:
#   default   the factorised solver (the landscape is reversible)
#   exponent  --exponent, the propagator on the geometric axis
#   nonrev    the same rates each multiplied by 1 + 1e-5 U(-1, 1): no longer
#             in detailed balance, so the default run takes the propagator
# and, with OLD_BUILD set, that build's --exponent, cut after OLD_LIMIT
# seconds (default 300) and extrapolated from its lines to the lines of the
# new table. Then `propagate` (bench/propagate.cc) on the whole axes: the
# squarings and products per time point. Printed: wall and CPU seconds
# (user + system) and peak memory of each run, the ratios of wall and CPU
# time to the floor's.
# Usage: bench/propagator_bench.sh [BUILD_DIR] [SIZES...]   (default: build 500 1000 2000)
# OPENBLAS_NUM_THREADS (default 2) from the environment.
set -euo pipefail
default_sizes=(500 1000 2000)
source "$(dirname "$0")/bench_args.sh"
export OPENBLAS_NUM_THREADS=${OPENBLAS_NUM_THREADS:-2}
kind=${KIND:-cascade}
stiffness=${STIFFNESS:-1e24}
t8=${T8:-1e30}
old_limit=${OLD_LIMIT:-300}

# Runs "$@" with output to $work/out; prints "wall_seconds cpu_seconds peak_MB".
measure() {
  local start end
  start=$(date +%s%N)
  "/usr/bin/time" -f '%M %U %S' -o "$work/mem" "$@" >"$work/out" 2>"$work/err" || true
  end=$(date +%s%N)
  tail -1 "$work/mem" | awk -v ms=$(( (end - start) / 1000000 )) \
    '{printf "%.2f %.2f %.0f\n", ms / 1000, $2 + $3, $1 / 1024}'
}

printf '%5s %-9s %8s %8s %7s %7s %7s %6s\n' states run wall_s cpu_s MB wall/fl cpu/fl lines
for n in "${sizes[@]}"; do
  "$build/tests/gen_stiff" --kind "$kind" --states "$n" --stiffness "$stiffness" --seed 3 \
    --qorp "$work/l.qorp" --rates "$work/r.txt" >/dev/null
  awk 'BEGIN { srand(11) }
       { for (i = 1; i <= NF; ++i) if ($i + 0 != 0) $i = sprintf("%.17g", $i * (1 + 2e-5 * (rand() - 0.5)))
         print }' "$work/r.txt" >"$work/p.txt"
  read -r fw fc fm < <(measure "$build/bench/floor" --text "$work/r.txt")
  row() {
    local name=$1 w=$2 c=$3 m=$4 lines=$5
    awk -v n="$n" -v name="$name" -v w="$w" -v c="$c" -v m="$m" -v fw="$fw" -v fc="$fc" \
      -v lines="$lines" 'BEGIN { printf "%5d %-9s %8.2f %8.2f %7.0f %7.1f %7.1f %6s\n",
                                n, name, w, c, m, w / fw, c / fc, lines }'
  }
  row floor "$fw" "$fc" "$fm" -
  common=(--t8 "$t8" --p0 "$n=1" -q)
  for run in default exponent nonrev; do
    case $run in
      default) args=(--ratesfile "$work/r.txt") ;;
      exponent) args=(--ratesfile "$work/r.txt" --exponent) ;;
      nonrev) args=(--ratesfile "$work/p.txt") ;;
    esac
    read -r w c m < <(measure "$build/zolvane" "${args[@]}" "${common[@]}")
    lines=$(grep -vc '^#' "$work/out" || true)
    [ "$run" = exponent ] && exponent_lines=$lines
    row "$run" "$w" "$c" "$m" "$lines"
  done
  if [ -n "${OLD_BUILD:-}" ]; then
    read -r w c m < <(measure timeout "$old_limit" "$OLD_BUILD/zolvane" --ratesfile "$work/r.txt" \
      --exponent "${common[@]}")
    lines=$(grep -vc '^#' "$work/out" || true)
    # Cut short: the whole table at the same pace.
    if [ "$lines" -lt "$exponent_lines" ] && [ "$lines" -gt 0 ]; then
      w=$(awk -v w="$w" -v a="$lines" -v b="$exponent_lines" 'BEGIN { print w * b / a }')
      c=$(awk -v c="$c" -v a="$lines" -v b="$exponent_lines" 'BEGIN { print c * b / a }')
      lines="$lines/$exponent_lines"
    fi
    row old_expo "$w" "$c" "$m" "$lines"
  fi
  echo "   $("$build/bench/propagate" "$work/r.txt" --t8 "$t8" --exponent --from-top) (--exponent axis)"
  echo "   $("$build/bench/propagate" "$work/p.txt" --t8 "$t8" --from-top) (table axis)"
done

#!/usr/bin/env bash
# Every stiff fixture under every option set that strains the arithmetic,
# through the LAPACK path and every --mlapack-method: each run must end with
# status 0, 1 or 255, never by a signal or an uncaught exception, and print
# no library's own error text (nor a sanitizer report, in a sanitizer build).
# Too long for CTest (about 1600 runs); tests/calc/hostile_input_test.cc runs
# a table of bad inputs there. Run by hand after changing the arithmetic:
#   tests/stiff/signal_sweep.sh build/zolvane [METHOD...]
# Prints the runs that failed and a summary; the status is 1 if any failed.
set -uo pipefail
zolvane=$(realpath "$1")
shift
methods=("$@")
if [ ${#methods[@]} -eq 0 ]; then methods=(LAPACK DOUBLE LD DD QD FLOAT128 MPFR GMP); fi
fixtures=$(cd "$(dirname "$0")/fixtures" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
export OPENBLAS_NUM_THREADS=1

runs=0
failed=0
# run OPTION...: the options under every method.
run() {
  local method
  for method in "${methods[@]}"; do
    local extra=(--mlapack-method "$method" --mlapack-precision 128)
    if [ "$method" = LAPACK ]; then extra=(); fi
    local status=0
    "$zolvane" "$@" "${extra[@]}" > out.txt 2> err.txt < /dev/null || status=$?
    runs=$((runs + 1))
    if { [ "$status" -ne 0 ] && [ "$status" -ne 1 ] && [ "$status" -ne 255 ]; } ||
      grep -q "terminate called\|what()\|dd_real::\|qd_real::\|runtime error\|Sanitizer" err.txt; then
      failed=$((failed + 1))
      echo "FAILED (status $status): zolvane $* ${extra[*]}"
      grep -m 3 "terminate called\|what()\|_real::\|runtime error\|Sanitizer" err.txt
    fi
  done
}

for rates in "$fixtures"/*.rates; do
  qorp=${rates%.rates}.qorp
  n=$(grep -c . "$rates")
  # The same rates in the binary layout: the count, then column i = the
  # rates out of state i.
  perl -e 'my @r; while (<>) { push @r, [split] } my $n = @r; print pack("l", $n);
           for my $i (0 .. $n - 1) { print pack("d", $r[$_][$i]) for 0 .. $n - 1 }' \
    "$rates" > rates.bin
  for options in "" "--useplusI" "--fpt all" "--fpt 1" "--fpt $n" "--t8 1e30 --tinc 2" \
    "-a 2 --qorp $qorp" "-a 1 --qorp $qorp --useplusI" "-a 2 --qorp $qorp --fpt all"; do
    # shellcheck disable=SC2086
    run --ratesfile "$rates" $options
  done
  run -m A --qorp "$qorp"
  run -m A --qorp "$qorp" -a 2 --p0 $((n + 1))=1
  run -m A --qorp "$qorp" -a 2 --p0 $((n + 1))=1 --useplusI
  run --bin --ratesfile rates.bin -n 3
  run --bin --ratesfile rates.bin -n 3 --max-decrease 1
  run --bin --ratesfile rates.bin -n 1
done
echo "$runs runs, $failed failed"
[ "$failed" -eq 0 ]

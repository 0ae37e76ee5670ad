#!/usr/bin/env bash
# Before/after check for changes that must not change behaviour: runs the
# same command lines with two builds, each in a directory of its own, and
# compares standard output, standard error, exit status and every file the
# run wrote. The date line of the table and the seconds of the timing lines
# are blanked first. Prints the cases that differ (with the diff) and exits
# 1 if there is one.
# Usage: scripts/compare_runs.sh OLD_ZOLVANE NEW_ZOLVANE (each a program or its build directory)
# zolvane-mpi next to each binary is run too (2 processes) when both exist,
# and scripts/compare_python.py with the Python module of each build when
# both build directories hold one (python/zolvane*.so).
# COMPARE_KEEP=1 keeps the outputs (the directory is named on stderr).
set -uo pipefail
if [ $# -ne 2 ]; then
  echo "usage: $0 OLD_ZOLVANE NEW_ZOLVANE" >&2
  exit 2
fi
root=$(cd "$(dirname "$0")/.." && pwd)
old=$(realpath "$1")
new=$(realpath "$2")
# A build directory stands for the zolvane in it. Anything else that is not
# a program would make every case fail alike in both runs and pass unseen.
[ -d "$old" ] && old=$old/zolvane
[ -d "$new" ] && new=$new/zolvane
for bin in "$old" "$new"; do
  if [ ! -x "$bin" ] || [ -d "$bin" ]; then
    echo "$0: $bin is not a program" >&2
    exit 2
  fi
done
work=$(mktemp -d)
[ -n "${COMPARE_KEEP:-}" ] && echo "outputs kept in $work" >&2 || trap 'rm -rf "$work"' EXIT

ex=$root/examples
fx=$root/tests/stiff/fixtures
# One command line per case; $Z is the program, $MPI the distributed one.
cases=$(cat <<'EOF'
$Z -f $ex/landscape.rates
$Z -f $ex/landscape.rates --t8 1e4 --tinc 1.5 --equil-file eq.txt
$Z -m A < $ex/landscape.qorp
$Z -m A -B $ex/landscape.qorp --t0 0 --p0 3=1
$Z -b -f $ex/landscape.bin
$Z -b -f $ex/landscape.bin -n 8
$Z -b -f $ex/landscape.bin -n 5 --max-decrease 1 --mlapack-method DD
$Z -m A -n 6 < $ex/landscape.qorp
$Z -f $fx/cascade_1e12.rates
$Z -m A < $fx/funnel_1e24.qorp
$Z -f $fx/deep_1e30.rates --eigensolver lapack
$Z -m A --absorb 1 --t8 1e28 < $fx/funnel_1e24.qorp
$Z -f $ex/landscape.rates --mlapack-method DD
$Z -f $ex/landscape.rates --mlapack-method QD --fpt all
$Z -f $ex/landscape.rates --mlapack-method MPFR -c 128 --t8 1e6
$Z -f $ex/landscape.rates --mlapack-method LD
$Z -f $ex/landscape.rates --warnings --t0 0 --tinc 1.02 --t8 1e12
$Z -f $ex/landscape.rates --warnings --t8 1e12 --mlapack-method DD
$Z -f $ex/landscape.rates --t0 0 --num-err R --tinc 1.01 --mlapack-method QD
$Z -m A --absorb 1 --t8 1e28 --warnings --mlapack-method DD < $fx/funnel_1e24.qorp
$Z -f $ex/landscape.rates > /dev/full
$Z -f $ex/landscape.rates --mlapack-method DD > /dev/full
$Z -f $ex/landscape.rates --fpt 1
$Z -f $ex/landscape.rates --fpt all --fptfile fpt.txt
$Z -f $ex/landscape.rates --fpt 99 --just-shorten
$Z -f $ex/landscape.rates --exponent --t8 1e4
$Z -m A --exponent --t8 1e4 < $ex/landscape.qorp
$Z -f $ex/landscape.rates --absorb 1 -B $ex/landscape.qorp
$Z -m A --absorb 3 --fpt all < $ex/landscape.qorp
$Z -f $ex/landscape.rates --dumpX
$Z -m A --dumpX -v < $ex/landscape.qorp
$Z -f $ex/landscape.rates --dumpX --mlapack-method DD
$Z -f $ex/landscape.rates --dumpX --mlapack-method QD
$Z -f $ex/landscape.rates --dumpX --eigensolver lapack
$Z -f $ex/landscape.rates --useplusI
$Z -f $ex/landscape.rates --useplusI --eigensolver lapack
$Z -f $ex/landscape.rates --dumpE --dumpU --mathematicamatrix -q
$Z -f $ex/landscape.rates --minimal-rate 1e-3 --times 2
$Z -m A --hard-rescale 0.5 < $ex/landscape.qorp
$Z -f $ex/landscape.rates --visualize graph
$Z -f /nonexistent.rates
$Z -f $ex/landscape.qorp
$Z -m A < /dev/null
$Z -f /dev/null
$Z -f /
$Z -m A -B /
$Z -f $ex/landscape.rates --absorb 1 -B /
$Z -b -f $ex/landscape.rates
head -c 100 $ex/landscape.bin > cut.bin && $Z -b -f cut.bin
head -c 100 $ex/landscape.bin | $Z -b
printf 'SEQ\n1 . -1 0 0\n3 . -2 1 1\n' | $Z -m A
printf 'SEQ\n1 . -1 0 0\n2 . -2 5 1\n' | $Z -m A
$Z -m A --degeneracy < $ex/landscape.qorp
$Z -f $ex/landscape.rates --p0 99=1
$Z -f $ex/landscape.rates --recoverE
$Z -f $ex/landscape.rates --dumpE -q && $Z -f $ex/landscape.rates --recoverE --t8 1e4
$Z -m A --dumpE < $ex/landscape.qorp && $Z -m A --recoverE --fpt all --p0 2=1 < $ex/landscape.qorp
$Z -f $ex/landscape.rates --dumpE --absorb 1 -B $ex/landscape.qorp && $Z -f $ex/landscape.rates --recoverE --absorb 1 -B $ex/landscape.qorp
$Z -f $ex/landscape.rates --dumpE -q && $Z -f $ex/landscape.rates --recoverE -v
$Z -f $ex/landscape.rates --dumpE --mlapack-method DD && $Z -f $ex/landscape.rates --recoverE
$Z -m A --absorb 3 --dumpE < $ex/landscape.qorp && $Z -m A --absorb 3 --recoverE < $ex/landscape.qorp
$Z -f $fx/cascade_1e12.rates --dumpE --eigensolver lapack && $Z -f $fx/cascade_1e12.rates --recoverE
$Z -f $ex/landscape.rates --dumpE --useplusI && $Z -f $ex/landscape.rates --recoverE --useplusI
$Z -f $ex/landscape.rates --eigensolver accurate -v
$Z -m A --absorb 3 --eigensolver lapack < $ex/landscape.qorp
$Z -m A --absorb 3 --mlapack-method DD -v < $ex/landscape.qorp
$Z -f $ex/landscape.rates --mlapack-method GMP -c 96
$Z -f $ex/landscape.rates --mlapack-method FLOAT128 --dumpE
$Z -f $ex/landscape.rates --mlapack-method DOUBLE --useplusI
$Z -f $fx/cascade_1e12.rates --mlapack-method LD
printf 'S\n1 . -1 0 0\n2 . -2 1 1\n3 . -1.5 1 2\n' > q3 && printf '0 2 1\n1 0 2\n2 1 0\n' > cyc.rates && $Z -f cyc.rates --absorb 3 -B q3 -v
printf 'S\n1 . -1 0 0\n2 . -2 1 1\n3 . -1.5 1 2\n' > q3 && printf '0 2 1\n1 0 2\n2 1 0\n' > cyc.rates && $Z -f cyc.rates --absorb 3 -B q3 --eigensolver lapack --dumpE
printf '0 2 1\n1 0 2\n2 1 0\n' > cyc.rates && $Z -f cyc.rates --eigensolver lapack -v
printf '0 2 1\n1 0 2\n2 1 0\n' > cyc.rates && $Z -f cyc.rates
printf '0 1\n0 0\n' | $Z
$Z -f $ex/landscape.rates --just-shorten --equil-file /dev/full --fpt all --fptfile /dev/full
$Z -f $ex/landscape.rates --fpt 1 --fptfile /dev/full
ln -s /dev/full g.dot && $Z -f $ex/landscape.rates --visualize g --just-shorten
$Z --no-such-option
$Z --mlapack-method XX
$Z --t8 0 --p0 2=0.3
$Z --p0 x -f $ex/landscape.rates
$Z -q -f /nonexistent.rates
$Z -f $ex/landscape.rates --p0 2=0.3 --p0 3=0.3 --t8 1e3
$Z -m A --absorb 99 < $ex/landscape.qorp
$Z -f $ex/landscape.rates --absorb 1
printf '0 1 0\n1 0 0\n0 0 0\n' | $Z --p0 1=0.5 --p0 3=0.5
$Z --info -f $ex/landscape.rates
$Z --version
$MPI -f $ex/landscape.rates
$MPI -m A --minimal-rate 1e-3 < $ex/landscape.qorp
$MPI -f $ex/landscape.rates --dumpX
$MPI -f $ex/landscape.rates --useplusI --hard-rescale 0.8 --times 3
$MPI -f $ex/landscape.rates --exponent
$MPI -f $ex/landscape.rates --warnings --t0 0 --tinc 1.02 --t8 1e12 --num-err R
printf '0 1 1 1 1\n1 0 1 1 1\n1 1 0 1 1\n1 1 1 0 1\n1 1 1 1 0\n' > ties.rates && $MPI -f ties.rates --t8 10
EOF
)

# Runs every case with the program $1 into directory $2/<case number>.
run_all() {
  local bin=$1 out=$2 k=0 mpi=""
  if [ -x "$(dirname "$old")/zolvane-mpi" ] && [ -x "$(dirname "$new")/zolvane-mpi" ]; then
    mpi="mpirun --allow-run-as-root --oversubscribe -n 2 zolvane-mpi"
  fi
  while IFS= read -r line; do
    k=$((k + 1))
    mkdir -p "$out/$k"
    case $line in
      *'$MPI'*) [ -n "$mpi" ] || continue ;;
    esac
    (
      cd "$out/$k" || exit
      # By name on PATH, so that messages naming the program read alike.
      PATH=$(dirname "$bin"):$PATH Z=zolvane MPI=$mpi eval "$line" > stdout 2> stderr < /dev/null
      echo $? > status
    ) < /dev/null
    sed -i -e 's/^# Date: .*/# Date:/' -e 's/\(Time to [a-z ]*: \)[0-9.]* secs/\1- secs/' \
      -e 's/Process name: .*/Process name:/' \
      "$out/$k/stdout" "$out/$k/stderr"
  done <<< "$cases"
}

run_all "$old" "$work/old"
run_all "$new" "$work/new"
status=0
k=0
while IFS= read -r line; do
  k=$((k + 1))
  if [ ! -f "$work/old/$k/status" ]; then
    echo "skipped: $line"
    continue
  fi
  if ! d=$(diff -r "$work/old/$k" "$work/new/$k"); then
    echo "DIFFERS: $line"
    echo "$d" | head -n 40
    status=1
  fi
done <<< "$cases"
cases_run=$(find "$work/old" -name status | wc -l)

# The Python module: what its calls return, raise and warn.
old_module=$(ls "$(dirname "$old")"/python/zolvane*.so 2> /dev/null | head -n 1)
new_module=$(ls "$(dirname "$new")"/python/zolvane*.so 2> /dev/null | head -n 1)
if [ -n "$old_module" ] && [ -n "$new_module" ]; then
  for side in old new; do
    module=${side}_module
    mkdir -p "$work/python-$side"
    (
      cd "$work/python-$side" || exit
      PYTHONPATH=$(dirname "${!module}") /usr/bin/python3 "$root/scripts/compare_python.py" \
        "$root" > stdout 2> stderr
      echo $? > status
    ) < /dev/null
  done
  if ! d=$(diff -r "$work/python-old" "$work/python-new"); then
    echo "DIFFERS: the Python module (scripts/compare_python.py)"
    echo "$d" | cut -c1-300 | head -n 40
    status=1
  fi
  cases_run=$((cases_run + 1))
fi
if [ $status -eq 0 ]; then
  echo "compare_runs.sh: $cases_run cases, same output, files and status"
fi
exit $status

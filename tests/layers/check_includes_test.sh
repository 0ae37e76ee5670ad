#!/usr/bin/env bash
# The include-direction check: it passes on the source tree and catches, in
# a scratch tree, a lower folder including from run/, base/ including from
# anywhere else, a calc/ folder including a sibling, and a function declared
# in another calc/ folder than the one that defines it.
# Usage: check_includes_test.sh SOURCE_DIR
set -euo pipefail
src=$1
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

bash "$src/scripts/check_includes.sh" "$src" || fail "the source tree has includes that point up"

mkdir -p "$scratch"/{base,input,calc/model,calc/table,calc/passage,calc/extended,run,extra}
# calc/table/ declares and defines MxWrite; calc/extended/ is above table/
# and may include and call it.
printf 'class Calc {};\n' > "$scratch/calc/model/calc.h"
printf '#include "calc/model/calc.h"\nint MxWrite(const Calc& c, int n);\n' \
  > "$scratch/calc/table/write.h"
printf '#include "calc/table/write.h"\nint MxWrite(const Calc& c, int n) { return n; }\n' \
  > "$scratch/calc/table/write.cc"
printf '#include "calc/table/write.h"\nint F(Calc& c) { return MxWrite(c, 1); }\n' \
  > "$scratch/calc/extended/ok.cc"
printf '#include "base/fatal.h"\n#include "extra/x.h"\n' > "$scratch/input/ok.cc"
printf '#include "input/ok.h"\n#include "base/fatal.h"\n' > "$scratch/calc/model/ok.cc"
printf '#include "calc/model/ok.h"\n' > "$scratch/calc/table/ok.cc"
printf '#include "calc/model/calc.h"\n#include "run/driver.h"\n' > "$scratch/run/ok.cc"
bash "$src/scripts/check_includes.sh" "$scratch" > "$scratch/out" 2>&1 ||
  { cat "$scratch/out" >&2; fail "downward includes refused"; }

printf '#include "base/fatal.h"\n#include "run/run_options.h"\n' > "$scratch/input/up.h"
printf '#include "extra/x.h"\n' > "$scratch/base/up.cc"
printf '#include "calc/model/calc.h"\n' > "$scratch/input/up.cc"
printf '#include "calc/table/ok.h"\n' > "$scratch/calc/passage/side.cc"
# A function of table/ declared in model/, which would let a lower or a
# sibling folder call it through model/ alone.
printf '#include "calc/model/calc.h"\nint MxRead(const Calc& c);\n' > "$scratch/calc/model/read.h"
printf '#include "calc/model/read.h"\nint MxRead(const Calc& c) { return 0; }\n' \
  > "$scratch/calc/table/read.cc"
if bash "$src/scripts/check_includes.sh" "$scratch" > "$scratch/out" 2>&1; then
  fail "includes that point up passed"
fi
for expected in 'input/up.h:2:#include "run/run_options.h": input/ must not include from run/' \
  'base/up.cc:1:#include "extra/x.h": base/ must not include from extra/' \
  'input/up.cc:1:#include "calc/model/calc.h": input/ must not include from calc/' \
  'calc/passage/side.cc:1:#include "calc/table/ok.h": calc/passage/ must not include from calc/table/' \
  'calc/model/read.h: calc/model/ declares MxRead, which calc/table defines'; do
  grep -qxF "$expected" "$scratch/out" || { cat "$scratch/out" >&2; fail "not reported: $expected"; }
done
[ "$(grep -c 'must not\|declares' "$scratch/out")" = 5 ] || fail "more reported than the five"
echo "include direction: OK"

#!/usr/bin/env bash
# The include-direction check: it passes on the source tree and catches, in
# a scratch tree, a lower folder including from run/, base/ including from
# anywhere else, and a calc/ folder calling a sibling's member of Calc.
# Usage: check_includes_test.sh SOURCE_DIR
set -euo pipefail
src=$1
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

bash "$src/scripts/check_includes.sh" "$src" || fail "the source tree has includes that point up"

mkdir -p "$scratch"/{base,input,calc/model,calc/table,calc/passage,calc/extended,run,extra}
# Calc declares a member that calc/table/ defines; calc/extended/ is above
# table/ and may call it.
printf 'struct Calc {\n  int MxWrite(int n);\n};\n' > "$scratch/calc/model/calc.h"
printf 'int Calc::MxWrite(int n) { return n; }\n' > "$scratch/calc/table/write.cc"
printf '#include "calc/model/calc.h"\nint F(Calc& c) { return c.MxWrite(1); }\n' \
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
# A sibling's member through calc.h alone.
printf '#include "calc/model/calc.h"\n// c.MxWrite(0) in a comment\nint G(Calc& c) { return c.MxWrite(2); }\n' \
  > "$scratch/calc/passage/call.cc"
if bash "$src/scripts/check_includes.sh" "$scratch" > "$scratch/out" 2>&1; then
  fail "includes that point up passed"
fi
for expected in 'input/up.h:2:#include "run/run_options.h": input/ must not include from run/' \
  'base/up.cc:1:#include "extra/x.h": base/ must not include from extra/' \
  'input/up.cc:1:#include "calc/model/calc.h": input/ must not include from calc/' \
  'calc/passage/side.cc:1:#include "calc/table/ok.h": calc/passage/ must not include from calc/table/' \
  'calc/passage/call.cc:3: calc/passage/ must not call Calc::MxWrite of calc/table/'; do
  grep -qxF "$expected" "$scratch/out" || { cat "$scratch/out" >&2; fail "not reported: $expected"; }
done
[ "$(grep -c 'must not' "$scratch/out")" = 5 ] || fail "more reported than the five"
echo "include direction: OK"

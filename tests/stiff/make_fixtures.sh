#!/usr/bin/env bash
# Regenerates the stiff fixtures in tests/stiff/fixtures from gen_stiff:
#   tests/stiff/make_fixtures.sh BUILD_DIR
# Each kind is one landscape shape (seed 1) scaled to the stiffness in its
# file name: R = largest / smallest rate, at 37 degrees Celsius.
set -euo pipefail
build=$1
out=$(cd "$(dirname "$0")" && pwd)/fixtures
for r in 6 12 18 24 30 36; do
  "$build/tests/gen_stiff" --kind funnel --states 16 --stiffness "1e$r" \
    --qorp "$out/funnel_1e$r.qorp" --rates "$out/funnel_1e$r.rates"
  "$build/tests/gen_stiff" --kind cascade --states 8 --stiffness "1e$r" \
    --qorp "$out/cascade_1e$r.qorp" --rates "$out/cascade_1e$r.rates"
done
# One wider funnel where the arithmetic matters most.
for r in 30 36; do
  "$build/tests/gen_stiff" --kind funnel --states 30 --stiffness "1e$r" \
    --qorp "$out/funnel30_1e$r.qorp" --rates "$out/funnel30_1e$r.rates"
done
# Flat landscapes: 10 minima under one saddle.
for r in 12 24 36; do
  "$build/tests/gen_stiff" --kind flat --states 10 --stiffness "1e$r" \
    --qorp "$out/flat_1e$r.qorp" --rates "$out/flat_1e$r.rates"
done
# Deep funnels: a mild spectrum over an equilibrium spanning R.
for r in 24 30; do
  "$build/tests/gen_stiff" --kind deep --states 36 --stiffness "1e$r" \
    --qorp "$out/deep_1e$r.qorp" --rates "$out/deep_1e$r.rates"
done
# A landscape too large for the reference: the default run against quad-double.
"$build/tests/gen_stiff" --kind funnel --states 300 --stiffness 1e24 \
  --qorp "$out/funnel300_1e24.qorp" --rates /dev/null

#!/usr/bin/env bash
# Sets up, builds and runs zolvane on the bundled example landscape: prints
# the population table and draws it into build/example.svg. Only the two
# programs are built, and the build output goes to build/build.log, never
# into the table.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$root/build
log=$build/build.log
bash "$root/scripts/setup.sh" >&2
mkdir -p "$build"
if ! { cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release &&
       cmake --build "$build" -j "$(nproc)" --target zolvane zolvane-plot; } > "$log" 2>&1; then
  tail -n 20 "$log" >&2
  echo "run_example.sh: the build failed; its whole output is in $log" >&2
  exit 1
fi
"$build/zolvane" --ratesfile "$root/examples/landscape.rates" --t8 1e6 | tee "$build/example.table"
"$build/zolvane-plot" "$build/example.table" -o "$build/example.svg"
echo "run_example.sh: population plot written to $build/example.svg" >&2

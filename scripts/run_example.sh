#!/usr/bin/env bash
# Sets up, builds and runs zolvane on the bundled example landscape.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/scripts/setup.sh"
bash "$root/scripts/build.sh" "$root/build" -DCMAKE_BUILD_TYPE=Release
"$root/build/zolvane" --ratesfile "$root/examples/landscape.rates" --t8 1e6

#!/usr/bin/env bash
# Sets up, builds and runs every test: the layout check, a Release build and a
# build with AddressSanitizer and UndefinedBehaviorSanitizer.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/scripts/setup.sh"
bash "$root/scripts/check_format.sh"
bash "$root/scripts/build.sh" "$root/build" -DCMAKE_BUILD_TYPE=Release
(cd "$root/build" && ctest --output-on-failure -j "$(nproc)")
bash "$root/scripts/build.sh" "$root/build-sanitize" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DZOLVANE_SANITIZE=ON -DZOLVANE_BUILD_BENCH=OFF
(cd "$root/build-sanitize" && ctest --output-on-failure -j "$(nproc)")

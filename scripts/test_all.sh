#!/usr/bin/env bash
# Sets up, builds and runs every test: the layout check, a Release build and a
# build with AddressSanitizer and UndefinedBehaviorSanitizer. The sanitizer
# tree builds while the Release tests run (its output goes to
# build-sanitize/build.log, printed if it fails): alone, neither keeps the
# cores busy all the time (configuring, linking, a last long test).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/scripts/setup.sh"
bash "$root/scripts/check_format.sh"
bash "$root/scripts/build.sh" "$root/build" -DCMAKE_BUILD_TYPE=Release
mkdir -p "$root/build-sanitize"
log="$root/build-sanitize/build.log"
# A process group of its own, so that a failure of the Release tests stops
# the whole build.
setsid bash "$root/scripts/build.sh" "$root/build-sanitize" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DZOLVANE_SANITIZE=ON -DZOLVANE_BUILD_BENCH=OFF > "$log" 2>&1 &
sanitize_build=$!
trap 'kill -- -"$sanitize_build" 2> /dev/null || true' EXIT
(cd "$root/build" && ctest --output-on-failure -j "$(nproc)")
if ! wait "$sanitize_build"; then
  cat "$log"
  echo "test_all.sh: the sanitizer build failed (build-sanitize/build.log)" >&2
  exit 1
fi
trap - EXIT
(cd "$root/build-sanitize" && ctest --output-on-failure -j "$(nproc)")

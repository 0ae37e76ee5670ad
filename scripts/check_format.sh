#!/usr/bin/env bash
# Checks the layout of the C++ sources against .clang-format: prints the diff
# for every file that clang-format would change and exits 1 if there is one.
# Usage: scripts/check_format.sh [FILE...]   (default: every tracked .cc/.h)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
if ! command -v clang-format > /dev/null; then
  echo "check_format.sh: clang-format is not installed (Debian package clang-format)" >&2
  exit 1
fi
if [ $# -gt 0 ]; then
  files=("$@")
elif git rev-parse --is-inside-work-tree > /dev/null 2>&1; then
  mapfile -t files < <(git ls-files '*.cc' '*.h')
else
  mapfile -t files < <(find . -path './build*' -prune -o \( -name '*.cc' -o -name '*.h' \) -print |
    sed 's|^\./||' | sort)
fi
status=0
for f in "${files[@]}"; do
  clang-format --style=file "$f" | diff -u --label "$f" --label "$f (clang-format)" "$f" - ||
    status=1
done
if [ $status -ne 0 ]; then
  echo "check_format.sh: the files above differ from .clang-format; run clang-format -i on them" >&2
fi
exit $status

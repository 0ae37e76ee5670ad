#!/usr/bin/env bash
# Include direction: every #include "folder/file" of the sources points into
# its own folder or into a lower layer, so base/ includes nothing of the
# project, no folder below run/ includes from run/, and the two front ends,
# run/ and distributed/, stand side by side above app/; inside calc/ its
# folders keep the same rule among themselves. Prints every include
# that points up and exits 1 if there is one.
# Usage: scripts/check_includes.sh [SOURCE_DIR]
set -euo pipefail
root=${1:-$(cd "$(dirname "$0")/.." && pwd)}

# Layers, lowest first; folders of one layer may not include each other.
declare -A layer=(
  [base]=0
  [matrix]=1 [command_line]=1 [elimination]=1
  [input]=2 [spectral]=2 [propagator]=2
  [calc]=3 [visualize]=3
  [app]=4
  [run]=5 [distributed]=5 [plot]=5
)

status=0
for folder in "${!layer[@]}"; do
  [ -d "$root/$folder" ] || continue
  while IFS= read -r hit; do
    target=$(sed -n 's/^[^:]*:[0-9]*:#include "\([^/"]*\)\/.*/\1/p' <<< "$hit")
    [ -n "$target" ] && [ "$target" != "$folder" ] || continue
    if [ -z "${layer[$target]+set}" ]; then
      # A folder of its own (a new one, tests, ...): only base/ may not use it.
      [ "$folder" != base ] && continue
    elif (( layer[$target] < layer[$folder] )); then
      continue
    fi
    echo "${hit#"$root"/}: $folder/ must not include from $target/"
    status=1
  done < <(grep -rn '^#include "' "$root/$folder" --include='*.cc' --include='*.h' || true)
done
# Inside calc/ the same rule between its folders, lowest first.
declare -A calc_layer=(
  [model]=0
  [spectrum]=1 [table]=1 [passage]=1
  [extended]=2
  [backend]=3
)
for folder in "${!calc_layer[@]}"; do
  [ -d "$root/calc/$folder" ] || continue
  while IFS= read -r hit; do
    target=$(sed -n 's/^[^:]*:[0-9]*:#include "calc\/\([^/"]*\)\/.*/\1/p' <<< "$hit")
    [ -n "$target" ] && [ "$target" != "$folder" ] || continue
    if [ -n "${calc_layer[$target]+set}" ] && (( calc_layer[$target] < calc_layer[$folder] )); then
      continue
    fi
    echo "${hit#"$root"/}: calc/$folder/ must not include from calc/$target/"
    status=1
  done < <(grep -rn '^#include "calc/' "$root/calc/$folder" --include='*.cc' --include='*.h' || true)
done
if [ $status -ne 0 ]; then
  echo "check_includes.sh: includes that point up (layers: scripts/check_includes.sh)" >&2
fi
exit $status

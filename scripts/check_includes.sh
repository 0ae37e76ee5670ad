#!/usr/bin/env bash
# Include direction: every #include "folder/file" of the sources points into
# its own folder or into a lower layer, so base/ includes nothing of the
# project, no folder below run/ includes from run/, and the front ends,
# run/, distributed/ and plot/, stand side by side above app/; inside calc/ its
# folders keep the same rule among themselves, and every function a calc/
# header declares is defined in the same folder. Prints every include that
# points up and every declaration away from its definition, and exits 1 if
# there is one.
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
# Each function is declared beside its definition: a function that a header
# of a calc/ folder declares is defined in that folder. A declaration in
# another folder's header would let a folder call into a sibling or a
# higher folder without including anything of it, which the rule above
# would not see.
declare -A defined_in=()
while read -r name folder; do
  defined_in[$name]="${defined_in[$name]:-} $folder"
done < <(grep -rnoE '^[A-Za-z][^/(;=]*[ *&]([A-Za-z_][A-Za-z_0-9]*)\(' "$root/calc" --include='*.cc' |
  sed -E 's#^.*/calc/([^/]+)/[^:]*:[0-9]+:.*[ *&]([A-Za-z_][A-Za-z_0-9]*)\($#\2 \1#' | sort -u)
while read -r hit; do
  file=${hit%%:*}
  folder=$(sed -E 's#^.*/calc/([^/]+)/.*$#\1#' <<< "$file")
  name=$(sed -E 's#^.*[ *&]([A-Za-z_][A-Za-z_0-9]*)\($#\1#' <<< "$hit")
  where=${defined_in[$name]:-}
  # Defined in no .cc (a template or an inline function): nothing to compare.
  [ -n "$where" ] || continue
  [[ " $where " == *" $folder "* ]] && continue
  echo "${file#"$root"/}: calc/$folder/ declares $name, which calc/${where# } defines"
  status=1
done < <(grep -rnoE '^[A-Za-z][^/(;=]*[ *&]([A-Za-z_][A-Za-z_0-9]*)\(' "$root/calc" --include='*.h' |
  cut -d: -f1,3 || true)
if [ $status -ne 0 ]; then
  echo "check_includes.sh: includes that point up or declarations away from their definitions (rules: scripts/check_includes.sh)" >&2
fi
exit $status

#!/usr/bin/env bash
# Include direction: every #include "folder/file" of the sources points into
# its own folder or into a lower layer, so base/ includes nothing of the
# project, no folder below run/ includes from run/, and the front ends,
# run/, distributed/ and plot/, stand side by side above app/; inside calc/ its
# folders keep the same rule among themselves, for includes and for calls of
# the members of Calc that calc/model/calc.h declares for them. Prints every
# include or call that points up and exits 1 if there is one.
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
# The same rule by link: calc/model/calc.h declares members of Calc that
# folders above model/ define, so a folder may call into a sibling through
# that header without including anything of the sibling's. Every call of a
# Calc member defined in a calc/ folder that is not lower than the caller's
# is reported like an include. The uses below are older than this check and
# are to go as the members move beside their definitions ("folder:member").
known_calls=(model:MxASCIIWrite model:MxBinWrite model:MxOutputHeader model:MxOutputLine
  spectrum:MxASCIIWrite spectrum:MxASCIIWriteV spectrum:MxBinWrite spectrum:MxMathematicaWrite)
declare -A defined_in=()
while read -r member folder; do
  defined_in[$member]=$folder
done < <(grep -rnoE '^[A-Za-z][^/(]*\bCalc::[A-Za-z_0-9]+\(' "$root/calc" --include='*.cc' |
  sed -E 's#^.*/calc/([^/]+)/[^:]*:[0-9]+:.*Calc::([A-Za-z_0-9]+)\($#\2 \1#' | sort -u)
declarations=$(grep -rlE '^struct Calc\b' "$root/calc" --include='*.h' || true)
for folder in "${!calc_layer[@]}"; do
  [ -d "$root/calc/$folder" ] || continue
  for member in "${!defined_in[@]}"; do
    target=${defined_in[$member]}
    [ "$target" != "$folder" ] && [ -n "${calc_layer[$target]+set}" ] || continue
    (( calc_layer[$target] < calc_layer[$folder] )) && continue
    [[ " ${known_calls[*]} " == *" $folder:$member "* ]] && continue
    while IFS= read -r hit; do
      [[ " $declarations " == *" ${hit%%:*} "* ]] && continue
      echo "${hit#"$root"/}: calc/$folder/ must not call Calc::$member of calc/$target/"
      status=1
    done < <(grep -rnE "\b$member\(" "$root/calc/$folder" --include='*.cc' --include='*.h' |
      grep -vE '^[^:]*:[0-9]+:[[:space:]]*//' | cut -d: -f1,2 || true)
  done
done
if [ $status -ne 0 ]; then
  echo "check_includes.sh: includes or calls that point up (layers: scripts/check_includes.sh)" >&2
fi
exit $status

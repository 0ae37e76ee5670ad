#!/usr/bin/env bash
# cmake --install into a scratch prefix, and cpack -G DEB: each install
# component (zolvane; mpi when zolvane-mpi is built; python when python/
# installs a module) holds exactly its files and becomes its own package.
# Every package declares every shared library its binaries need (resolved
# through the installed libraries' owners and their shlibs/symbols files,
# apart from the packaging), carries the licence and a changelog, and lintian
# (when installed) finds no error and no warning. A Release build is hardened.
# Usage: install_test.sh BUILD_DIR CMAKE CPACK
set -euo pipefail
build=$1 cmake=$2 cpack=$3
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }
cached() { grep "^$1:" "$build/CMakeCache.txt" | cut -d= -f2-; }

version=$("$build/zolvane" --version)
version=${version#zolvane }
with_mpi=$(cached ZOLVANE_MPI)
with_python=no
grep -qE '^set\(CPACK_COMPONENTS_ALL ".*\<python\>' "$build/CPackConfig.cmake" && with_python=yes

# The files of each component, relative to the prefix.
docs() { printf '%s\n' "./share/doc/$1/changelog.gz" "./share/doc/$1/copyright"; }
{
  printf '%s\n' ./bin/zolvane ./bin/zolvane-plot ./share/man/man1/zolvane.1.gz \
    ./share/man/man1/zolvane-plot.1.gz
  docs zolvane
} | sort > "$scratch/files.zolvane"
{
  printf '%s\n' ./bin/zolvane-mpi ./share/man/man1/zolvane-mpi.1.gz
  docs zolvane-mpi
} | sort > "$scratch/files.mpi"
components=(zolvane)
[ "$with_mpi" = ON ] && components+=(mpi)
declare -A package=([zolvane]=zolvane [mpi]=zolvane-mpi [python]=python3-zolvane)

listing() { (cd "$1" && find . -type f | sort); }
for component in "${components[@]}"; do
  "$cmake" --install "$build" --prefix "$scratch/$component" --component "$component" \
    > "$scratch/install.log"
  listing "$scratch/$component" | diff "$scratch/files.$component" - ||
    fail "cmake --install --component $component: unexpected file list"
done
# Without --component: every component at once.
"$cmake" --install "$build" --prefix "$scratch/all" > "$scratch/install.log"
listing "$scratch/all" > "$scratch/files.all"
for component in "${components[@]}"; do
  [ -z "$(comm -23 "$scratch/files.$component" "$scratch/files.all")" ] ||
    fail "cmake --install leaves out files of component $component"
done
[ "$with_mpi" = ON ] || [ ! -e "$scratch/all/bin/zolvane-mpi" ] || fail "zolvane-mpi installed"
[ "$("$scratch/all/bin/zolvane-plot" --version)" = "zolvane-plot $version" ] ||
  fail "zolvane-plot --version differs from zolvane's"
gzip -dc "$scratch/all/share/man/man1/zolvane.1.gz" | grep '^\.TH ZOLVANE 1' > /dev/null ||
  fail "zolvane.1.gz is not a manual page"

(cd "$build" && "$cpack" -G DEB -B "$scratch/package") > "$scratch/cpack.log" 2>&1 ||
  { cat "$scratch/cpack.log" >&2; fail "cpack -G DEB"; }
expected_debs=()
for component in "${components[@]}"; do expected_debs+=("${package[$component]}"); done
[ $with_python = yes ] && expected_debs+=(python3-zolvane)
for p in "${expected_debs[@]}"; do
  [ -f "$scratch/package/${p}_${version}_$(dpkg --print-architecture).deb" ] || fail "no package $p"
done
[ "$(ls "$scratch"/package/*.deb | wc -l)" -eq ${#expected_debs[@]} ] ||
  fail "packages made: $(ls "$scratch"/package/*.deb)"

# deb_depends DEB: the package names of its Depends, one a line (every
# alternative, without versions).
deb_depends() {
  dpkg-deb -f "$1" Depends | tr ',|' '\n\n' | sed 's/(.*)//; s/^ *//; s/ *$//' | sed '/^$/d'
}
# owner LIBRARY_PATH: the package that installed the library on this machine.
owner() {
  local path candidates=("$1" "$(readlink -f "$1")")
  for path in "${candidates[@]}" "${candidates[@]/#\/lib\//\/usr\/lib\/}" \
    "${candidates[@]/#\/usr\/lib\//\/lib\/}"; do
    dpkg -S "$path" 2> /dev/null | grep -v '^diversion' | head -n 1 | cut -d: -f1 && return 0
  done
  return 1
}
# library_dependency SONAME OWNER: the package a binary needing SONAME must
# depend on, as OWNER's symbols or shlibs file declares it (OWNER if neither).
library_dependency() {
  local soname=$1 owner=$2 name number info=/var/lib/dpkg/info dep=""
  if [[ $soname =~ ^(.*)\.so\.(.*)$ ]]; then
    name=${BASH_REMATCH[1]} number=${BASH_REMATCH[2]}
  elif [[ $soname =~ ^(.*)-([0-9.]+)\.so$ ]]; then
    name=${BASH_REMATCH[1]} number=${BASH_REMATCH[2]}
  fi
  for f in "$info/$owner.symbols" "$info/$owner:"*.symbols; do
    [ -f "$f" ] && dep=$(awk -v s="$soname" '$1 == s {print $2; exit}' "$f") && [ -n "$dep" ] && break
  done
  if [ -z "$dep" ]; then
    for f in "$info/$owner.shlibs" "$info/$owner:"*.shlibs; do
      [ -f "$f" ] && dep=$(awk -v n="$name" -v v="$number" '$1 == n && $2 == v {print $3; exit}' "$f") &&
        [ -n "$dep" ] && break
    done
  fi
  echo "${dep:-$owner}"
}

libraries=$(ldconfig -p)
hardened=no
[ "$(cached CMAKE_BUILD_TYPE)" = Release ] && hardened=yes
for deb in "$scratch"/package/*.deb; do
  p=$(dpkg-deb -f "$deb" Package)
  [ "$(dpkg-deb -f "$deb" Version)" = "$version" ] || fail "$p: package version"
  dpkg-deb -x "$deb" "$scratch/root.$p"
  root=$scratch/root.$p
  for component in "${components[@]}"; do
    [ "${package[$component]}" = "$p" ] || continue
    listing "$root" | diff <(sed 's|^\./|./usr/|' "$scratch/files.$component") - ||
      fail "$p: unexpected file list"
  done
  grep -qx 'License: MIT' "$root/usr/share/doc/$p/copyright" || fail "$p: copyright"
  [[ "$(gzip -dc "$root/usr/share/doc/$p/changelog.gz")" == "zolvane ($version) "* ]] ||
    fail "$p: changelog does not start with version $version"

  # Every shared library an executable needs is declared.
  deb_depends "$deb" > "$scratch/depends.$p"
  while IFS= read -r -d '' file; do
    [ "$(head -c 4 "$file" | od -An -tx1 | tr -d ' \n')" = 7f454c46 ] || continue
    for soname in $(objdump -p "$file" | awk '$1 == "NEEDED" {print $2}'); do
      path=$(awk -v s="$soname" '$1 == s && /x86-64|64bit/ {print $NF; exit}' <<< "$libraries")
      [ -n "$path" ] || path=$(awk -v s="$soname" '$1 == s {print $NF; exit}' <<< "$libraries")
      [ -n "$path" ] || fail "$p: ${file#"$root"} needs $soname, which is not installed here"
      lib_owner=$(owner "$path") || fail "$p: no package owns $path"
      needed=$(library_dependency "$soname" "$lib_owner")
      grep -qxF "$needed" "$scratch/depends.$p" ||
        fail "$p: ${file#"$root"} needs $soname ($needed), Depends: $(dpkg-deb -f "$deb" Depends)"
    done
    if [ $hardened = yes ]; then
      # Whole outputs first: grep -q ending a pipe early would fail it.
      elf="$(readelf -hdlW "$file")" symbols="$(objdump -T "$file")"
      grep -q 'Type: *DYN' <<< "$elf" || fail "$p: ${file#"$root"} is not PIE"
      grep -q 'BIND_NOW' <<< "$elf" || fail "$p: ${file#"$root"} lacks -z now"
      grep -q 'GNU_RELRO' <<< "$elf" || fail "$p: ${file#"$root"} lacks -z relro"
      grep -q '__stack_chk_fail' <<< "$symbols" || fail "$p: ${file#"$root"} lacks the stack protector"
      grep -q '__[a-z]*printf_chk' <<< "$symbols" || fail "$p: ${file#"$root"} is not fortified"
    fi
  done < <(find "$root" -type f -print0)
done

recommends=$(dpkg-deb -f "$scratch/package/zolvane_${version}_"*.deb Recommends)
case "$recommends" in *gnuplot-nox*graphviz*) ;; *) fail "Recommends: $recommends" ;; esac
if [ "$with_mpi" = ON ]; then
  grep -qx openmpi-bin "$scratch/depends.zolvane-mpi" || fail "zolvane-mpi does not depend on mpirun"
fi
if [ $with_python = yes ]; then
  for d in python3 python3-numpy zolvane; do
    grep -qx "$d" "$scratch/depends.python3-zolvane" || fail "python3-zolvane does not depend on $d"
  done
  # Only the interpreter version in the module's ABI tag imports it.
  python_deb=$(ls "$scratch"/package/python3-zolvane_*.deb)
  abi=$(dpkg-deb -c "$python_deb" | grep -o 'zolvane\.cpython-[0-9]*' | head -n 1 || true)
  abi=${abi#zolvane.cpython-}
  [ -n "$abi" ] || fail "python3-zolvane: no module with an ABI tag"
  major=${abi:0:1} minor=${abi:1}
  python_depends=$(dpkg-deb -f "$python_deb" Depends)
  for d in "python3 (>= $major.$minor~)" "python3 (<< $major.$((minor + 1)))"; do
    [[ ", $python_depends," == *", $d,"* ]] || fail "python3-zolvane lacks $d: $python_depends"
  done
fi

if command -v lintian > /dev/null; then
  lintian "$scratch"/package/*.deb > "$scratch/lintian.log" 2>&1 || true
  if grep -q '^[EW]: ' "$scratch/lintian.log"; then
    grep '^[EW]: ' "$scratch/lintian.log" >&2
    fail "lintian: errors or warnings"
  fi
else
  echo "lintian is not installed: the packages are not checked by it" >&2
fi
echo "install and package: OK (${expected_debs[*]})"

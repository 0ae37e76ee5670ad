#!/usr/bin/env bash
# Build options, by configuring scratch trees: OpenBLAS unless BLA_VENDOR
# says otherwise; tests only when GoogleTest is found, and an error when
# ZOLVANE_BUILD_TESTS=ON is asked for without it; the version in one place.
# Usage: build_options_test.sh SOURCE_DIR CMAKE
set -euo pipefail
src=$1 cmake=$2
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }
unset BLA_VENDOR
# MPI, Python and OpenMP are looked up by every configuration and checked by
# none here: left out, they take most of the configure time.
configure() {  # configure DIR [options...]
  local dir=$1; shift
  "$cmake" -S "$src" -B "$scratch/$dir" -DZOLVANE_BUILD_BENCH=OFF \
    -DCMAKE_DISABLE_FIND_PACKAGE_MPI=TRUE -DCMAKE_DISABLE_FIND_PACKAGE_Python3=TRUE \
    -DCMAKE_DISABLE_FIND_PACKAGE_OpenMP=TRUE "$@" > "$scratch/$dir.log" 2>&1
}
cached() { grep "^$2:" "$scratch/$1/CMakeCache.txt" | cut -d= -f2-; }

configure default || { cat "$scratch/default.log" >&2; fail "default configuration"; }
[ "$(cached default BLA_VENDOR)" = OpenBLAS ] || fail "default BLA_VENDOR: $(cached default BLA_VENDOR)"
[ -f "$scratch/default/tests/CTestTestfile.cmake" ] || fail "GoogleTest found but no tests"

configure generic -DBLA_VENDOR=Generic -DCMAKE_DISABLE_FIND_PACKAGE_GTest=TRUE ||
  { cat "$scratch/generic.log" >&2; fail "configuration with BLA_VENDOR=Generic and no GoogleTest"; }
[ "$(cached generic BLA_VENDOR)" = Generic ] || fail "BLA_VENDOR=Generic not kept"
[ ! -e "$scratch/generic/tests" ] || fail "tests configured without GoogleTest"
grep -q "GoogleTest not found: the tests are not built" "$scratch/generic.log" ||
  fail "no notice that the tests are left out"

if configure forced -DZOLVANE_BUILD_TESTS=ON -DCMAKE_DISABLE_FIND_PACKAGE_GTest=TRUE; then
  fail "ZOLVANE_BUILD_TESTS=ON without GoogleTest configured"
fi

# The version: project() in CMakeLists.txt, the generated header, and no
# other source file.
version=$(sed -n 's/^project(zolvane VERSION \([0-9.]*\) .*/\1/p' "$src/CMakeLists.txt")
[ -n "$version" ] || fail "no version in project()"
grep -q "#define ZOLVANE_VERSION \"$version\"" "$scratch/default/generated/zolvane_version.h" ||
  fail "generated version header"
others=$(cd "$src" && grep -rlF "$version" --include='*.cc' --include='*.h' --include='*.in' \
  --exclude-dir='build*' . || true)
[ -z "$others" ] || fail "version $version also written in: $others"
echo "build options: OK"

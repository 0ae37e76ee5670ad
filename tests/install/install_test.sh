#!/usr/bin/env bash
# cmake --install into a scratch prefix, and cpack -G DEB: both hold exactly
# zolvane, zolvane-plot and their manual pages, and the package declares the
# BLAS runtime as a dependency and gnuplot and graphviz as recommendations.
# Usage: install_test.sh BUILD_DIR CMAKE CPACK
set -euo pipefail
build=$1 cmake=$2 cpack=$3
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

"$cmake" --install "$build" --prefix "$scratch/prefix" > "$scratch/install.log"
(cd "$scratch/prefix" && find . -type f | sort) > "$scratch/installed"
printf '%s\n' ./bin/zolvane ./bin/zolvane-plot ./share/man/man1/zolvane-plot.1.gz \
  ./share/man/man1/zolvane.1.gz > "$scratch/expected"
diff "$scratch/expected" "$scratch/installed" || fail "cmake --install: unexpected file list"
version=$("$scratch/prefix/bin/zolvane" --version)
[ "$("$scratch/prefix/bin/zolvane-plot" --version)" = "zolvane-plot ${version#zolvane }" ] ||
  fail "zolvane-plot --version differs from zolvane's"
gzip -dc "$scratch/prefix/share/man/man1/zolvane.1.gz" | grep -q '^\.TH ZOLVANE 1' ||
  fail "zolvane.1.gz is not a manual page"

(cd "$build" && "$cpack" -G DEB -B "$scratch/package") > "$scratch/cpack.log" 2>&1 ||
  { cat "$scratch/cpack.log" >&2; fail "cpack -G DEB"; }
deb=$(ls "$scratch"/package/*.deb)
dpkg-deb -c "$deb" | awk '$1 !~ /^d/ {print $6}' | sort > "$scratch/packaged"
sed 's|^\./|./usr/|' "$scratch/expected" > "$scratch/expected_deb"
diff "$scratch/expected_deb" "$scratch/packaged" || fail ".deb: unexpected file list"
[ "$(dpkg-deb -f "$deb" Package)" = zolvane ] || fail "package name"
[ "$(dpkg-deb -f "$deb" Version)" = "${version#zolvane }" ] || fail "package version"
dpkg-deb -f "$deb" Depends | grep -q 'libopenblas0' || fail "Depends lacks the OpenBLAS runtime"
recommends=$(dpkg-deb -f "$deb" Recommends)
case "$recommends" in *gnuplot-nox*graphviz*) ;; *) fail "Recommends: $recommends" ;; esac
echo "install and package: OK"

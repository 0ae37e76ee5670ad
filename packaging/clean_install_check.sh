#!/usr/bin/env bash
# Installs the Debian packages made by cpack on a clean Debian system of this
# machine's release and runs what they install there: a minimal root made by
# debootstrap, where `apt-get install ./*.deb` pulls only what the packages
# declare (and their Recommends, as apt does by default). Then zolvane on the
# example landscape, zolvane-plot on its table (to SVG), `man zolvane` (man-db
# is installed for that: no package of ours needs it), the Python module, and
# zolvane-mpi on 2 processes when its package is there; last, lintian on every
# package (no error, no warning; the informational tags are listed).
#
# Needs root (debootstrap, chroot, mount), the network and a Debian mirror, so
# neither CI nor ctest runs it; run it by hand after changing the packaging.
#
# Usage: packaging/clean_install_check.sh [--no-recommends] PACKAGE_DIR [CACHE_DIR]
#   PACKAGE_DIR  where `cpack -G DEB` wrote the .deb files (e.g. build)
#   CACHE_DIR    keeps the pristine debootstrap tree (about 250 MB) between
#                runs; without it a temporary one is made and removed
#   --no-recommends  install without Recommends: zolvane-plot must then fail
#                with a message naming gnuplot-nox, --visualize still writes
#                the .dot file
# MIRROR (default http://deb.debian.org/debian) and SECURITY_MIRROR (default
# http://deb.debian.org/debian-security) choose the archive.
set -euo pipefail
recommends=yes
if [ "${1:-}" = --no-recommends ]; then
  recommends=no
  shift
fi
[ $# -ge 1 ] || {
  sed -n '14,22p' "$0" >&2
  exit 2
}
packages=$(cd "$1" && pwd)
source_dir=$(cd "$(dirname "$0")/.." && pwd)
mirror=${MIRROR:-http://deb.debian.org/debian}
security_mirror=${SECURITY_MIRROR:-http://deb.debian.org/debian-security}
fail() {
  echo "FAIL: $*" >&2
  exit 1
}
[ "$(id -u)" = 0 ] || fail "run as root (debootstrap, chroot and mount need it)"
for tool in debootstrap lintian dpkg-deb; do
  command -v $tool > /dev/null || fail "$tool is not installed (apt-get install $tool)"
done
debs=("$packages"/*.deb)
[ -f "${debs[0]}" ] || fail "no .deb in $packages (cd build && cpack -G DEB)"
release=$(. /etc/os-release && echo "$VERSION_CODENAME")
[ -n "$release" ] || fail "no VERSION_CODENAME in /etc/os-release"

scratch=$(mktemp -d)
cache=${2:-$scratch/cache}
root=$scratch/root
cleanup() {
  for m in "$root/sys" "$root/proc"; do mountpoint -q "$m" && umount -l "$m"; done
  rm -rf "$scratch"
}
trap cleanup EXIT

# The pristine tree is made once per cache and copied for every check, so that
# each check starts from a clean system.
pristine=$cache/pristine-$release
if [ ! -d "$pristine" ]; then
  mkdir -p "$cache"
  echo "debootstrap $release (minbase) from $mirror into $pristine" >&2
  debootstrap --variant=minbase "$release" "$pristine.part" "$mirror" > "$scratch/debootstrap.log" 2>&1 ||
    { tail -n 20 "$scratch/debootstrap.log" >&2; fail "debootstrap"; }
  printf '%s\n' "deb $mirror $release main" "deb $mirror $release-updates main" \
    "deb $security_mirror $release-security main" > "$pristine.part/etc/apt/sources.list"
  mv "$pristine.part" "$pristine"
fi
cp -a "$pristine" "$root"
cp /etc/resolv.conf "$root/etc/resolv.conf"
mount -t proc proc "$root/proc"
# OpenMPI's hardware discovery reads /sys; without it every process complains.
mount --bind /sys "$root/sys"
mkdir "$root/check"
cp "${debs[@]}" "$root/check/"
cp -r "$source_dir/examples" "$root/check/"

install_options=(-y)
[ $recommends = yes ] || install_options+=(--no-install-recommends)
cat > "$root/check/run.sh" << EOF
set -euo pipefail
export DEBIAN_FRONTEND=noninteractive LC_ALL=C.UTF-8 OPENBLAS_NUM_THREADS=1
cd /check
fail() { echo "FAIL: \$*" >&2; exit 1; }
apt-get update -q > apt.log 2>&1 || { cat apt.log >&2; fail "apt-get update"; }
apt-get install ${install_options[*]} ./*.deb > apt.log 2>&1 || { cat apt.log >&2; fail "apt-get install"; }
grep -E '^[0-9]+ upgraded, [0-9]+ newly installed' apt.log
echo "zolvane: \$(zolvane --version)"
zolvane -m A --qorp examples/landscape.qorp --t8 1e6 > table.txt 2> zolvane.err ||
  { cat zolvane.err >&2; fail "zolvane on examples/landscape.qorp"; }
[ "\$(grep -vc '^#' table.txt)" -gt 10 ] || fail "zolvane printed no table"
if [ $recommends = yes ]; then
  zolvane-plot table.txt --top 5 -o table.svg || fail "zolvane-plot"
  grep -q '<svg' table.svg || fail "zolvane-plot wrote no SVG"
  zolvane --ratesfile examples/landscape.rates --t8 1e6 --visualize graph > /dev/null 2>&1 ||
    fail "zolvane --visualize"
  head -c 4 graph.eps | grep -q '%!PS' || fail "--visualize drew no graph.eps"
  echo "zolvane-plot: table.svg, \$(wc -c < table.svg) bytes; --visualize: graph.dot, graph.eps"
else
  if zolvane-plot table.txt --top 5 -o table.svg 2> plot.err; then fail "zolvane-plot ran without gnuplot"; fi
  grep -q gnuplot-nox plot.err || fail "zolvane-plot without gnuplot: \$(cat plot.err)"
  zolvane --ratesfile examples/landscape.rates --t8 1e6 --visualize graph > /dev/null 2>&1 ||
    fail "zolvane --visualize without graphviz"
  [ -s graph.dot ] || fail "--visualize wrote no graph.dot"
  echo "without Recommends: \$(cat plot.err); --visualize wrote graph.dot"
fi
dpkg -s man-db > /dev/null 2>&1 && echo "man-db came with the packages" ||
  apt-get install -y --no-install-recommends man-db > /dev/null 2>&1 || fail "apt-get install man-db"
for page in zolvane zolvane-plot \$(dpkg -s zolvane-mpi > /dev/null 2>&1 && echo zolvane-mpi); do
  MANPAGER=cat man \$page 2> /dev/null | grep -q "^NAME" || fail "man \$page"
done
echo "man: the pages are found and formatted"
if dpkg -s python3-zolvane > /dev/null 2>&1; then
  python3 - << 'PY' || fail "python3: import zolvane"
import numpy as np
import zolvane
t, p = zolvane.Landscape.from_file("examples/landscape.qorp", method="A").populations(t8=1e6)
rows = np.loadtxt("table.txt", comments="#")
assert p.shape == rows[:, 1:].shape, (p.shape, rows.shape)
assert np.allclose(t, rows[:, 0], rtol=1e-12) and np.allclose(p, rows[:, 1:], rtol=1e-5, atol=1e-12)
print("python3: zolvane from", zolvane.__file__, "gives the table of", p.shape[1], "states")
PY
fi
if dpkg -s zolvane-mpi > /dev/null 2>&1; then
  mpirun --allow-run-as-root -q -n 2 zolvane-mpi -m A --qorp examples/landscape.qorp --t8 1e6 \
    > mpi.txt 2> mpi.err || { cat mpi.err >&2; fail "zolvane-mpi on 2 processes"; }
  cmp <(grep -v '^# Date' table.txt) <(grep -v '^# Date' mpi.txt) || fail "zolvane-mpi and zolvane differ"
  echo "zolvane-mpi: 2 processes print zolvane's table"
fi
EOF
echo "installing ${debs[*]##*/} in a clean $release root" >&2
# A clean environment inside: the caller's TMPDIR, XDG and locale settings name
# places and things that do not exist in the new root (a TMPDIR outside it
# breaks ca-certificates' postinst). A proxy the mirror needs passes through.
chroot_env=(PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin HOME=/root
  LANG=C.UTF-8 TERM="${TERM:-dumb}")
for v in http_proxy https_proxy no_proxy; do
  [ -z "${!v:-}" ] || chroot_env+=("$v=${!v}")
done
env -i "${chroot_env[@]}" chroot "$root" bash /check/run.sh ||
  fail "inside the clean $release root"

lintian -I "${debs[@]}" > "$scratch/lintian.log" 2>&1 || true
grep -v 'running with root privileges' "$scratch/lintian.log" || true
if grep -q '^[EW]: ' "$scratch/lintian.log"; then fail "lintian: errors or warnings"; fi
echo "clean install: OK (${debs[*]##*/})"

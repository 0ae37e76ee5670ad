#!/usr/bin/env bash
# Installs the Debian packages that building, testing, running and packaging
# need. Idempotent: does nothing when everything is already installed. When
# installing is not possible or fails (no root, no sudo, a sudo the user may
# not use, apt-get failing), it prints the apt-get line to run as root.
set -euo pipefail
packages=(g++ cmake make libopenblas-dev libgtest-dev libgmock-dev libbenchmark-dev graphviz
  libeigen3-dev libqd-dev libmpfr-dev libgmp-dev libboost-dev
  gnuplot-nox help2man groff man-db libxml2-utils
  openmpi-bin libopenmpi-dev libscalapack-openmpi-dev time clang-format
  dpkg-dev lintian
  python3-dev pybind11-dev python3-pybind11 python3-numpy python3-pytest python3-scipy python3-mpmath
  python3-setuptools python3-pip python3-venv python3-matplotlib)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -gt 0 ] || exit 0
root_line() {  # root_line WHY
  echo "setup.sh: $1; as root, run:" >&2
  echo "  apt-get update && apt-get install -y --no-install-recommends ${missing[*]}" >&2
  exit 1
}
SUDO=""
if [ "$(id -u)" -ne 0 ]; then
  command -v sudo > /dev/null || root_line "packages are missing and installing them needs root"
  SUDO="sudo"
fi
# Whatever sudo or apt-get said, the line to run comes last.
{ $SUDO apt-get update &&
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y --no-install-recommends "${missing[@]}"; } ||
  root_line "installing the missing packages failed"

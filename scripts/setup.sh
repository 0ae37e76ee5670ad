#!/usr/bin/env bash
# Installs the Debian packages that building, testing and running need.
# Idempotent: does nothing when everything is already installed.
set -euo pipefail
packages=(g++ cmake make libopenblas-dev libgtest-dev libgmock-dev libbenchmark-dev graphviz
  libeigen3-dev libqd-dev libmpfr-dev libgmp-dev libboost-dev
  gnuplot-nox help2man groff man-db libxml2-utils
  openmpi-bin libopenmpi-dev libscalapack-openmpi-dev time clang-format)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  SUDO=""
  if [ "$(id -u)" -ne 0 ]; then
    if ! command -v sudo > /dev/null; then
      echo "setup.sh: packages are missing and installing them needs root; as root, run:" >&2
      echo "  apt-get update && apt-get install -y --no-install-recommends ${missing[*]}" >&2
      exit 1
    fi
    SUDO="sudo"
  fi
  $SUDO apt-get update
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y --no-install-recommends "${missing[@]}"
fi

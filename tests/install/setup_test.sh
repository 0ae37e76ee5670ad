#!/usr/bin/env bash
# scripts/setup.sh against stand-ins for dpkg-query, id, sudo and apt-get: as
# a user without root and without sudo, or with a sudo that refuses, or when
# apt-get fails, it prints the apt-get line last and exits 1; with sudo it
# installs through sudo; with everything installed it does nothing.
# Usage: setup_test.sh SOURCE_DIR
set -euo pipefail
src=$1
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }
bin=$scratch/bin
mkdir "$bin"
for tool in grep cat; do ln -s "$(command -v $tool)" "$bin/$tool"; done
printf '#!/bin/bash\necho 1000\n' > "$bin/id"
printf '#!/bin/bash\necho "apt-get $*" >> %q/calls\n' "$scratch" > "$bin/apt-get"
chmod +x "$bin"/id "$bin"/apt-get
installed() {  # installed yes|no: what the dpkg-query stand-in reports
  if [ "$1" = yes ]; then
    printf '#!/bin/bash\nprintf "install ok installed"\n' > "$bin/dpkg-query"
  else
    printf '#!/bin/bash\nexit 1\n' > "$bin/dpkg-query"
  fi
  chmod +x "$bin/dpkg-query"
}
run_setup() { env -i PATH="$bin" /bin/bash "$src/scripts/setup.sh" > "$scratch/out" 2> "$scratch/err"; }

packages=$(sed -n '/^packages=(/,/)/p' "$src/scripts/setup.sh" | tr -d '()\n' | sed 's/^packages=//' |
  tr -s ' ' | sed 's/^ //; s/ $//')

expect_root_line() {  # expect_root_line CASE: setup.sh failed, the line to run as root comes last
  if run_setup; then fail "$1: setup.sh succeeded"; fi
  [ "$(tail -n 1 "$scratch/err")" = "  apt-get update && apt-get install -y --no-install-recommends $packages" ] ||
    { cat "$scratch/err" >&2; fail "$1: the apt-get line is not the last line"; }
}

installed no
expect_root_line "no root, no sudo"
[ ! -e "$scratch/calls" ] || fail "apt-get was run"

# A sudo the user may not use: its own message, then the line.
printf '#!/bin/bash\necho "sudo: a password is required" >&2\nexit 1\n' > "$bin/sudo"
chmod +x "$bin/sudo"
expect_root_line "sudo refused"
grep -q "^sudo: a password is required" "$scratch/err" || fail "sudo's message is lost"

# Root, but apt-get fails (no network, a held package, ...).
printf '#!/bin/bash\necho 0\n' > "$bin/id"
printf '#!/bin/bash\necho "E: cannot reach the archive" >&2\nexit 100\n' > "$bin/apt-get"
expect_root_line "apt-get failing as root"
printf '#!/bin/bash\necho 1000\n' > "$bin/id"
printf '#!/bin/bash\necho "apt-get $*" >> %q/calls\n' "$scratch" > "$bin/apt-get"

printf '#!/bin/bash\necho "sudo $*" >> %q/calls\n' "$scratch" > "$bin/sudo"
chmod +x "$bin/sudo"
run_setup || { cat "$scratch/err" >&2; fail "setup.sh with sudo"; }
grep -q "^sudo apt-get install -y --no-install-recommends $packages\$" "$scratch/calls" ||
  fail "not installed through sudo: $(cat "$scratch/calls")"

rm -f "$scratch/calls" "$bin/sudo"
installed yes
run_setup || fail "setup.sh with everything installed"
[ ! -s "$scratch/out" ] && [ ! -s "$scratch/err" ] && [ ! -e "$scratch/calls" ] ||
  fail "setup.sh did something with everything installed"
echo "setup: OK"

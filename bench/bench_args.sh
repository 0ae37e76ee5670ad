# Sourced by the bench/*.sh scripts, whose arguments are [BUILD_DIR] [SIZES...],
# once they have set default_sizes: sets root (the source tree), build
# (default: build/ in it), sizes, and work, a scratch directory removed on
# exit.
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${1:-$root/build}
shift || true
sizes=("$@")
[ ${#sizes[@]} -gt 0 ] || sizes=("${default_sizes[@]}")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

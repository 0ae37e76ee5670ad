# Compares two population tables, the serial one (first file) and the
# distributed one (second): the same number of lines, the same header lines
# (the date aside), the same times, and populations within 1e-9 of each
# other. Values are printed to 7 significant digits, so two values that are
# within 1e-9 can still print up to half a unit of the last digit apart on
# each side; that much is allowed on top.
# Usage: awk -f compare_tables.awk serial.out mpi.out
function unit(x,    parts) {
  split(x, parts, /[eE]/)
  return 10 ^ (parts[2] - 6)
}
function abs(x) { return x < 0 ? -x : x }
FNR == NR { serial[FNR] = $0; serial_lines = FNR; next }
{
  mpi_lines = FNR
  if (!(FNR in serial)) next
  s = serial[FNR]
  if (s ~ /^# Date:/ && $0 ~ /^# Date:/) next
  if (s ~ /^#/ || $0 ~ /^#/) {
    if (s != $0) { printf "line %d differs:\n  serial: %s\n  mpi:    %s\n", FNR, s, $0; bad = 1 }
    next
  }
  n = split(s, want, " ")
  if (n != NF) { printf "line %d: %d fields in the serial table, %d here\n", FNR, n, NF; bad = 1; next }
  if (want[1] != $1) { printf "line %d: time %s, serial %s\n", FNR, $1, want[1]; bad = 1; next }
  for (i = 2; i <= n; ++i) {
    if ($i !~ /^-?[0-9]/) { printf "line %d field %d: %s\n", FNR, i, $i; bad = 1; continue }
    diff = abs(want[i] - $i)
    allowed = 1e-9 + 0.5 * (unit(want[i]) + unit($i))
    if (diff > allowed) {
      printf "line %d state %d: %s, serial %s\n", FNR, i - 1, $i, want[i]
      bad = 1
      if (++reported > 10) exit 1
    }
  }
}
END {
  if (serial_lines != mpi_lines) {
    printf "%d lines, serial %d\n", mpi_lines, serial_lines
    bad = 1
  }
  if (serial_lines < 13) { print "the serial table is too short to compare"; bad = 1 }
  exit bad
}

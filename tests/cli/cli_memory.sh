#!/usr/bin/env bash
# Peak memory stays under 64 MiB whatever the file size, --block,
# --max-matches and number of cores: a sparse 1 TiB file searched for a
# pattern that matches everywhere with ten million matches asked for, and
# looked at far out; a sparse 8 GiB file read whole by the overview in blocks
# of 4 GiB and by the scan; every run as if the machine had 64 cores. Under
# Wine (a runner given) the bar is over what the program's start alone
# takes there. Measured with /usr/bin/time (its %M, the peak resident size).
#
#   cli_memory.sh CLI [RUNNER...]
set -uo pipefail
cli="$1"; shift
run=("$@" "$cli")
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
cd "$work" || exit 1
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
[ -x /usr/bin/time ] || { echo "FAIL: no /usr/bin/time"; exit 1; }
export BITLOUPE_CORES=64

# peak KIB COMMAND...: the peak resident size of a run, in KiB.
peak() {
  /usr/bin/time -f "%M" -o peak.txt "${run[@]}" "$@" >/dev/null 2>err.txt || { fail "$* failed: $(cat err.txt)"; echo 0; return; }
  tail -1 peak.txt
}
base=0
[ "${#run[@]}" -gt 1 ] && base="$(peak --version)"
bar=$((base + 64 * 1024))

truncate -s 1T tera.bin
truncate -s 8G giga.bin
check() {
  local kib
  kib="$(peak "$@")"
  echo "$* : $kib KiB (bar $bar KiB)"
  [ "$kib" -le "$bar" ] || fail "$*: $kib KiB at its peak, over $bar"
}
check find tera.bin --glyph '.' --max-matches 10000000 --json
check view tera.bin -o far.png --width 80 --start $(((1 << 40) - 1000))
check cut tera.bin -o far.bin --start $(((1 << 40) - (32 << 20))) --count $((64 << 20))
check overview giga.bin -o giga.png --block 4294967296
check scan giga.bin

[ "$failures" -eq 0 ] || { echo "$failures failed"; exit 1; }
echo "all passed"

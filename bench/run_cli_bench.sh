#!/usr/bin/env bash
# bitloupe-cli as whole processes (bench_cli, host build): view at the end of
# a 16 GiB sparse file against a 1 KiB file, export of 64 MiB against cat,
# the export's peak resident memory (/usr/bin/time -v) against the 64 MiB it
# exports; find at a given stride and the overview of 1 GiB of random bytes
# against cat, with their peak resident memory against 64 MiB; scan of 1 GiB
# (the console fonts, then random bytes) against cat of it, and its peak
# memory; guess-width on 64 KiB against view of the same file.
#
#   bench/run_cli_bench.sh [BUILD_DIR] [RUNS]   BUILD_DIR default build/bench-host;
#                                              RUNS sets the samples (default 5)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build/bench-host}" && pwd)
runs=${2:-5}
cli="$build/cli/bitloupe-cli"
bench="$build/bench/bench_cli"
for f in "$cli" "$bench"; do [ -x "$f" ] || { echo "run_cli_bench: $f not built" >&2; exit 1; }; done

work=$(mktemp -d /tmp/bitloupe-cli-bench.XXXXXX)
trap 'rm -rf "$work"' EXIT
# The sparse file ends in the same 1 KiB as the small one, so that both views
# draw the same picture.
head -c 1024 /dev/urandom >"$work/last-1k.bin"
truncate -s 16G "$work/sparse-16g.bin"
dd if="$work/last-1k.bin" of="$work/sparse-16g.bin" bs=1024 seek=$((16 * 1024 * 1024 - 1)) conv=notrunc status=none
head -c 64M /dev/urandom >"$work/region-64m.bin"

# The PNG export takes seconds: one sample a run.
"$bench" "$cli" "$work" $((10 * runs + 1)) $((2 * runs + 1)) "$runs"
cmp -s "$work/big.png" "$work/small.png" || { echo "run_cli_bench: the two views differ" >&2; exit 1; }

if [ -x /usr/bin/time ]; then
  for format in pbm png; do
    /usr/bin/time -v -o "$work/time.txt" "$cli" export "$work/region-64m.bin" -o "$work/peak.$format" \
      --start 0 --width-bits 8 --rows 67108864 >/dev/null
    kib=$(awk -F': ' '/Maximum resident set size/ { print $2 }' "$work/time.txt")
    printf '%-48s %12.2f %s\n' "export 64 MiB as ${format^^}, peak resident" "$(awk -v k="$kib" 'BEGIN { print k / 1024 }')" MiB
  done
  printf '%-48s %12.2f %s\n' "  floor: the region exported" 64 MiB
else
  echo "run_cli_bench: no /usr/bin/time (package time), no peak memory" >&2
fi

# find: 1 GiB of random bytes; the same command times and measures.
head -c 1G /dev/urandom >"$work/random-1g.bin"
"$bench" --find "$cli" "$work/random-1g.bin" "$runs"
if [ -x /usr/bin/time ]; then
  /usr/bin/time -v -o "$work/time.txt" "$cli" find "$work/random-1g.bin" --stride 16 \
    --glyph '......../......../..####../.##..##./##....##/##....##/##....##/########/##....##/##....##' >/dev/null
  kib=$(awk -F': ' '/Maximum resident set size/ { print $2 }' "$work/time.txt")
  printf '%-48s %12.2f %s\n' "find in 1 GiB, peak resident" "$(awk -v k="$kib" 'BEGIN { print k / 1024 }')" MiB
  printf '%-48s %12.2f %s\n' "  floor: the most find may use" 64 MiB
fi

# overview: the same 1 GiB.
"$bench" --overview "$cli" "$work/random-1g.bin" "$runs"
if [ -x /usr/bin/time ]; then
  /usr/bin/time -v -o "$work/time.txt" "$cli" overview "$work/random-1g.bin" -o "$work/overview.png" >/dev/null
  kib=$(awk -F': ' '/Maximum resident set size/ { print $2 }' "$work/time.txt")
  printf '%-48s %12.2f %s\n' "overview of 1 GiB, peak resident" "$(awk -v k="$kib" 'BEGIN { print k / 1024 }')" MiB
  printf '%-48s %12.2f %s\n' "  floor: the most overview may use" 64 MiB
fi

# median_ms COMMAND...: the median wall time of RUNS runs, in milliseconds.
median_ms() {
  local i t0 t1
  for i in $(seq 1 "$runs"); do
    t0=$(date +%s%N); "$@" >/dev/null 2>&1 || { echo "run_cli_bench: failed: $*" >&2; exit 1; }; t1=$(date +%s%N)
    echo $(((t1 - t0) / 1000))
  done | sort -n | awk '{ v[NR] = $1 } END { printf "%.2f", v[int((NR + 1) / 2)] / 1000 }'
}

# Finding: scan and cat in turns, a run each, so that both see the same load.
# (head stops its writers early: the pipelines' status is that of a broken pipe.)
{ zcat /usr/share/consolefonts/*.psf.gz; head -c 1G /dev/urandom; } 2>/dev/null | head -c 1G >"$work/scan-1g.bin" || true
[ "$(stat -c %s "$work/scan-1g.bin")" -eq $((1 << 30)) ] || { echo "run_cli_bench: no 1 GiB file to scan" >&2; exit 1; }
cat "$work/scan-1g.bin" >/dev/null
scan_ms=() cat_ms=()
for i in $(seq 1 "$runs"); do
  scan_ms+=("$(runs=1 median_ms "$cli" scan "$work/scan-1g.bin")")
  cat_ms+=("$(runs=1 median_ms cat "$work/scan-1g.bin")")
done
middle() { printf '%s\n' "$@" | sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
scan_median=$(middle "${scan_ms[@]}") cat_median=$(middle "${cat_ms[@]}")
printf '%-48s %12.2f %s\n' "scan 1 GiB, every core" "$scan_median" ms
printf '%-48s %12.2f %s\n' "  floor: cat of the 1 GiB (scan turns)" "$cat_median" ms
printf '%-48s %12.2f %s\n' "ratio scan 1 GiB / cat" "$(awk -v a="$scan_median" -v b="$cat_median" 'BEGIN { print a / b }')" x
if [ -x /usr/bin/time ]; then
  /usr/bin/time -v -o "$work/time.txt" "$cli" scan "$work/scan-1g.bin" >/dev/null
  kib=$(awk -F': ' '/Maximum resident set size/ { print $2 }' "$work/time.txt")
  printf '%-48s %12.2f %s\n' "scan 1 GiB, peak resident" "$(awk -v k="$kib" 'BEGIN { print k / 1024 }')" MiB
  printf '%-48s %12.2f %s\n' "  floor: 64 MiB, the scan's memory budget" 64 MiB
fi
rm -f "$work/scan-1g.bin"
zcat /usr/share/consolefonts/*.psf.gz 2>/dev/null | head -c 65536 >"$work/glyphs-64k.bin" || true
[ "$(stat -c %s "$work/glyphs-64k.bin")" -eq 65536 ] || { echo "run_cli_bench: no 64 KiB of glyphs" >&2; exit 1; }
printf '%-48s %12.2f %s\n' "guess-width on 64 KiB" "$(median_ms "$cli" guess-width "$work/glyphs-64k.bin" --start 0 --length 65536)" ms
printf '%-48s %12.2f %s\n' "  floor: view of the same 64 KiB file" "$(median_ms "$cli" view "$work/glyphs-64k.bin" -o "$work/glyphs.png")" ms

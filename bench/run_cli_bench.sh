#!/usr/bin/env bash
# bitloupe-cli as whole processes (bench_cli, host build): view at the end of
# a 16 GiB sparse file against a 1 KiB file, export of 64 MiB against cat,
# the export's peak resident memory (/usr/bin/time -v) against the 64 MiB it
# exports, and find at a given stride in 1 GiB of random bytes against cat,
# with its peak resident memory against the 64 MiB it must stay under.
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

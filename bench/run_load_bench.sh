#!/usr/bin/env bash
# The viewer's load_file on a 1 GiB file (bench_redraw.exe --load under Wine)
# against dd of the same file from the Linux side. The file is read once whole
# first, so both read it from the page cache; then RUNS pairs, one load and one
# dd in turns, each load a program start of its own (the load timed inside).
# Prints the median of each and the median of the per-pair ratios
# (bench/load_summary.awk).
#
#   bench/run_load_bench.sh [BUILD_DIR] [RUNS]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build/win}" && pwd)
runs=${2:-5}
exe="$build/bench/bench_redraw.exe"
[ -f "$exe" ] || { echo "run_load_bench: $exe not built" >&2; exit 1; }

source "$root/tools/wine-env.sh" "$build"
big=$(mktemp /tmp/bitloupe-load-bench.XXXXXX)
trap 'rm -f "$big"; wine_env_stop' EXIT

# Written to disk before the samples, so that no write-back runs among them.
head -c 1G /dev/urandom >"$big"
sync "$big"
cat "$big" >/dev/null

pairs=""
for _ in $(seq 1 "$runs"); do
  output=$("$root/tools/wine-run.sh" "$exe" --load "Z:${big//\//\\}")
  ours=$(tr -d '\r' <<<"$output" | awk '$1 == "load_ns" { print $2 }')
  [ -n "$ours" ] || { echo "run_load_bench: no load figure" >&2; exit 1; }
  start=$(date +%s%N)
  dd if="$big" of=/dev/null bs=1G count=1 status=none
  pairs+="$ours $(($(date +%s%N) - start))"$'\n'
done
awk -f "$root/bench/load_summary.awk" <<<"$pairs"

#!/usr/bin/env bash
# Reading a 1 GiB file with one read_data (bench_files.exe under Wine) against
# dd reading the same file from the Linux side, both medians of RUNS runs.
#
#   bench/run_file_bench.sh [BUILD_DIR] [RUNS]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build/win-files}" && pwd)
runs=${2:-5}
exe="$build/bench/bench_files.exe"
[ -f "$exe" ] || { echo "run_file_bench: $exe not built" >&2; exit 1; }

source "$root/tools/wine-env.sh" "$build"
work=$(mktemp -d /tmp/bitloupe-file-bench.XXXXXX)
trap 'rm -rf "$work"; wine_env_stop' EXIT
file="$work/big.bin"

# The program creates the file and prints its own figures.
output=$("$root/tools/wine-run.sh" "$exe" "Z:${file//\//\\}" "$runs")
echo "$output"
ours=$(awk '$1 == "read_median_ns" { print $2 }' <<<"$output")
[ -n "$ours" ] || { echo "run_file_bench: no read figure" >&2; exit 1; }

samples=()
for _ in $(seq 1 "$runs"); do
  start=$(date +%s%N)
  dd if="$file" of=/dev/null bs=1G count=1 status=none
  stop=$(date +%s%N)
  samples+=($((stop - start)))
done
dd_ns=$(printf '%s\n' "${samples[@]}" | sort -n | sed -n "$((runs / 2 + 1))p")

awk -v ours="$ours" -v dd="$dd_ns" 'BEGIN {
  printf "%-48s %12.2f ms\n", "dd bs=1G count=1 (median)", dd / 1e6
  printf "%-48s %12.2f ms\n", "read_data (median)", ours / 1e6
  printf "%-48s %12.2f x\n", "read_data / dd", ours / dd
}'

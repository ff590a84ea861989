#!/usr/bin/env bash
# Builds and runs the benchmarks: the host ones in an optimised build without
# sanitizers, the Windows ones under Wine. Prints medians and ratios; asserts
# nothing. bench/table.sh runs it once per run of its table (RUNS 1 each).
#
#   tools/bench.sh [RUNS]    RUNS: runs of the file and command-line benchmarks (default 5)
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
RUNS="${1:-5}"
"$ROOT/tools/setup.sh"

host="$ROOT/build/bench-host"
cmake -S "$ROOT" -B "$host" -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_C_COMPILER=clang-14 -DCMAKE_CXX_COMPILER=clang++-14 -DBITLOUPE_SANITIZE=OFF >/dev/null
cmake --build "$host" -j"$(nproc)" --target bench_pool bench_strings bench_draw bench_view bitloupe-cli bench_cli >/dev/null

win="$ROOT/build/win"
cmake -S "$ROOT" -B "$win" \
  -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/mingw-w64.cmake" -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_CROSSCOMPILING_EMULATOR="$ROOT/tools/wine-run.sh" >/dev/null
WIN_BENCHES=(bench_draw bench_save bench_canvas)
[ -f "$ROOT/bench/bench_events.cpp" ] && WIN_BENCHES+=(bench_events)
cmake --build "$win" -j"$(nproc)" --target bench_files "${WIN_BENCHES[@]}" >/dev/null

echo "== host (clang-14 -O3, no sanitizers)"
"$host/bench/bench_pool"
"$host/bench/bench_strings"
"$host/bench/bench_draw"
"$host/bench/bench_view"
"$ROOT/bench/run_cli_bench.sh" "$host" "$RUNS"
echo "== Windows build under Wine"
(
  source "$ROOT/tools/wine-env.sh" "$win"
  for b in "${WIN_BENCHES[@]}"; do "$ROOT/tools/wine-run.sh" "$win/bench/$b.exe"; done
)
"$ROOT/bench/run_file_bench.sh" "$win" "$RUNS"

# The viewer's own code paths: redraw_view in the program's window, load_file
# on a 1 GiB file against dd on the same file, and bitloupe.exe end to end.
cmake --build "$win" -j"$(nproc)" --target bench_redraw bench_viewer_e2e bitloupe >/dev/null
(
  source "$ROOT/tools/wine-env.sh" "$win"
  big=$(mktemp /tmp/bitloupe-load-bench.XXXXXX)
  trap 'rm -f "$big"; wine_env_stop' EXIT
  head -c 1G /dev/urandom >"$big"
  output=$("$ROOT/tools/wine-run.sh" "$win/bench/bench_redraw.exe" "Z:${big//\//\\}" "$RUNS")
  grep -v '^load_median_ns' <<<"$output"
  ours=$(awk '$1 == "load_median_ns" { print $2 }' <<<"$output")
  samples=()
  for _ in $(seq 1 "$RUNS"); do
    start=$(date +%s%N)
    dd if="$big" of=/dev/null bs=1G count=1 status=none
    samples+=($(($(date +%s%N) - start)))
  done
  dd_ns=$(printf '%s\n' "${samples[@]}" | sort -n | sed -n "$((RUNS / 2 + 1))p")
  awk -v ours="$ours" -v dd="$dd_ns" 'BEGIN {
    printf "%-48s %12.2f ms\n", "dd bs=1G count=1, same file (median)", dd / 1e6
    printf "%-48s %12.2f x\n", "load_file / dd", ours / dd
  }'
  "$ROOT/tools/wine-run.sh" "$win/bench/bench_viewer_e2e.exe" 50
)

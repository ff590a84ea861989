#!/usr/bin/env bash
# Builds and runs the benchmarks: the host ones in an optimised build without
# sanitizers, the Windows ones under Wine. Prints medians and ratios; asserts
# nothing. bench/table.sh runs it once per run of its table (RUNS 1 each).
#
#   tools/bench.sh [RUNS]    RUNS: runs of the file, load and command-line benchmarks (default 5)
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
if command -v chromium >/dev/null && command -v chromedriver >/dev/null; then
  /usr/bin/python3 "$ROOT/bench/run_explore_bench.py" "$host/cli/bitloupe-cli" "$RUNS"
fi
echo "== Windows build under Wine"
(
  source "$ROOT/tools/wine-env.sh" "$win"
  for b in "${WIN_BENCHES[@]}"; do "$ROOT/tools/wine-run.sh" "$win/bench/$b.exe"; done
)
"$ROOT/bench/run_file_bench.sh" "$win" "$RUNS"

# The viewer's own code paths: redraw_view in the program's window and
# bitloupe.exe end to end, then load_file on a 1 GiB file against dd of the
# same file.
cmake --build "$win" -j"$(nproc)" --target bench_redraw bench_viewer_e2e bitloupe >/dev/null
(
  source "$ROOT/tools/wine-env.sh" "$win"
  "$ROOT/tools/wine-run.sh" "$win/bench/bench_redraw.exe"
  "$ROOT/tools/wine-run.sh" "$win/bench/bench_viewer_e2e.exe" 50
)
"$ROOT/bench/run_load_bench.sh" "$win" "$RUNS"

#!/usr/bin/env bash
# The test command: sets everything up, builds the Windows build and the host
# build, runs every test (unit, integration and end-to-end tests and a short
# soak run under Wine + Xvfb, the host sanitizer tests and the fuzzers), checks
# the release packages (tools/package.sh --check), prints the performance
# table from one run of every benchmark, and ends with "N passed, N failed".
# Exits non-zero on any failure.
#
#   FUZZ_SECONDS   time given to each fuzzer (default 20)
set -uo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
BUILD="$ROOT/build"
FUZZ_SECONDS="${FUZZ_SECONDS:-20}"
JOBS="$(nproc)"

"$ROOT/tools/setup.sh" || { echo "0 passed, 1 failed"; exit 1; }

passed=0
failed=0
failures=()

note_failure() {
  failed=$((failed + 1))
  failures+=("$1")
}

# Runs a step that either works or counts as one failure.
step() {
  local name="$1"; shift
  local log="$BUILD/logs/$name.log"
  mkdir -p "$BUILD/logs"
  if ! "$@" >"$log" 2>&1; then
    echo "FAILED: $name (log: $log)"
    tail -40 "$log"
    note_failure "$name"
    return 1
  fi
  return 0
}

configure_and_build() {
  local dir="$1"; shift
  if [ ! -f "$dir/CMakeCache.txt" ]; then
    cmake -S "$ROOT" -B "$dir" "$@" || return 1
  fi
  cmake --build "$dir" -j"$JOBS"
}

# Runs CTest in a build folder and adds its counts to the totals.
run_ctest() {
  local name="$1" dir="$2"
  local log="$BUILD/logs/$name.log"
  (cd "$dir" && ctest -j"$JOBS" --output-on-failure --timeout 300) >"$log" 2>&1
  local summary
  summary="$(grep -E '^[0-9]+% tests passed, [0-9]+ tests? failed out of [0-9]+' "$log" | tail -1)"
  if [ -z "$summary" ]; then
    echo "FAILED: $name did not run (log: $log)"
    tail -40 "$log"
    note_failure "$name"
    return
  fi
  local bad total
  bad="$(echo "$summary" | sed -E 's/.* ([0-9]+) tests? failed out of ([0-9]+).*/\1/')"
  total="$(echo "$summary" | sed -E 's/.* failed out of ([0-9]+).*/\1/')"
  passed=$((passed + total - bad))
  failed=$((failed + bad))
  echo "$name: $summary"
  if [ "$bad" -ne 0 ]; then
    sed -n '/The following tests FAILED/,$p' "$log"
    failures+=("$name")
  fi
}

echo "== building (Windows, mingw-w64)"
# shellcheck source=windows-config.sh
source "$ROOT/tools/windows-config.sh"
step build-windows configure_and_build "$BUILD/win" "${WINDOWS_CMAKE_ARGS[@]}"
win_built=$?

echo "== building (host, clang-14 with sanitizers)"
step build-host configure_and_build "$BUILD/host" \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_C_COMPILER=clang-14 -DCMAKE_CXX_COMPILER=clang++-14 \
  -DBITLOUPE_WERROR=ON -DBITLOUPE_FUZZ=ON
host_built=$?

if [ "$win_built" -eq 0 ]; then
  echo "== tests under Wine"
  # shellcheck source=wine-env.sh
  source "$ROOT/tools/wine-env.sh" "$BUILD/win"
  run_ctest tests-windows "$BUILD/win"

  # The release packages, made from the builds just made (the command line's
  # Linux release build is made on the first run) and checked against them.
  echo "== packages"
  if step package "$ROOT/tools/package.sh" --check; then
    passed=$((passed + 1))
    tail -1 "$BUILD/logs/package.log"
  fi
fi

if [ "$host_built" -eq 0 ]; then
  echo "== host tests (address and undefined-behaviour sanitizers)"
  # The host tests compare the Linux command line with the Windows one under
  # Wine; here the Windows build must be there.
  if [ "$win_built" -eq 0 ]; then export BITLOUPE_REQUIRE_WINDOWS_CLI=1; fi
  run_ctest tests-host "$BUILD/host"

  echo "== fuzzers (${FUZZ_SECONDS} s each)"
  for fuzzer in "$BUILD"/host/fuzz/fuzz_*; do
    [ -x "$fuzzer" ] || continue
    name="$(basename "$fuzzer")"
    corpus="$BUILD/host/fuzz-corpus/$name"
    mkdir -p "$corpus"
    if (cd "$BUILD/host" && "$fuzzer" -max_total_time="$FUZZ_SECONDS" -print_final_stats=1 \
          -artifact_prefix="$BUILD/host/fuzz-artifacts-" "$corpus") >"$BUILD/logs/$name.log" 2>&1; then
      passed=$((passed + 1))
      echo "$name: $(grep -E '^stat::number_of_executed_units' "$BUILD/logs/$name.log" | awk '{print $2}') runs, no finding"
    else
      echo "FAILED: $name (log: $BUILD/logs/$name.log)"
      grep -E 'ERROR|SUMMARY|Test unit written' "$BUILD/logs/$name.log" | head -20
      note_failure "$name"
    fi
  done
fi

if [ "$win_built" -eq 0 ] && [ "$host_built" -eq 0 ]; then
  # One run of every benchmark, printed as the performance table. Budgets are
  # reported, never asserted (timings on a shared machine); a benchmark that
  # does not run or gives no figure fails the step.
  echo "== performance table (one run of each benchmark)"
  # The benchmarks start Wine and a display of their own.
  wine_env_stop
  table="$BUILD/logs/bench-table.md"
  if bash "$ROOT/bench/table.sh" 1 >"$table" 2>"$BUILD/logs/bench-table.log" && [ -s "$table" ] &&
      ! grep -q "not measured" "$table"; then
    passed=$((passed + 1))
    cat "$table"
    echo "(one run of each, on whatever else this machine is doing. Budgets are ratios to a floor"
    echo " measured in the same run; a ratio over its budget in one run reads \"over (1 run)\", and"
    echo " only the five-run table in bench/README.md, from bench/table.sh 5, says NO)"
  else
    echo "FAILED: performance table (log: $BUILD/logs/bench-table.log)"
    cat "$table" 2>/dev/null
    tail -20 "$BUILD/logs/bench-table.log"
    note_failure bench-table
  fi
fi

if [ "${#failures[@]}" -gt 0 ]; then
  echo "failed: ${failures[*]}"
fi
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ] && [ "$passed" -gt 0 ]

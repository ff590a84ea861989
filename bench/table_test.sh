#!/usr/bin/env bash
# Checks how bench/table.sh judges figures, on made-up benchmark outputs: the
# ratio is the median of the per-run ratios, a ratio over its budget is "NO"
# only in a table of five runs or more, and "over (N runs)" in a shorter one.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

# One run's output with a redraw and its floor (budget: 8 times the floor).
run_output() {
  printf '== Windows build under Wine\n'
  printf '%-48s %12.2f ms\n' "redraw_view, 1 MiB, MultiColumns (median)" "$1"
  printf '%-48s %12.2f ms\n' "  floor: 641x481 copy to the canvas + pump (1)" "$2"
}
row() { grep '^| redraw_view, worst layout (Wine) |' "$1"; }
failures=0
expect() {  # expect FILE TEXT WHAT
  if ! row "$1" | grep -qF -- "$2"; then
    echo "FAIL: $3: expected '$2' in: $(row "$1")"
    failures=$((failures + 1))
  fi
}

# One slow run: over its budget, but not NO.
mkdir "$work/one"
run_output 10 1 >"$work/one/run-1.txt"
bash "$here/table.sh" --from "$work/one" >"$work/one.md"
expect "$work/one.md" "| 10 | < 8 | over (1 run) |" "one run over its budget"
if grep -q '| NO |' "$work/one.md"; then
  echo "FAIL: a one-run table says NO"
  failures=$((failures + 1))
fi

# Five runs with the ratios 9, 2, 12, 10, 3: their median, 9, misses the
# budget, while the median figure over the median floor (9 / 2) would meet it.
mkdir "$work/five"
run_output 9 1 >"$work/five/run-1.txt"
run_output 4 2 >"$work/five/run-2.txt"
run_output 12 1 >"$work/five/run-3.txt"
run_output 20 2 >"$work/five/run-4.txt"
run_output 6 2 >"$work/five/run-5.txt"
bash "$here/table.sh" --from "$work/five" >"$work/five.md"
expect "$work/five.md" "| 9 | < 8 | NO |" "five runs, median ratio 9 over 8"

# Five runs within the budget, with one busy run among them.
mkdir "$work/met"
for n in 1 2 3 4; do run_output 4 1 >"$work/met/run-$n.txt"; done
run_output 30 1 >"$work/met/run-5.txt"
bash "$here/table.sh" --from "$work/met" >"$work/met.md"
expect "$work/met.md" "| 4 | < 8 | yes |" "five runs, one busy"

# A figure only reported is never judged, however far it lies from its floor.
mkdir "$work/reported"
for n in 1 2 3 4 5; do
  {
    printf '== host command line (bitloupe-cli, whole processes)\n'
    printf '%-48s %12.2f ms\n' "export 64 MiB, 8 bits a row, as PNG" 9000
    printf '%-48s %12.2f ms\n' "  floor: cat of the 64 MiB (PNG turns)" 30
  } >"$work/reported/run-$n.txt"
done
bash "$here/table.sh" --from "$work/reported" >"$work/reported.md"
if ! grep '^| CLI export 64 MiB, 8 bits a row, PNG |' "$work/reported.md" | grep -qF '| 300 | - | reported only |'; then
  echo "FAIL: a reported figure: $(grep 'PNG |' "$work/reported.md")"
  failures=$((failures + 1))
fi

# The load_file row as tools/bench.sh prints it (bench/load_summary.awk): each
# run one load and one dd in turns; the row is the median of the per-run
# ratios (1, 2, 2.5, 4, 9: 2.5, within 3), not the median load over the median
# dd (9 / 1).
mkdir "$work/load"
n=0
for pair in "1 1" "10 4" "2 1" "12 3" "9 1"; do
  n=$((n + 1))
  read -r load dd <<<"$pair"
  printf '%s000000000 %s000000000\n' "$load" "$dd" | awk -f "$here/load_summary.awk" >"$work/load/run-$n.txt"
done
bash "$here/table.sh" --from "$work/load" >"$work/load.md"
if ! grep '^| load_file 1 GiB (Wine) |' "$work/load.md" | grep -qF '| 9000 ms | 1000 ms (dd of the same file) | 2.5 | < 3 | yes |'; then
  echo "FAIL: the load row: $(grep 'load_file' "$work/load.md")"
  failures=$((failures + 1))
fi
# Within one run of several pairs, the same rule.
summary=$(printf '1000 1000\n10000 4000\n12000 3000\n' | awk -f "$here/load_summary.awk")
if ! grep -q '^load_file / dd (median of the run ratios) *2.50 x$' <<<"$summary"; then
  echo "FAIL: the ratio of three pairs: $summary"
  failures=$((failures + 1))
fi

[ "$failures" -eq 0 ] && echo "table_test: all passed"
exit "$failures"

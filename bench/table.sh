#!/usr/bin/env bash
# Runs every benchmark of the project RUNS times (tools/bench.sh) and prints one
# table, as Markdown: what is measured, the median of its figure and of its
# floor (a baseline measured in the same run, in turns with it where the
# benchmark can), the median of the per-run ratios, and the budget, which is a
# ratio to the floor: an absolute time does not carry from machine to machine.
#
#   bench/table.sh [RUNS [KEEP_DIR]]   RUNS default 5; KEEP_DIR keeps each
#                                      run's output (run-N.txt)
#   bench/table.sh --from KEEP_DIR     the table again from kept outputs
#
# "met" is judged on the ratio. A table of five runs or more says "NO" for a
# ratio over its budget; a table of fewer runs cannot tell a miss from a busy
# moment of a shared machine, and says "over (N runs)" instead.
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
if [ "${1:-}" = "--from" ]; then
  work="${2:?table: --from needs a folder}"
  RUNS=$(find "$work" -maxdepth 1 -name 'run-*.txt' | wc -l)
  [ "$RUNS" -gt 0 ] || { echo "table: no run-*.txt in $work" >&2; exit 2; }
else
  RUNS="${1:-5}"
  case "$RUNS" in '' | *[!0-9]* | 0) echo "table: RUNS must be a positive number" >&2; exit 2 ;; esac
  if [ -n "${2:-}" ]; then
    work="$2"
    mkdir -p "$work"
    rm -f "$work"/run-*.txt
  else
    work="$(mktemp -d)"
    trap 'rm -rf "$work"' EXIT
  fi
  for run in $(seq 1 "$RUNS"); do
    "$ROOT/tools/bench.sh" 1 >"$work/run-$run.txt"
  done
fi
/usr/bin/python3 - "$RUNS" "$work"/run-*.txt <<'PY'
import re, statistics, sys

runs = int(sys.argv[1])
outputs = [open(path).read().splitlines() for path in sys.argv[2:]]

def value(lines, prefix, section):
    """The figure of the first line of `section` that starts with `prefix`."""
    current = None
    for line in lines:
        if line.startswith("== "):
            current = line
            continue
        if current and section in current and line.strip().startswith(prefix):
            m = re.search(r"(-?[0-9.]+) +(\S+)\s*$", line)
            if m:
                return float(m.group(1)), m.group(2)
    return None

# (what, figure line, section, floor line, what the floor is, budget: the
# ratio to the floor to stay under, or None for a figure only reported). Most budgets are about twice the larger
# of two five-run medians measured on a loaded 2-core machine; bench/README.md
# gives the reason for each.
rows = [
    ("pool allocate + free pair (host)", "pool allocate+free pair", "host",
     "heap alloc+free pair", "main-heap alloc + free pair", 0.5),
    ("title expression on the string stack (host)", "title expression", "host",
     "snprintf of the same title", "snprintf of the same title", 1.0),
    ("307,840 draw_box + grid lines (host)", "redraw: 307,840", "host",
     "memset of the same pixel memory", "memset of the pixel memory", 400),
    ("307,840 draw_box + grid lines (Wine)", "redraw: 307,840", "Windows",
     "memset of the same pixel memory", "memset of the pixel memory", 400),
    ("view drawing, worst layout (host)", "render_view, MultiColumns width 1 zoom 1", "host",
     "floor: 38,480 bytes", "38,480 bytes through a table", 6.0),
    ("view drawing, Align to grid Y 2 (host)", "render_view, same with Align to grid Y 2", "host",
     "floor: 38,480 bytes", "38,480 bytes through a table", 6.0),
    ("save_image 641x481 JPEG (Wine)", "save_image 641x481", "Windows",
     "fwrite of the same pixel bytes", "fwrite of the pixel bytes", 6.0),
    ("canvas cycle with repaint (Wine)", "canvas cycle", "Windows",
     "floor: 641x481 copy to the canvas window", "641x481 copy to the canvas", 20),
    ("queued event, post + take (Wine)", "event, burst of 1000, with data", "Windows",
     "floor: std::deque push + pop", "std::deque push + pop + release", 5.0),
    ("write_byte, 100 MB (Wine)", "write 100 MB with write_byte", "Windows",
     "WriteFile of the same bytes", "WriteFile in 64 KiB pieces", 15),
    ("1 GiB read_data (Wine)", "read_data (median)", "Windows",
     "dd bs=1G count=1 (median)", "dd of the same file", 4.0),
    ("redraw_view, worst layout (Wine)", "redraw_view, 1 MiB, MultiColumns", "Windows",
     "floor: 641x481 copy to the canvas + pump (1)", "641x481 copy to the canvas + pump", 8.0),
    ("redraw_view, Align to grid Y 2 (Wine)", "redraw_view, + Align to grid", "Windows",
     "floor: 641x481 copy to the canvas + pump (2)", "641x481 copy to the canvas + pump", 8.0),
    ("load_file 1 GiB (Wine)", "load_file, 1 GiB", "Windows",
     "dd bs=1G count=1, same file", "dd of the same file", 3.0),
    ("width-bar step to new title (Wine)", "width bar step to new title", "Windows",
     "floor: step to a 641x481 copy", "step to a copy + title, other process", 20),
    ("CLI view, last row of a 16 GiB sparse file", "view, last row of a 16 GiB sparse file", "command line",
     "floor: view, last row of a 1 KiB file", "the same view of a 1 KiB file", 1.5),
    ("CLI view of a 1 KiB file", "floor: view, last row of a 1 KiB file", "command line",
     "process start: bitloupe-cli --version", "bitloupe-cli --version", None),
    ("CLI export 64 MiB, 8 bits a row, PBM", "export 64 MiB, 8 bits a row, as PBM", "command line",
     "floor: cat of the 64 MiB (PBM turns)", "cat of the same 64 MiB", 3.0),
    ("CLI export 64 MiB, 8 bits a row, PNG", "export 64 MiB, 8 bits a row, as PNG", "command line",
     "floor: cat of the 64 MiB (PNG turns)", "cat of the same 64 MiB", None),
    ("CLI export 64 MiB, 8 bits a row, PNG, to gzip", "export 64 MiB, 8 bits a row, as PNG", "command line",
     "gzip -6 of the 64 MiB (PNG turns)", "gzip -6 of the same 64 MiB", None),
    ("CLI export 4 MiB, 64 bits a row, PNG, against PIL", "PNG of 4 MiB, 64 bits a row, against pil", "command line",
     "floor: the same picture by pil", "Python's imaging library, the same bits", 1.0),
    ("CLI export 4 MiB, 64 bits a row, PNG, against pnmtopng", "PNG of 4 MiB, 64 bits a row, against netpbm",
     "command line", "floor: the same picture by netpbm", "netpbm's pnmtopng of the same bits", 1.0),
    ("CLI export 64 KiB, 64 bits a row, PNG, against ImageMagick", "PNG of 64 KiB, 64 bits a row, against magick",
     "command line", "floor: the same picture by magick", "ImageMagick's convert of the same bits", 1.0),
    ("CLI export 64 MiB, 8 bits a row, PNG, against gzip of its data", "PNG of 64 MiB, 8 bits a row, against gzip",
     "command line", "floor: gzip -6 of the image data the PNG holds", "gzip -6 of the rows behind their filter bytes", 3.0),
    ("CLI export 64 MiB as PBM, peak memory", "export 64 MiB as PBM, peak resident", "command line",
     "floor: the region exported", "the 64 MiB exported", 0.5),
    ("CLI export 64 MiB as PNG, peak memory", "export 64 MiB as PNG, peak resident", "command line",
     "floor: the region exported", "the 64 MiB exported", 0.5),
    ("CLI find 8x16 glyph, stride given, 1 GiB", "find 8x16 glyph, stride 16, 1 GiB", "command line",
     "floor: cat of the 1 GiB (find turns)", "cat of the same 1 GiB", 3.0),
    ("CLI find 8x16, 2 pixels may differ, every stride, 3.6 MB", "find 8x16, 2 pixels may differ, every stride", "command line",
     "floor: find 8x16 exactly, every stride (2)", "find of the same glyph exactly, every stride", 6.0),
    ("CLI find 8x16, 4 pixels may differ, every stride, 3.6 MB", "find 8x16, 4 pixels may differ, every stride", "command line",
     "floor: find 8x16 exactly, every stride (4)", "find of the same glyph exactly, every stride", 10.0),
    ("CLI find 8x8, 2 pixels may differ, every stride, 3.6 MB", "find 8x8, 2 pixels may differ, every stride", "command line",
     "floor: find 8x8 exactly, every stride (2)", "find of the same glyph exactly, every stride", 6.0),
    ("CLI find 8x8, 4 pixels may differ, every stride, 3.6 MB", "find 8x8, 4 pixels may differ, every stride", "command line",
     "floor: find 8x8 exactly, every stride (4)", "find of the same glyph exactly, every stride", 10.0),
    ("explore, key to picture, 80 x 481, 256 MiB file", "explore step, 256 MiB file", "explore page",
     "floor: explore step, 1 KiB file (256 MiB)", "the same step on a 1 KiB file", 2.0),
    ("explore, key to picture, 80 x 481, 16 GiB sparse file", "explore step, 16 GiB sparse file", "explore page",
     "floor: explore step, 1 KiB file (16 GiB sparse)", "the same step on a 1 KiB file", 2.0),
    ("explore server, 16 GiB file, three tabs, peak memory", "explore server, 16 GiB, three tabs, peak", "explore page",
     "floor: the most explore may use", "64 MiB", 1.0),
    ("CLI find in 1 GiB, peak memory", "find in 1 GiB, peak resident", "command line",
     "floor: the most find may use", "64 MiB", 1.0),
    ("CLI overview of 1 GiB", "overview of 1 GiB", "command line",
     "floor: cat of the 1 GiB (overview turns)", "cat of the same 1 GiB", 3.0),
    ("CLI overview of 1 GiB, peak memory", "overview of 1 GiB, peak resident", "command line",
     "floor: the most overview may use", "64 MiB", 1.0),
    ("CLI scan 1 GiB, every core", "scan 1 GiB, every core", "command line",
     "floor: cat of the 1 GiB (scan turns)", "cat of the same 1 GiB", 3.0),
    ("CLI scan 1 GiB, peak memory", "scan 1 GiB, peak resident", "command line",
     "floor: 64 MiB, the scan's memory budget", "64 MiB", 1.0),
    ("CLI scan 1 GiB of mixed real data", "scan 1 GiB of mixed real data", "command line",
     "floor: cat of the 1 GiB (mixed scan turns)", "cat of the same 1 GiB", 3.0),
    ("CLI scan 1 GiB of programs and libraries", "scan 1 GiB of programs and libraries", "command line",
     "floor: cat of the 1 GiB (programs scan turns)", "cat of the same 1 GiB", 3.0),
    ("CLI scan 1 GiB of programs, peak memory", "scan 1 GiB of programs, peak resident", "command line",
     "floor: 64 MiB, the programs scan's budget", "64 MiB", 1.0),
    ("CLI guess-width on 64 KiB", "guess-width on 64 KiB", "command line",
     "floor: view of the same 64 KiB file", "view of the same file", 1.0),
]

def number(x):
    return f"{x:.3g}" if x < 100 else f"{x:.0f}"

runs_text = f"{runs} run" + ("s" if runs != 1 else "")
print(f"| what | median | floor (same run) | ratio | budget | met ({runs_text}) |")
print("|---|---|---|---|---|---|")
for what, line, section, floor_line, floor_what, budget in rows:
    figures, floors, ratios = [], [], []
    unit = floor_unit = ""
    for lines in outputs:
        got = value(lines, line, section)
        floor = value(lines, floor_line, section)
        if got:
            figures.append(got[0])
            unit = got[1]
        if floor:
            floors.append(floor[0])
            floor_unit = floor[1]
        if got and floor and floor[0] > 0:
            ratios.append(got[0] / floor[0])
    budget_text = "-" if budget is None else f"< {budget:g}"
    if not ratios:
        print(f"| {what} | not measured | - | - | {budget_text} | - |")
        continue
    ratio = statistics.median(ratios)
    if budget is None:
        met = "reported only"
    elif ratio < budget:
        met = "yes"
    elif runs >= 5:
        met = "NO"
    else:
        met = f"over ({runs_text})"
    print(f"| {what} | {number(statistics.median(figures))} {unit} "
          f"| {number(statistics.median(floors))} {floor_unit} ({floor_what}) "
          f"| {ratio:.3g} | {budget_text} | {met} |")
PY

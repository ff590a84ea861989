#!/usr/bin/env bash
# Runs every benchmark of the project (tools/bench.sh) and prints one table:
# what is measured, its median, its budget and the ratio to its floor (a
# baseline measured in the same run), as Markdown.
#
#   bench/table.sh [RUNS]
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
out="$(mktemp)"
trap 'rm -f "$out"' EXIT
"$ROOT/tools/bench.sh" "${1:-5}" >"$out"
/usr/bin/python3 - "$out" <<'PY'
import re, sys
lines = open(sys.argv[1]).read().splitlines()
def value(prefix, section=None):
    current = None
    for line in lines:
        if line.startswith("== "):
            current = line
            continue
        if line.startswith(prefix) and (section is None or (current and section in current)):
            m = re.search(r"(-?[0-9.]+) +(\S+)\s*$", line)
            if m:
                return float(m.group(1)), m.group(2)
    return None
rows = [
    # (what, line, section, budget text, budget value in the line's unit, floor line, comparison)
    ("pool allocate + free pair (host)", "pool allocate+free pair", "host", "< 10 ns", 10, "heap alloc+free pair", "<"),
    ("title expression on the string stack (host)", "title expression", "host", "< 200 ns", 200, None, "<"),
    ("307,840 draw_box + grid lines (host)", "redraw: 307,840", "host", "< 1500 us", 1500, "memset of the same pixel memory", "<"),
    ("307,840 draw_box + grid lines (Wine)", "redraw: 307,840", "Windows", "-", None, "memset of the same pixel memory", None),
    ("view drawing, worst layout (host)", "render_view, MultiColumns width 1 zoom 1", "host", "< 300 us", 300, "floor: 38,480 bytes", "<"),
    ("view drawing, Align to grid Y 2 (host)", "render_view, same with Align to grid Y 2", "host", "< 300 us", 300, "floor: 38,480 bytes", "<"),
    ("save_image 641x481 JPEG (Wine)", "save_image 641x481", "Windows", "< 15 ms", 15, "fwrite of the same pixel bytes", "<"),
    ("canvas cycle with repaint (Wine)", "canvas cycle", "Windows", "< 5 ms", 5, None, "<"),
    ("queued event, post + take (Wine)", "event, burst of 1000, with data", "Windows", "< 1000 ns", 1000, None, "<"),
    ("write_byte throughput (Wine)", "write_byte throughput", "Windows", "> 200 MB/s", 200, None, ">"),
    ("1 GiB read_data / dd (Wine)", "read_data / dd", "Windows", "< 1.5 x", 1.5, None, "<"),
    ("redraw_view, worst layout (Wine)", "redraw_view, 1 MiB, MultiColumns", "Windows", "< 3 ms", 3, None, "<"),
    ("redraw_view, Align to grid Y 2 (Wine)", "redraw_view, + Align to grid", "Windows", "< 5 ms", 5, None, "<"),
    ("load_file 1 GiB / dd (Wine)", "load_file / dd", "Windows", "< 1.5 x", 1.5, None, "<"),
    ("width-bar step to new title (Wine)", "width bar step to new title", "Windows", "< 20 ms", 20, None, "<"),
]
print("| what | median | budget | met | ratio to floor |")
print("|---|---|---|---|---|")
for what, line, section, budget_text, budget, floor_line, comparison in rows:
    got = value(line, section)
    if got is None:
        print(f"| {what} | not measured | {budget_text} | - | - |")
        continue
    number, unit = got
    met = "-"
    if budget is not None:
        met = "yes" if (number < budget if comparison == "<" else number > budget) else "NO"
    ratio = "-"
    if floor_line:
        floor = value(floor_line, section)
        if floor and floor[0] > 0:
            ratio = f"{number / floor[0]:.2f} ({floor_line}: {floor[0]:g} {floor[1]})"
    print(f"| {what} | {number:g} {unit} | {budget_text} | {met} | {ratio} |")
PY

#!/usr/bin/env bash
# Drags two real files from a native X client (GTK3, XDND) onto a window of
# ours running under Wine, with the pointer moved by xdotool, and checks the
# paths that reach the program. Needs DISPLAY and WINEPREFIX as set by
# tools/wine-env.sh; exits 77 (skipped) without python3-gi, GTK 3 or xdotool.
#   xdnd_drop.sh DROP_PROBE_EXE
set -uo pipefail
probe_exe="$1"
here="$(cd "$(dirname "$0")" && pwd)"
if ! command -v xdotool >/dev/null || ! /usr/bin/python3 -c 'import gi; gi.require_version("Gtk", "3.0")' 2>/dev/null; then
  echo "xdnd_drop: python3-gi, gir1.2-gtk-3.0 or xdotool missing" >&2
  exit 77
fi

work="$(mktemp -d)"
probe_pid="" source_pid=""
finish() {
  [ -n "$source_pid" ] && kill "$source_pid" 2>/dev/null
  [ -n "$probe_pid" ] && kill "$probe_pid" 2>/dev/null
  wait 2>/dev/null
  rm -rf "$work"
}
trap finish EXIT
echo first > "$work/first.bin"
echo second > "$work/second file.rom"

"$here/../../tools/wine-run.sh" "$probe_exe" > "$work/probe.out" 2>/dev/null &
probe_pid=$!
/usr/bin/python3 "$here/xdnd_source.py" "$work/first.bin" "$work/second file.rom" > "$work/source.out" 2>/dev/null &
source_pid=$!

# Waits (bounded) until the file holds the pattern.
wait_for() {
  for _ in $(seq 200); do
    grep -q "$2" "$1" 2>/dev/null && return 0
    sleep 0.05
  done
  return 1
}
wait_for "$work/probe.out" ready || { echo "xdnd_drop: the probe did not start" >&2; exit 1; }
wait_for "$work/source.out" ready || { echo "xdnd_drop: the drag source did not start" >&2; exit 1; }

centre() {
  local window
  window="$(xdotool search --name "$1" | head -1)"
  [ -n "$window" ] || return 1
  eval "$(xdotool getwindowgeometry --shell "$window")"
  echo "$((X + WIDTH / 2)) $((Y + HEIGHT / 2))"
}
read -r sx sy < <(centre "Drag source") || { echo "xdnd_drop: no drag source window" >&2; exit 1; }
read -r tx ty < <(centre "Drop probe") || { echo "xdnd_drop: no probe window" >&2; exit 1; }

# The drop only counts once the target has answered the source's position
# messages; nothing outside shows that, so a drag that ended too early is
# simply made again, a bounded number of times.
for attempt in 1 2 3 4 5; do
  xdotool mousemove --sync "$sx" "$sy" mousedown 1
  for step in $(seq 1 12); do
    xdotool mousemove --sync $((sx + (tx - sx) * step / 12)) $((sy + (ty - sy) * step / 12))
  done
  for wiggle in $(seq 1 $((attempt * 8))); do
    xdotool mousemove --sync $((tx + wiggle % 5)) $((ty + wiggle % 3))
  done
  xdotool mouseup 1
  wait_for "$work/probe.out" dropped && break
done

unix_to_wine() { echo "Z:$1" | tr '/' '\\'; }
expected="dropped:$(unix_to_wine "$work/first.bin")|$(unix_to_wine "$work/second file.rom")"
actual="$(grep dropped "$work/probe.out" | tr -d '\r')"
if [ "$actual" != "$expected" ]; then
  echo "xdnd_drop: expected '$expected', got '${actual:-no drop}'" >&2
  exit 1
fi
echo "xdnd_drop: $actual"

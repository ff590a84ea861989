#!/usr/bin/env bash
# Drags two real files from a native X client (GTK3, XDND) onto a window of
# ours running under Wine, with the pointer moved by xdotool, and checks the
# paths that reach the program. Needs DISPLAY and WINEPREFIX as set by
# tools/wine-env.sh; exits 77 (skipped) without python3-gi, GTK 3 or xdotool.
#   xdnd_drop.sh DROP_PROBE_EXE
set -uo pipefail
probe_exe="$1"
here="$(cd "$(dirname "$0")" && pwd)"
# shellcheck source=xdnd_drag.sh
source "$here/xdnd_drag.sh"
xdnd_require xdnd_drop

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

xdnd_wait_for "$work/probe.out" ready "$probe_pid" || { echo "xdnd_drop: the probe did not start" >&2; exit 1; }
xdnd_wait_for "$work/source.out" ready || { echo "xdnd_drop: the drag source did not start" >&2; exit 1; }
read -r tx ty < <(xdnd_centre "Drop probe") || { echo "xdnd_drop: no probe window" >&2; exit 1; }
xdnd_drag "$tx" "$ty" "$work/probe.out" dropped "$probe_pid"

unix_to_wine() { echo "Z:$1" | tr '/' '\\'; }
expected="dropped:$(unix_to_wine "$work/first.bin")|$(unix_to_wine "$work/second file.rom")"
actual="$(grep dropped "$work/probe.out" | tr -d '\r')"
if [ "$actual" != "$expected" ]; then
  echo "xdnd_drop: expected '$expected', got '${actual:-no drop}'" >&2
  exit 1
fi
echo "xdnd_drop: $actual"

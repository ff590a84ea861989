#!/usr/bin/env bash
# Drops files onto the viewer from a native X client (GTK3, XDND) with the
# pointer moved by xdotool. "files": three files, the driver checks that only
# the first loads; "many": the same with 1,000 files; "folder": a folder, the
# driver checks the message and the exit code 1. Needs DISPLAY and WINEPREFIX as set by tools/wine-env.sh; exits
# 77 (skipped) without python3-gi, GTK 3 or xdotool.
#   viewer_drop.sh VIEWER_DRIVER_EXE files|many|folder
set -uo pipefail
driver_exe="$1"
mode="${2:-files}"
here="$(cd "$(dirname "$0")" && pwd)"
if ! command -v xdotool >/dev/null || ! /usr/bin/python3 -c 'import gi; gi.require_version("Gtk", "3.0")' 2>/dev/null; then
  echo "viewer_drop: python3-gi, gir1.2-gtk-3.0 or xdotool missing" >&2
  exit 77
fi

work="$(mktemp -d)"
driver_pid="" source_pid=""
finish() {
  [ -n "$source_pid" ] && kill "$source_pid" 2>/dev/null
  [ -n "$driver_pid" ] && kill "$driver_pid" 2>/dev/null
  wait 2>/dev/null
  rm -rf "$work"
}
trap finish EXIT
printf '\x80\x01\xff' > "$work/first.bin"
printf 'second dropped file, longer than the first' > "$work/second file.bin"
printf '\x00\x00\x00\x00\x00\x00' > "$work/third.bin"
: > "$work/signal"

mkdir "$work/folder"
if [ "$mode" = folder ]; then
  case_name=FolderEndsWithExitCodeOne
  dragged=("$work/folder")
else
  case_name=LoadsOnlyTheFirstOfThreeDroppedFiles
  dragged=("$work/first.bin" "$work/second file.bin" "$work/third.bin")
  if [ "$mode" = many ]; then
    # 1,000 files in all, the names long enough to make the list about 100 KB.
    mkdir "$work/many"
    for i in $(seq 4 1000); do
      name="$work/many/dropped file number $i with a name of some length, $(printf '%04d' "$i").bin"
      printf 'file %d' "$i" > "$name"
      dragged+=("$name")
    done
  fi
fi

VIEWER_DROP_SIGNAL="$work/signal" VIEWER_DROP_FIRST="$work/first.bin" \
  "$here/../../tools/wine-run.sh" "$driver_exe" --gtest_filter="viewer_drop.$case_name" &
driver_pid=$!
/usr/bin/python3 "$here/xdnd_source.py" "${dragged[@]}" > "$work/source.out" 2>/dev/null &
source_pid=$!

# Waits (bounded) until the file holds the pattern or the driver has ended.
wait_for() {
  for _ in $(seq 400); do
    grep -q "$2" "$1" 2>/dev/null && return 0
    kill -0 "$driver_pid" 2>/dev/null || return 1
    sleep 0.05
  done
  return 1
}
if wait_for "$work/signal" target && wait_for "$work/source.out" ready; then
  read -r _ tx ty < <(grep target "$work/signal" | head -1 | tr -d '\r')
  window="$(xdotool search --name "Drag source" | head -1)"
  if [ -n "$window" ]; then
    eval "$(xdotool getwindowgeometry --shell "$window")"
    sx=$((X + WIDTH / 2)) sy=$((Y + HEIGHT / 2))
    # The drop only counts once the target has answered the source's position
    # messages; a drag that ended too early is made again, a bounded number of times.
    for attempt in 1 2 3 4 5; do
      xdotool mousemove --sync "$sx" "$sy" mousedown 1
      for step in $(seq 1 12); do
        xdotool mousemove --sync $((sx + (tx - sx) * step / 12)) $((sy + (ty - sy) * step / 12))
      done
      for wiggle in $(seq 1 $((attempt * 8))); do
        xdotool mousemove --sync $((tx + wiggle % 5)) $((ty + wiggle % 3))
      done
      xdotool mouseup 1
      wait_for "$work/signal" "loaded\|gave up" && break
    done
  else
    echo "viewer_drop: no drag source window" >&2
  fi
else
  echo "viewer_drop: the driver or the drag source did not start" >&2
fi
wait "$driver_pid"
status=$?
driver_pid=""
exit "$status"

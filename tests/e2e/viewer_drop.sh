#!/usr/bin/env bash
# Drops files onto the viewer from a native X client. "files": three files, the
# driver checks that only the first loads; "many": the same with 1,000 files;
# "folder": a folder, the driver checks the message and the exit code 1. Needs
# DISPLAY and WINEPREFIX as set by tools/wine-env.sh; exits 77 (skipped) without
# python3-gi, GTK 3 or xdotool.
#   viewer_drop.sh VIEWER_DRIVER_EXE files|many|folder
set -uo pipefail
driver_exe="$1"
mode="${2:-files}"
here="$(cd "$(dirname "$0")" && pwd)"
# shellcheck source=xdnd_drag.sh
source "$here/xdnd_drag.sh"
xdnd_require viewer_drop

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
    # 1,000 files in all, the names long enough to make the list about 90 KB.
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

if xdnd_wait_for "$work/signal" target "$driver_pid" && xdnd_wait_for "$work/source.out" ready "$driver_pid"; then
  read -r _ tx ty < <(grep target "$work/signal" | head -1 | tr -d '\r')
  xdnd_drag "$tx" "$ty" "$work/signal" "loaded\|gave up" "$driver_pid" ||
    echo "viewer_drop: no drop reached the viewer" >&2
else
  echo "viewer_drop: the driver or the drag source did not start" >&2
fi
wait "$driver_pid"
status=$?
driver_pid=""
exit "$status"

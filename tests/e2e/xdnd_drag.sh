# xdnd_drag.sh: sourced by the drop scripts, which drag files from a native X
# client (xdnd_source.py, GTK 3) onto a window running under Wine, the pointer
# moved by xdotool.

# Exits 77 (skipped) when python3-gi, GTK 3 or xdotool is missing.
xdnd_require() {
  if ! command -v xdotool >/dev/null ||
      ! /usr/bin/python3 -c 'import gi; gi.require_version("Gtk", "3.0")' 2>/dev/null; then
    echo "$1: python3-gi, gir1.2-gtk-3.0 or xdotool missing" >&2
    exit 77
  fi
}

# Waits (bounded, 20 s) until FILE holds PATTERN; gives up early once the
# process PID, when given, has ended.
xdnd_wait_for() {
  local file="$1" pattern="$2" pid="${3:-}"
  for _ in $(seq 400); do
    grep -q "$pattern" "$file" 2>/dev/null && return 0
    if [ -n "$pid" ] && ! kill -0 "$pid" 2>/dev/null; then return 1; fi
    sleep 0.05
  done
  return 1
}

# The centre of the first window titled TITLE, as "X Y".
xdnd_centre() {
  local window
  window="$(xdotool search --name "$1" | head -1)"
  [ -n "$window" ] || return 1
  eval "$(xdotool getwindowgeometry --shell "$window")"
  echo "$((X + WIDTH / 2)) $((Y + HEIGHT / 2))"
}

# Drags from the drag source's window to TX TY until FILE holds PATTERN. The
# drop only counts once the target has answered the source's position
# messages, which nothing outside shows: a drag that ended too early is made
# again, a bounded number of times.
#   xdnd_drag TX TY FILE PATTERN [PID]
xdnd_drag() {
  local tx="$1" ty="$2" file="$3" pattern="$4" pid="${5:-}" sx sy
  read -r sx sy < <(xdnd_centre "Drag source") || return 1
  for attempt in 1 2 3 4 5; do
    xdotool mousemove --sync "$sx" "$sy" mousedown 1
    for step in $(seq 1 12); do
      xdotool mousemove --sync $((sx + (tx - sx) * step / 12)) $((sy + (ty - sy) * step / 12))
    done
    for wiggle in $(seq 1 $((attempt * 8))); do
      xdotool mousemove --sync $((tx + wiggle % 5)) $((ty + wiggle % 3))
    done
    xdotool mouseup 1
    xdnd_wait_for "$file" "$pattern" "$pid" && return 0
  done
  return 1
}

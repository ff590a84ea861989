# Sourced by the scripts that run Windows programs: makes the Wine prefix (once),
# starts an Xvfb display on a free number and a persistent wineserver, and
# stops both when the calling script exits (also on failure or Ctrl+C).
#
#   source tools/wine-env.sh BUILD_DIR

# shellcheck source=wine-common.sh
source "$(dirname "${BASH_SOURCE[0]}")/wine-common.sh"
wine_env_build_dir="$(mkdir -p "$1" && cd "$1" && pwd)"
export WINEPREFIX="$wine_env_build_dir/wineprefix"

wine_env_xvfb_pid=""
wine_env_stop() {
  WINEPREFIX="$WINEPREFIX" wineserver -k >/dev/null 2>&1 || true
  if [ -n "$wine_env_xvfb_pid" ]; then
    kill "$wine_env_xvfb_pid" >/dev/null 2>&1 || true
    wait "$wine_env_xvfb_pid" 2>/dev/null || true
  fi
}
trap wine_env_stop EXIT
trap 'exit 130' INT TERM

# A free display number: no lock file and no socket.
wine_env_display=""
for n in $(seq 90 190); do
  if [ ! -e "/tmp/.X$n-lock" ] && [ ! -e "/tmp/.X11-unix/X$n" ]; then
    wine_env_display=$n
    break
  fi
done
if [ -z "$wine_env_display" ]; then
  echo "wine-env: no free X display number" >&2
  exit 1
fi
Xvfb ":$wine_env_display" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
wine_env_xvfb_pid=$!
export DISPLAY=":$wine_env_display"
for _ in $(seq 1 100); do
  [ -e "/tmp/.X11-unix/X$wine_env_display" ] && break
  sleep 0.05
done

wine_make_prefix "$WINEPREFIX" tests
# One server for the whole run, detached from our output streams. The first
# program also starts Wine's background services, which live as long as the
# server: start them here, with no inherited pipe to keep a reader waiting.
# (A server already running for the prefix, in a nested use, serves as well.)
wineserver -p </dev/null >/dev/null 2>&1 || true
"${WINE_LAUNCH[@]}" "$WINE64" cmd.exe /c exit </dev/null >/dev/null 2>&1 || true
# The desktop process, started by a program of ours with no inherited streams
# and held open until the server stops (see tools/desktop_keeper.cpp). Before
# the first build there is no keeper yet.
wine_env_keeper="$wine_env_build_dir/tools/desktop_keeper.exe"
if [ -f "$wine_env_keeper" ]; then
  wine_env_ready="$wine_env_build_dir/tools/desktop-ready"
  rm -f "$wine_env_ready"
  ( "${WINE_LAUNCH[@]}" "$WINE64" "$wine_env_keeper" "Z:${wine_env_ready//\//\\}" </dev/null >/dev/null 2>&1 & )
  for _ in $(seq 1 200); do
    [ -e "$wine_env_ready" ] && break
    sleep 0.05
  done
  [ -e "$wine_env_ready" ] || echo "wine-env: the desktop keeper did not start" >&2
fi

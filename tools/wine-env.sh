# Sourced by the scripts that run Windows programs: makes the Wine prefix (once),
# starts an Xvfb display on a free number and a persistent wineserver, and
# stops both when the calling script exits (also on failure or Ctrl+C).
#
#   source tools/wine-env.sh BUILD_DIR

wine_env_build_dir="$(mkdir -p "$1" && cd "$1" && pwd)"
export WINEPREFIX="$wine_env_build_dir/wineprefix"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
export WINEARCH=win64

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

# A prefix counts as ready only when its settings reached the registry file
# (a server killed before it saved them leaves a prefix without them).
if [ ! -f "$WINEPREFIX/.bitloupe-ready" ] || ! grep -q '"Managed"="N"' "$WINEPREFIX/user.reg" 2>/dev/null; then
  rm -rf "$WINEPREFIX"
  mkdir -p "$WINEPREFIX"
  wineboot -i >/dev/null 2>&1 </dev/null
  # Without a window manager, hiding a top-level window otherwise stalls ~2 s.
  wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f >/dev/null 2>&1
  # A crash must end the process, not open a dialog that hangs the run.
  wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1
  wineserver -w
  touch "$WINEPREFIX/.bitloupe-ready"
fi
# One server for the whole run, detached from our output streams. The first
# program also starts Wine's background services, which live as long as the
# server: start them here, with no inherited pipe to keep a reader waiting.
# (A server already running for the prefix, in a nested use, serves as well.)
wineserver -p </dev/null >/dev/null 2>&1 || true
/usr/lib/wine/wine64 cmd.exe /c exit </dev/null >/dev/null 2>&1 || true

#!/usr/bin/env bash
# Builds the viewer (the Windows build in build/win) and runs it under Wine on
# your display. Uses its own Wine prefix, build/win/wineprefix-run, made on
# the first run. Without a DISPLAY it falls back to a private Xvfb display
# (nothing is visible then; useful only as a smoke run).
#
#   tools/run.sh
set -euo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
BUILD="$ROOT/build/win"

"$ROOT/tools/setup.sh"

# Configured as tools/test.sh configures it (again each time, so that a new
# source file is seen).
# shellcheck source=windows-config.sh
source "$ROOT/tools/windows-config.sh"
cmake -S "$ROOT" -B "$BUILD" "${WINDOWS_CMAKE_ARGS[@]}" >/dev/null
cmake --build "$BUILD" -j"$(nproc)" --target bitloupe

program="$BUILD/app/bitloupe.exe"

if [ -z "${DISPLAY:-}" ]; then
  echo "run: no DISPLAY set; running on a private Xvfb display" >&2
  # shellcheck source=wine-env.sh
  source "$ROOT/tools/wine-env.sh" "$BUILD"
  "$ROOT/tools/wine-run.sh" "$program"
  exit $?
fi

# shellcheck source=wine-common.sh
source "$ROOT/tools/wine-common.sh"
export WINEPREFIX="$BUILD/wineprefix-run"
if [ ! -f "$WINEPREFIX/.bitloupe-ready" ]; then
  echo "run: making the Wine prefix $WINEPREFIX (first run only)" >&2
fi
wine_make_prefix "$WINEPREFIX" desktop
exec "$ROOT/tools/wine-run.sh" "$program"

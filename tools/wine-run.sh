#!/usr/bin/env bash
# Runs a Windows program under Wine with the project's prefix and display.
# CTest uses it as the cross-compiling emulator. The prefix and the display come
# from the environment that tools/test.sh (or tools/wine-env.sh) sets up:
#   WINEPREFIX  the project's prefix inside the build folder
#   DISPLAY     the Xvfb display of this run
set -euo pipefail
: "${WINEPREFIX:?WINEPREFIX is not set: run through tools/test.sh}"
# shellcheck source=wine-common.sh
source "$(dirname "${BASH_SOURCE[0]}")/wine-common.sh"
exec "${WINE_LAUNCH[@]}" "$WINE64" "$@"

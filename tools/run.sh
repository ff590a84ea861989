#!/usr/bin/env bash
# Builds the viewer (the Windows build in build/win) and runs it under Wine on
# your display. Uses its own Wine prefix, build/win/wineprefix-run, made on
# the first run. Without a DISPLAY the viewer cannot be seen, so instead the
# command line (built natively in build/linux-release) draws a real sample
# file, a console font, as the viewer would show it, and says where the
# picture is.
#
#   tools/run.sh
set -euo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
BUILD="$ROOT/build/win"

"$ROOT/tools/setup.sh"

if [ -z "${DISPLAY:-}" ]; then
  echo "run: the viewer needs a display (DISPLAY is not set); drawing a sample with bitloupe-cli instead"
  native="$ROOT/build/linux-release"
  cmake -S "$ROOT" -B "$native" -DCMAKE_BUILD_TYPE=Release -DBITLOUPE_SANITIZE=OFF >/dev/null
  cmake --build "$native" -j"$(nproc)" --target bitloupe-cli >/dev/null
  samples="$ROOT/build/samples"
  mkdir -p "$samples"
  # A console font from the console-setup-linux package: 8 x 16 glyphs, one
  # byte a row, after a 4-byte header.
  font="$samples/Lat15-VGA16.psf"
  zcat /usr/share/consolefonts/Lat15-VGA16.psf.gz >"$font"
  picture="$samples/Lat15-VGA16.png"
  command=("$native/cli/bitloupe-cli" view "$font" -o "$picture" --width 1 --zoom 2 --multi --start 1044)
  echo "run: ${command[*]#"$ROOT/"}"
  "${command[@]}"
  echo "run: the picture is $picture"
  exit 0
fi

# Configured as tools/test.sh configures it (again each time, so that a new
# source file is seen).
# shellcheck source=windows-config.sh
source "$ROOT/tools/windows-config.sh"
cmake -S "$ROOT" -B "$BUILD" "${WINDOWS_CMAKE_ARGS[@]}" >/dev/null
cmake --build "$BUILD" -j"$(nproc)" --target bitloupe

program="$BUILD/app/bitloupe.exe"

# shellcheck source=wine-common.sh
source "$ROOT/tools/wine-common.sh"
export WINEPREFIX="$BUILD/wineprefix-run"
if [ ! -f "$WINEPREFIX/.bitloupe-ready" ]; then
  echo "run: making the Wine prefix $WINEPREFIX (first run only)" >&2
fi
wine_make_prefix "$WINEPREFIX" desktop
exec "$ROOT/tools/wine-run.sh" "$program"

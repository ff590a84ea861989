#!/usr/bin/env bash
# Installs everything Bitloupe needs to build and test, and builds libjpeg-turbo,
# zlib and libpng for the Windows target from Debian's source packages.
# Idempotent: quiet and quick when nothing has changed.
set -euo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
DEPS="$ROOT/third_party"          # git-ignored: downloaded sources and builds
# shellcheck source=third_party.sh
source "$ROOT/tools/third_party.sh"

PACKAGES=(
  g++-mingw-w64-x86-64-posix cmake make wine64 wine xvfb xauth x11-utils nasm
  googletest libgtest-dev libbenchmark-dev clang-14 libclang-rt-14-dev
  libjpeg62-turbo-dev dpkg-dev python3-gi gir1.2-gtk-3.0 xdotool
  console-setup-linux libcli11-dev libpng-dev zlib1g-dev imagemagick time zip
  firefox-esr unifont xfonts-terminus vgabios bochsbios memtest86+
  python3-pil netpbm chromium chromium-driver python3-selenium
)

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done
if [ "${#missing[@]}" -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

# The mingw toolchain must use the posix thread model (std::thread, static winpthread).
if [ "$(readlink -f /usr/bin/x86_64-w64-mingw32-g++ 2>/dev/null || true)" != "$(readlink -f /usr/bin/x86_64-w64-mingw32-g++-posix)" ]; then
  $SUDO update-alternatives --set x86_64-w64-mingw32-g++ /usr/bin/x86_64-w64-mingw32-g++-posix >/dev/null 2>&1 || true
  $SUDO update-alternatives --set x86_64-w64-mingw32-gcc /usr/bin/x86_64-w64-mingw32-gcc-posix >/dev/null 2>&1 || true
fi

# apt-get source needs a deb-src entry: derive it from the machine's own Debian
# entry rather than naming a mirror here.
ensure_deb_src() {
  local package="$1"
  if apt-get source --print-uris "$package" >/dev/null 2>&1; then return; fi
  if ls /etc/apt/sources.list.d/*.sources >/dev/null 2>&1 && grep -q '^Types: deb$' /etc/apt/sources.list.d/debian.sources 2>/dev/null; then
    sed -e 's/^Types: deb$/Types: deb-src/' /etc/apt/sources.list.d/debian.sources \
      | $SUDO tee /etc/apt/sources.list.d/bitloupe-deb-src.sources >/dev/null
  elif [ -f /etc/apt/sources.list ]; then
    grep -E '^deb ' /etc/apt/sources.list | sed -e 's/^deb /deb-src /' \
      | $SUDO tee /etc/apt/sources.list.d/bitloupe-deb-src.list >/dev/null
  fi
  $SUDO apt-get update -qq
}

# Unpacks Debian's source package $1 into $DEPS, where it makes folder $2,
# unless that is there. Takes the newest version the mirror serves: a mirror
# may list a security update whose files it does not hold, and then an older
# version (the same upstream folder) is used instead, with a note.
fetch_source() {
  local package="$1" dir="$2" version newest=""
  [ -d "$dir" ] && return
  mkdir -p "$DEPS"
  ensure_deb_src "$package"
  for version in $(apt-cache showsrc "$package" | awk '/^Version:/ {print $2}' | sort -u -r -V); do
    [ -n "$newest" ] || newest="$version"
    if (cd "$DEPS" && apt-get source -qq "$package=$version" >/dev/null 2>&1) && [ -d "$dir" ]; then
      if [ "$version" != "$newest" ]; then
        echo "setup: note: $package $newest could not be fetched; using $version" >&2
      fi
      return
    fi
  done
  echo "setup: could not fetch $package ($(basename "$dir")) with apt-get source" >&2
  exit 1
}

# Configures, builds and installs a CMake project for the Windows target:
# build_windows NAME SOURCE PREFIX TARGET [cmake arguments...], TARGET "all"
# for the project's default set. The build folder is $DEPS/NAME-build, its
# log $DEPS/NAME-build.log (its tail shown on failure).
build_windows() {
  local name="$1" src="$2" prefix="$3" target="$4"; shift 4
  local dir="$DEPS/$name-build" log="$DEPS/$name-build.log"
  rm -rf "$dir"
  cmake -S "$src" -B "$dir" \
    -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/mingw-w64.cmake" \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$prefix" "$@" >"$log" 2>&1 \
    || { tail -30 "$log" >&2; exit 1; }
  cmake --build "$dir" -j"$(nproc)" --target "$target" >>"$log" 2>&1 || { tail -30 "$log" >&2; exit 1; }
  cmake --install "$dir" >>"$log" 2>&1 || { tail -30 "$log" >&2; exit 1; }
}

# cpp-httplib from Debian's source package: its one header, for both builds.
fetch_source cpp-httplib "$HTTPLIB_SOURCE"

# libjpeg-turbo from Debian's source package, built static for the Windows target.
if [ ! -f "$JPEG_PREFIX/.built-$JPEG_VERSION" ]; then
  fetch_source libjpeg-turbo "$JPEG_SOURCE"
  echo "setup: building libjpeg-turbo $JPEG_VERSION for Windows (static, SIMD)"
  build_windows libjpeg "$JPEG_SOURCE" "$JPEG_PREFIX" all \
    -DENABLE_SHARED=OFF -DENABLE_STATIC=ON -DWITH_SIMD=ON -DWITH_TURBOJPEG=OFF \
    -DWITH_JPEG8=OFF -DREQUIRE_SIMD=ON
  touch "$JPEG_PREFIX/.built-$JPEG_VERSION"
fi

# zlib, then libpng against it (never the host's), for the Windows target.
# zlib's CMake project also makes a DLL, whose resource script Debian's
# source leaves out: only the static archive is built, and installed by hand.
if [ ! -f "$ZLIB_PREFIX/.built-$ZLIB_VERSION" ]; then
  fetch_source zlib "$ZLIB_SOURCE"
  echo "setup: building zlib $ZLIB_VERSION for Windows (static)"
  build_windows zlib "$ZLIB_SOURCE" "$ZLIB_PREFIX" zlibstatic \
    -DSKIP_INSTALL_LIBRARIES=ON -DSKIP_INSTALL_FILES=ON
  install -D -m 644 "$DEPS/zlib-build/libzlibstatic.a" "$ZLIB_PREFIX/lib/libzlibstatic.a"
  touch "$ZLIB_PREFIX/.built-$ZLIB_VERSION"
fi

if [ ! -f "$PNG_PREFIX/.built-$PNG_VERSION" ] || [ "$ZLIB_PREFIX/.built-$ZLIB_VERSION" -nt "$PNG_PREFIX/.built-$PNG_VERSION" ]; then
  fetch_source libpng1.6 "$PNG_SOURCE"
  echo "setup: building libpng $PNG_VERSION for Windows (static)"
  build_windows libpng "$PNG_SOURCE" "$PNG_PREFIX" all \
    -DPNG_SHARED=OFF -DPNG_STATIC=ON -DPNG_TESTS=OFF -DPNG_EXECUTABLES=OFF \
    -DZLIB_INCLUDE_DIR="$ZLIB_PREFIX/include" -DZLIB_LIBRARY="$ZLIB_PREFIX/lib/libzlibstatic.a"
  touch "$PNG_PREFIX/.built-$PNG_VERSION"
fi

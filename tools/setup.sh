#!/usr/bin/env bash
# Installs everything Bitloupe needs to build and test, and builds libjpeg-turbo
# for the Windows target. Idempotent: quiet and quick when nothing has changed.
set -euo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
DEPS="$ROOT/third_party"          # git-ignored: downloaded sources and builds
JPEG_VERSION=2.1.5

PACKAGES=(
  g++-mingw-w64-x86-64-posix cmake make wine64 wine xvfb xauth x11-utils nasm
  googletest libgtest-dev libbenchmark-dev clang-14 libclang-rt-14-dev
  libjpeg62-turbo-dev dpkg-dev python3-gi gir1.2-gtk-3.0 xdotool
  console-setup-linux
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

# libjpeg-turbo from Debian's source package, built static for the Windows target.
JPEG_PREFIX="$DEPS/libjpeg-win64"
if [ ! -f "$JPEG_PREFIX/.built-$JPEG_VERSION" ]; then
  mkdir -p "$DEPS"
  src_dir="$(ls -d "$DEPS"/libjpeg-turbo-"$JPEG_VERSION" 2>/dev/null || true)"
  if [ -z "$src_dir" ]; then
    # apt-get source needs a deb-src entry: derive it from the machine's own Debian entry.
    if ! apt-get source --print-uris libjpeg-turbo >/dev/null 2>&1; then
      if ls /etc/apt/sources.list.d/*.sources >/dev/null 2>&1 && grep -q '^Types: deb$' /etc/apt/sources.list.d/debian.sources 2>/dev/null; then
        sed -e 's/^Types: deb$/Types: deb-src/' /etc/apt/sources.list.d/debian.sources \
          | $SUDO tee /etc/apt/sources.list.d/bitloupe-deb-src.sources >/dev/null
      elif [ -f /etc/apt/sources.list ]; then
        grep -E '^deb ' /etc/apt/sources.list | sed -e 's/^deb /deb-src /' \
          | $SUDO tee /etc/apt/sources.list.d/bitloupe-deb-src.list >/dev/null
      fi
      $SUDO apt-get update -qq
    fi
    (cd "$DEPS" && apt-get source -qq libjpeg-turbo >/dev/null 2>&1)
    src_dir="$(ls -d "$DEPS"/libjpeg-turbo-"$JPEG_VERSION" 2>/dev/null || true)"
    if [ -z "$src_dir" ]; then
      echo "setup: could not fetch libjpeg-turbo $JPEG_VERSION with apt-get source" >&2
      exit 1
    fi
  fi
  echo "setup: building libjpeg-turbo $JPEG_VERSION for Windows (static, SIMD)"
  rm -rf "$DEPS/libjpeg-build"
  cmake -S "$src_dir" -B "$DEPS/libjpeg-build" \
    -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/mingw-w64.cmake" \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$JPEG_PREFIX" \
    -DENABLE_SHARED=OFF -DENABLE_STATIC=ON -DWITH_SIMD=ON -DWITH_TURBOJPEG=OFF \
    -DWITH_JPEG8=OFF -DREQUIRE_SIMD=ON >"$DEPS/libjpeg-build.log" 2>&1 \
    || { tail -30 "$DEPS/libjpeg-build.log" >&2; exit 1; }
  cmake --build "$DEPS/libjpeg-build" -j"$(nproc)" >>"$DEPS/libjpeg-build.log" 2>&1 \
    || { tail -30 "$DEPS/libjpeg-build.log" >&2; exit 1; }
  cmake --install "$DEPS/libjpeg-build" >>"$DEPS/libjpeg-build.log" 2>&1
  touch "$JPEG_PREFIX/.built-$JPEG_VERSION"
fi

# shellcheck shell=bash disable=SC2034
# Sourced by tools/setup.sh and tools/package.sh: the versions of the
# libraries built from Debian's source packages, and the folders under DEPS
# (third_party/) where their sources unpack and their Windows builds install.
JPEG_VERSION=2.1.5
ZLIB_VERSION=1.2.13
PNG_VERSION=1.6.39
HTTPLIB_VERSION=0.11.4

JPEG_SOURCE="$DEPS/libjpeg-turbo-$JPEG_VERSION"
ZLIB_SOURCE="$DEPS/zlib-$ZLIB_VERSION.dfsg"
PNG_SOURCE="$DEPS/libpng1.6-$PNG_VERSION"
HTTPLIB_SOURCE="$DEPS/cpp-httplib-$HTTPLIB_VERSION+ds"   # header only: unpacked, nothing built

JPEG_PREFIX="$DEPS/libjpeg-win64"
ZLIB_PREFIX="$DEPS/zlib-win64"
PNG_PREFIX="$DEPS/libpng-win64"

#!/usr/bin/env bash
# Saves onto a full volume: mounts a 256 KiB tmpfs, puts an old binary and an
# old JPEG on it, fills the rest, and runs the driver's full-disk case. Needs
# DISPLAY and WINEPREFIX as set by tools/wine-env.sh; exits 77 (skipped) when
# no volume can be mounted here (mounting needs root).
#   viewer_full_disk.sh VIEWER_DRIVER_EXE
set -uo pipefail
driver_exe="$1"
here="$(cd "$(dirname "$0")" && pwd)"
work="$(mktemp -d)"
mnt="$work/full"
mkdir "$mnt"
finish() {
  umount "$mnt" 2>/dev/null
  rm -rf "$work"
}
trap finish EXIT
if ! mount -t tmpfs -o size=256k tmpfs "$mnt" 2>/dev/null; then
  echo "viewer_full_disk: cannot mount a small volume here" >&2
  exit 77
fi
printf 'the old binary file' > "$mnt/old.bin"
printf 'the old image file' > "$mnt/old.jpg"
head -c 300000 /dev/urandom > "$work/data.bin"
# Fill what is left; dd stops with "No space left on device".
dd if=/dev/zero of="$mnt/filler" bs=4k 2>/dev/null
VIEWER_FULL_DIR="$mnt" VIEWER_FULL_DATA="$work/data.bin" \
  "$here/../../tools/wine-run.sh" "$driver_exe" --gtest_filter='viewer_full_disk.*'

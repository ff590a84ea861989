#!/usr/bin/env bash
# Makes the release packages in dist/ and prints their paths:
#   bitloupe-VERSION-win64.zip            bitloupe.exe, bitloupe-cli.exe
#   bitloupe-VERSION-linux-x86_64.tar.gz  bitloupe-cli (stripped)
# each in a folder of the package's name with README.md, THIRD_PARTY_NOTICES
# and, in licenses/, the licence files (from the source packages) of the
# libraries its programs link. Sets up first and builds what is not up to
# date: the Windows build in build/win, configured as tools/test.sh configures
# it, and the command line alone in a Linux release build, build/linux-release.
# The version is the build's. The same programs give the same archive bytes:
# sorted entries, fixed owners, every time the last commit's time.
#
#   tools/package.sh           make the packages
#   tools/package.sh --check   make them, then check them against the builds
set -euo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
DEPS="$ROOT/third_party"
# shellcheck source=third_party.sh
source "$ROOT/tools/third_party.sh"
# shellcheck source=windows-config.sh
source "$ROOT/tools/windows-config.sh"
WIN="$ROOT/build/win"
LINUX="$ROOT/build/linux-release"
DIST="$ROOT/dist"
LOG="$ROOT/build/logs/package-build.log"
JOBS="$(nproc)"

check=0
case "${1:-}" in
  "") ;;
  --check) check=1 ;;
  *) echo "usage: tools/package.sh [--check]" >&2; exit 2 ;;
esac

fail() {
  echo "package: $*" >&2
  exit 1
}

[ -f "$ROOT/cli/CMakeLists.txt" ] || fail "no cli/ in this tree: there is no bitloupe-cli to package"

"$ROOT/tools/setup.sh"

# Configured again each time (nothing is rebuilt when nothing changed), so
# that a new folder or source file is seen.
mkdir -p "$(dirname "$LOG")"
{
  cmake -S "$ROOT" -B "$WIN" "${WINDOWS_CMAKE_ARGS[@]}" &&
    cmake --build "$WIN" -j"$JOBS" --target bitloupe bitloupe-cli &&
    cmake -S "$ROOT" -B "$LINUX" -DBITLOUPE_SANITIZE=OFF -DCMAKE_BUILD_TYPE=Release &&
    cmake --build "$LINUX" -j"$JOBS" --target bitloupe-cli
} >"$LOG" 2>&1 || { tail -30 "$LOG" >&2; fail "the build failed (log: $LOG)"; }

WIN_VIEWER="$WIN/app/bitloupe.exe"
WIN_CLI="$WIN/cli/bitloupe-cli.exe"
LINUX_CLI="$LINUX/cli/bitloupe-cli"
for program in "$WIN_VIEWER" "$WIN_CLI" "$LINUX_CLI"; do
  [ -f "$program" ] || fail "the build made no $program"
done

# The version comes from project() in CMakeLists.txt, as each build saw it.
project_version() { sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$1/CMakeCache.txt"; }
VERSION="$(project_version "$WIN")"
[ -n "$VERSION" ] || fail "no project version in $WIN/CMakeCache.txt"
[ "$(project_version "$LINUX")" = "$VERSION" ] || fail "build/win and build/linux-release disagree on the version"

WIN_NAME="bitloupe-$VERSION-win64"
LINUX_NAME="bitloupe-$VERSION-linux-x86_64"
EPOCH="${SOURCE_DATE_EPOCH:-$(git -C "$ROOT" log -1 --format=%ct 2>/dev/null || echo 315532800)}"

# The licence files each package holds: source file, then its name in licenses/.
JPEG_LICENCES=("$JPEG_SOURCE/LICENSE.md" libjpeg-turbo-LICENSE.md "$JPEG_SOURCE/README.ijg" libjpeg-turbo-README.ijg)
PNG_LICENCES=("$PNG_SOURCE/LICENSE" libpng-LICENSE "$ZLIB_SOURCE/LICENSE" zlib-LICENSE)

# Fills folder $1 with the documents and the licence files given as pairs.
add_documents() {
  local dir="$1"; shift
  mkdir -p "$dir/licenses"
  install -m 644 "$ROOT/README.md" "$ROOT/THIRD_PARTY_NOTICES" "$dir/"
  while [ "$#" -gt 0 ]; do
    install -m 644 "$1" "$dir/licenses/$2"
    shift 2
  done
}

# Makes both archives in folder $1 from a fresh staging folder $2.
make_archives() {
  local out="$1" stage="$2"
  rm -rf "$stage"
  mkdir -p "$out" "$stage/$WIN_NAME" "$stage/$LINUX_NAME"

  install -m 755 "$WIN_VIEWER" "$WIN_CLI" "$stage/$WIN_NAME/"
  add_documents "$stage/$WIN_NAME" "${JPEG_LICENCES[@]}" "${PNG_LICENCES[@]}"
  strip --strip-all -o "$stage/$LINUX_NAME/bitloupe-cli" "$LINUX_CLI"
  chmod 755 "$stage/$LINUX_NAME/bitloupe-cli"
  add_documents "$stage/$LINUX_NAME" "${PNG_LICENCES[@]}"

  find "$stage" -type d -exec chmod 755 {} +
  find "$stage" -exec touch -h -d "@$EPOCH" {} +
  rm -f "$out/$WIN_NAME.zip" "$out/$LINUX_NAME.tar.gz"
  (cd "$stage" && find "$WIN_NAME" -type f | LC_ALL=C sort |
    TZ=UTC zip -X -q -9 "$out/$WIN_NAME.zip" -@)
  (cd "$stage" && tar --sort=name --owner=0 --group=0 --numeric-owner \
    --mtime="@$EPOCH" --format=gnu -cf - "$LINUX_NAME") | gzip -9 -n >"$out/$LINUX_NAME.tar.gz"
}

make_archives "$DIST" "$ROOT/build/package"
ZIP="$DIST/$WIN_NAME.zip"
TARBALL="$DIST/$LINUX_NAME.tar.gz"
echo "$ZIP"
echo "$TARBALL"
[ "$check" -eq 1 ] || exit 0

# --check: what the packages hold, against the builds.
work="$ROOT/build/package-check"
rm -rf "$work"
mkdir -p "$work/zip" "$work/tar"

expected_zip="$(printf "$WIN_NAME/%s\n" README.md THIRD_PARTY_NOTICES bitloupe-cli.exe bitloupe.exe \
  licenses/{libjpeg-turbo-LICENSE.md,libjpeg-turbo-README.ijg,libpng-LICENSE,zlib-LICENSE} | LC_ALL=C sort)"
actual_zip="$(python3 -c 'import sys, zipfile; print("\n".join(zipfile.ZipFile(sys.argv[1]).namelist()))' "$ZIP")"
[ "$actual_zip" = "$expected_zip" ] || fail "$ZIP holds"$'\n'"$actual_zip"$'\n'"instead of"$'\n'"$expected_zip"
expected_tar="$(printf "$LINUX_NAME/%s\n" "" README.md THIRD_PARTY_NOTICES bitloupe-cli \
  licenses/ licenses/{libpng-LICENSE,zlib-LICENSE} | LC_ALL=C sort)"
actual_tar="$(tar -tzf "$TARBALL" | LC_ALL=C sort)"
[ "$actual_tar" = "$expected_tar" ] || fail "$TARBALL holds"$'\n'"$actual_tar"$'\n'"instead of"$'\n'"$expected_tar"

# The programs in the packages are the ones just built.
python3 -c 'import sys, zipfile; zipfile.ZipFile(sys.argv[1]).extractall(sys.argv[2])' "$ZIP" "$work/zip"
tar -xzf "$TARBALL" -C "$work/tar"
cmp "$work/zip/$WIN_NAME/bitloupe.exe" "$WIN_VIEWER" || fail "the zip's bitloupe.exe is not the built one"
cmp "$work/zip/$WIN_NAME/bitloupe-cli.exe" "$WIN_CLI" || fail "the zip's bitloupe-cli.exe is not the built one"
strip --strip-all -o "$work/bitloupe-cli.stripped" "$LINUX_CLI"
cmp "$work/tar/$LINUX_NAME/bitloupe-cli" "$work/bitloupe-cli.stripped" ||
  fail "the tarball's bitloupe-cli is not the built one, stripped"
[ -x "$work/tar/$LINUX_NAME/bitloupe-cli" ] || fail "the tarball's bitloupe-cli is not executable"
cli_version="$("$work/tar/$LINUX_NAME/bitloupe-cli" --version)" || fail "the tarball's bitloupe-cli --version failed"
[[ "$cli_version" == *"$VERSION"* ]] || fail "the tarball's bitloupe-cli --version says '$cli_version', not $VERSION"

# The Windows programs' file properties carry the version and their names.
check_properties() {
  local exe="$1" name="$2" description="$3" properties
  properties="$(python3 "$ROOT/tools/pe_resources.py" "$exe")" || fail "$name: no readable resources"
  for line in "icon 1=yes" "FileDescription=$description" "ProductName=Bitloupe" \
      "FileVersion=$VERSION" "ProductVersion=$VERSION" "OriginalFilename=$name"; do
    grep -qxF "$line" <<<"$properties" || fail "$name: no '$line' in its resources:"$'\n'"$properties"
  done
}
check_properties "$work/zip/$WIN_NAME/bitloupe.exe" bitloupe.exe "Bitloupe"
check_properties "$work/zip/$WIN_NAME/bitloupe-cli.exe" bitloupe-cli.exe "Bitloupe command line"

# THIRD_PARTY_NOTICES says which program holds which library: hold the
# programs to it (the Windows programs keep their symbol tables).
symbols() { x86_64-w64-mingw32-nm --defined-only "$1" | awk '{print $3}'; }
symbols "$WIN_VIEWER" >"$work/viewer.symbols"
symbols "$WIN_CLI" >"$work/cli.symbols"
grep -q '^jpeg_' "$work/viewer.symbols" || fail "bitloupe.exe holds no libjpeg-turbo code, yet the notices name it"
grep -q '^png_' "$work/cli.symbols" || fail "bitloupe-cli.exe holds no libpng code, yet the notices name it"
grep -qxE 'inflate|deflate' "$work/cli.symbols" || fail "bitloupe-cli.exe holds no zlib code, yet the notices name it"
if grep -q '^jpeg_' "$work/cli.symbols"; then
  fail "bitloupe-cli.exe now holds libjpeg-turbo code: name it in THIRD_PARTY_NOTICES and package its licence with the command line"
fi
if grep -q '^png_' "$work/viewer.symbols"; then
  fail "bitloupe.exe now holds libpng code: name it in THIRD_PARTY_NOTICES"
fi
needed="$(readelf -d "$LINUX_CLI" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p')"
grep -q '^libpng16\.so' <<<"$needed" || fail "the Linux bitloupe-cli does not link libpng:"$'\n'"$needed"
if grep -q '^libjpeg' <<<"$needed"; then
  fail "the Linux bitloupe-cli now links libjpeg: name it in THIRD_PARTY_NOTICES and package its licence"
fi
grep -qi 'this software is based in part on the work of the Independent JPEG Group' "$ROOT/THIRD_PARTY_NOTICES" ||
  fail "THIRD_PARTY_NOTICES lacks the Independent JPEG Group sentence"

# Made again, the archives are the same bytes.
make_archives "$work/again" "$work/stage"
cmp "$ZIP" "$work/again/$WIN_NAME.zip" || fail "a second $WIN_NAME.zip differs from the first"
cmp "$TARBALL" "$work/again/$LINUX_NAME.tar.gz" || fail "a second $LINUX_NAME.tar.gz differs from the first"

echo "package: checked: members, programs equal to the builds, file properties, linked libraries against the notices, same bytes when made again"

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

# The libraries a program may contain: how their code shows among the
# program's symbols (an extended regular expression over the demangled names
# it defines), and their licence files in a package that holds such a program
# (source file, then its name in licenses/; none where THIRD_PARTY_NOTICES
# holds the whole text). A package holds the licence files of the libraries
# its programs contain, found in the programs themselves, so that a library
# linked in later cannot be left out.
LIBRARIES=(libjpeg-turbo libpng zlib CLI11 cpp-httplib winpthreads)
declare -A LIBRARY_SYMBOLS=(
  [libjpeg-turbo]='^jpeg_' [libpng]='^png_' [zlib]='^(inflate|deflate)$' [CLI11]='^CLI::' [cpp-httplib]='^httplib::'
  [winpthreads]='^pthread_')
declare -A LIBRARY_LICENCES=(
  [libjpeg-turbo]="$JPEG_SOURCE/LICENSE.md libjpeg-turbo-LICENSE.md $JPEG_SOURCE/README.ijg libjpeg-turbo-README.ijg"
  [libpng]="$PNG_SOURCE/LICENSE libpng-LICENSE"
  [zlib]="$ZLIB_SOURCE/LICENSE zlib-LICENSE"
  [CLI11]="/usr/share/doc/libcli11-dev/copyright CLI11-copyright"
  [cpp-httplib]="$HTTPLIB_SOURCE/LICENSE cpp-httplib-LICENSE"
  [winpthreads]="")

# The libraries program $1 contains, a name a line, by the symbols it defines
# (the builds keep their symbol tables; the Linux package's copy is stripped).
libraries_in() {
  local nm=nm symbols name
  [[ "$1" == *.exe ]] && nm=x86_64-w64-mingw32-nm
  symbols="$("$nm" --defined-only -C "$1" | cut -d' ' -f3-)" || fail "cannot read the symbols of $1"
  for name in "${LIBRARIES[@]}"; do
    if grep -qE "${LIBRARY_SYMBOLS[$name]}" <<<"$symbols"; then echo "$name"; fi
  done
}

# The licence files (pairs, as add_documents takes them) of the libraries
# the programs given contain.
licences_of() {
  local name
  for name in $(for program in "$@"; do libraries_in "$program"; done | LC_ALL=C sort -u); do
    # shellcheck disable=SC2086  # the table's words are the pairs
    [ -z "${LIBRARY_LICENCES[$name]}" ] || printf '%s\n' ${LIBRARY_LICENCES[$name]}
  done
}

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
  mapfile -t licences < <(licences_of "$WIN_VIEWER" "$WIN_CLI")
  add_documents "$stage/$WIN_NAME" "${licences[@]}"
  strip --strip-all -o "$stage/$LINUX_NAME/bitloupe-cli" "$LINUX_CLI"
  chmod 755 "$stage/$LINUX_NAME/bitloupe-cli"
  mapfile -t licences < <(licences_of "$LINUX_CLI")
  add_documents "$stage/$LINUX_NAME" "${licences[@]}"

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

# Every library a program contains is named on the program's line at the top
# of THIRD_PARTY_NOTICES, and nothing else is: "- NAME (...): LIB VERSION, ...".
for program in "$WIN_VIEWER" "$WIN_CLI" "$LINUX_CLI"; do
  name="$(basename "$program")"
  line="$(grep -m1 -F -- "- $name (" "$ROOT/THIRD_PARTY_NOTICES")" || fail "THIRD_PARTY_NOTICES has no line for $name"
  named="$(sed 's/^[^)]*): //; s/, /\n/g' <<<"$line" | awk '{print $1}' | LC_ALL=C sort)"
  contained="$(libraries_in "$program" | LC_ALL=C sort)"
  [ "$named" = "$contained" ] ||
    fail "$name contains"$'\n'"$contained"$'\n'"but THIRD_PARTY_NOTICES names"$'\n'"$named"
  # And a section whose heading names the library and the program.
  also=""
  [[ "$name" == *.exe ]] && also="|Both Windows programs"
  while read -r library; do
    grep -E '^[0-9]+\. ' "$ROOT/THIRD_PARTY_NOTICES" | grep -F -- "$library" |
      grep -qE -- "(^|[ (])${name//./\\.}([ ,)]|\$)$also" ||
      fail "THIRD_PARTY_NOTICES has no section of the $library licence for $name"
  done <<<"$contained"
done

# The packages hold the documents, the programs and the licence files of the
# libraries their programs contain.
members() { local folder="$1"; shift; printf "$folder/%s\n" "$@"; }
licence_names() { licences_of "$@" | awk 'NR % 2 == 0 { print "licenses/" $0 }'; }
# shellcheck disable=SC2046  # a member a word
expected_zip="$(members "$WIN_NAME" README.md THIRD_PARTY_NOTICES bitloupe-cli.exe bitloupe.exe \
  $(licence_names "$WIN_VIEWER" "$WIN_CLI") | LC_ALL=C sort)"
actual_zip="$(python3 -c 'import sys, zipfile; print("\n".join(zipfile.ZipFile(sys.argv[1]).namelist()))' "$ZIP")"
[ "$actual_zip" = "$expected_zip" ] || fail "$ZIP holds"$'\n'"$actual_zip"$'\n'"instead of"$'\n'"$expected_zip"
for licence in licenses/libpng-LICENSE licenses/zlib-LICENSE licenses/CLI11-copyright; do
  grep -qxF "$WIN_NAME/$licence" <<<"$actual_zip" || fail "$ZIP lacks $licence"
done
# shellcheck disable=SC2046
expected_tar="$(members "$LINUX_NAME" "" README.md THIRD_PARTY_NOTICES bitloupe-cli licenses/ \
  $(licence_names "$LINUX_CLI") | LC_ALL=C sort)"
actual_tar="$(tar -tzf "$TARBALL" | LC_ALL=C sort)"
[ "$actual_tar" = "$expected_tar" ] || fail "$TARBALL holds"$'\n'"$actual_tar"$'\n'"instead of"$'\n'"$expected_tar"
for licence in licenses/libpng-LICENSE licenses/zlib-LICENSE licenses/CLI11-copyright; do
  grep -qxF "$LINUX_NAME/$licence" <<<"$actual_tar" || fail "$TARBALL lacks $licence"
done

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

# The Linux program carries its libraries: it needs no shared library but the
# system's C and C++ runtime, so that its PNG bytes do not depend on the zlib
# of the machine it runs on.
needed="$(readelf -d "$LINUX_CLI" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p')"
unexpected="$(grep -vE '^(libc|libm|libstdc\+\+|libgcc_s)\.so' <<<"$needed" || true)"
[ -z "$unexpected" ] || fail "the Linux bitloupe-cli needs shared libraries it should carry:"$'\n'"$unexpected"
grep -qi 'this software is based in part on the work of the Independent JPEG Group' "$ROOT/THIRD_PARTY_NOTICES" ||
  fail "THIRD_PARTY_NOTICES lacks the Independent JPEG Group sentence"

# The tarball's program and the Windows one give the same bytes for the same
# commands (the Windows one under Wine: run under tools/wine-env.sh).
[ -n "${WINEPREFIX:-}" ] || fail "no Wine set-up to compare the tarball's program with the Windows one (source tools/wine-env.sh first)"
BITLOUPE_REQUIRE_WINDOWS_CLI=1 bash "$ROOT/tests/cli/cli_same_as_windows.sh" "$work/tar/$LINUX_NAME/bitloupe-cli" \
  "$WIN_CLI" "$ROOT/tools/wine-run.sh" >"$work/same-as-windows.log" 2>&1 ||
  { tail -20 "$work/same-as-windows.log" >&2; fail "the tarball's bitloupe-cli and bitloupe-cli.exe differ"; }

# Made again, the archives are the same bytes.
make_archives "$work/again" "$work/stage"
cmp "$ZIP" "$work/again/$WIN_NAME.zip" || fail "a second $WIN_NAME.zip differs from the first"
cmp "$TARBALL" "$work/again/$LINUX_NAME.tar.gz" || fail "a second $LINUX_NAME.tar.gz differs from the first"

echo "package: checked: members, programs equal to the builds, file properties, the libraries each program contains against the notices and the licence files, the tarball's program against the Windows one, same bytes when made again"

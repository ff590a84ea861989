#!/usr/bin/env bash
# The Linux and the Windows builds of bitloupe-cli give the same bytes for
# the same commands (the Windows build under Wine), and the Windows build
# opens and writes names outside the ANSI code page through the
# wide-character interfaces.
#
#   cli_same_as_windows.sh LINUX_CLI WINDOWS_CLI WINE_RUNNER
# Exits 77 (skipped) when the Windows build or the Wine set-up is missing,
# unless BITLOUPE_REQUIRE_WINDOWS_CLI is set (as the test command sets it).
set -uo pipefail
linux="$1" windows="$2" runner="$3"
if [ ! -x "$windows" ] || [ -z "${WINEPREFIX:-}" ]; then
  echo "no Windows build or no Wine set-up"
  [ -n "${BITLOUPE_REQUIRE_WINDOWS_CLI:-}" ] && exit 1
  exit 77
fi
# Wine turns the arguments and names from the locale's encoding into wide
# characters: UTF-8 here.
export LC_ALL=C.UTF-8
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
cd "$work" || exit 1
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

zcat /usr/share/consolefonts/Lat15-Fixed16.psf.gz >font.bin 2>/dev/null || head -c 5000 /dev/urandom >font.bin
commands=(
  "view IN -o OUT.png --width 1 --zoom 2 --multi --start 4"
  "view IN -o OUT.png --state 'Bitloupe, sprsize:7, grid:3x11 disp:-7 zoom:8' --align --invert"
  "view IN -o OUT.ppm --width 80 --start 5000 --grid"
  "export IN -o OUT.png --start 4 --width-bits 8 --rows 4000"
  "export IN -o OUT.png --start 100.3 --width-bits 12 --stride-bits 16 --rows 333 --lsb --bottom-up"
  "export IN -o OUT.pbm --start 4 --width-bits 10 --rows 70 --vertical --lsb --invert"
  "cut IN -o OUT --start 1000 --count 9999 --invert"
  "overview IN -o OUT.png --block 64"
)
for i in "${!commands[@]}"; do
  eval "set -- ${commands[$i]}"
  # IN and OUT stand for the input and this command's outputs.
  args=()
  for a in "$@"; do
    case "$a" in IN) a=font.bin ;; OUT*) a="linux-$i${a#OUT}" ;; esac
    args+=("$a")
  done
  "$linux" "${args[@]}" >/dev/null || fail "linux: ${args[*]}"
  args=("${args[@]/linux-/windows-}")
  "$runner" "$windows" "${args[@]}" >/dev/null || fail "windows: ${args[*]}"
  out="${args[3]}"
  cmp -s "linux-${out#windows-}" "$out" || fail "the builds differ on: ${commands[$i]}"
done

# What find prints (the file's name the same on both).
# The letter A of the font, its 16 rows.
glyph="$(python3 -c 'import sys; d=open("font.bin","rb").read()[4+65*16:4+66*16]; print("/".join(format(b,"08b").replace("1","#").replace("0",".") for b in d))')"
"$linux" find font.bin --glyph "$glyph" --json >find-linux.json || fail "linux: find"
"$runner" "$windows" find font.bin --glyph "$glyph" --json | tr -d '\r' >find-windows.json || fail "windows: find"
cmp -s find-linux.json find-windows.json || fail "the builds find different matches"
grep -q '"start": "1044.0"' find-linux.json || fail "find did not find the letter A at 1044.0: $(head -c 300 find-linux.json)"

# Names outside code page 1252 (Greek and Han), in the input and the output.
name="Γλυφές-字形"
cp font.bin "$name.bin"
"$runner" "$windows" view "$name.bin" -o "$name.png" --width 1 --zoom 8 --start 4 >/dev/null ||
  fail "windows: view of $name.bin"
"$linux" view font.bin -o plain.png --width 1 --zoom 8 --start 4 >/dev/null
cmp -s plain.png "$name.png" || fail "$name.png is not the picture of $name.bin"
msg="$("$runner" "$windows" cut "$name.bin" -o "$name-cut.bin" --start 0 --count 10 2>&1)"
cmp -s <(head -c 10 font.bin) "$name-cut.bin" || fail "cut of $name.bin"
grep -q "wrote 10 bytes to $name-cut.bin" <<<"$(tr -d '\r' <<<"$msg")" || fail "the message does not name $name-cut.bin: $msg"

if [ "$failures" -ne 0 ]; then
  echo "$failures failures"
  exit 1
fi
echo "all ${#commands[@]} commands gave the same bytes; the wide names work"

#!/usr/bin/env bash
# bitloupe-cli find run as a user runs it, on a real file with two glyphs
# planted at known places: the JSON listing (read by Python's json), the
# export command each text line prints (its picture decoded and held against
# the pattern), @file patterns, the cap on matches, exit codes and messages.
# Runs the native build, or the Windows build under Wine when given a runner:
#
#   cli_find.sh CLI [RUNNER...]
set -uo pipefail
cli="$1"; shift
run=("$@" "$cli")
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
cd "$work" || exit 1
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

# expect CODE PATTERN ARGS...: the exit code, and standard output (code 0) or
# standard error matching PATTERN; standard output is kept in out.txt.
expect() {
  local code="$1" pattern="$2"; shift 2
  "${run[@]}" "$@" >out.txt 2>err.txt; local got=$?
  tr -d '\r' <out.txt >out.tmp && mv out.tmp out.txt
  local text; text="$(tr -d '\r' <err.txt)"; [ "$code" -eq 0 ] && text="$(cat out.txt)"
  [ "$got" -eq "$code" ] || { fail "$* -> exit $got, expected $code ($(cat err.txt))"; return; }
  grep -Eq -- "$pattern" <<<"$text" || fail "$* -> \"$text\" does not match \"$pattern\""
}

# A real file (the first 64 KiB of the Python interpreter), with an X of 7 x 5
# planted at 1000.0 every 3 bytes, most significant bit first, and the same X
# at 2000.3 every 2 bytes, least significant bit first, inverted.
glyph='#.....#/.#...#./...#.../.#...#./#.....#'
head -c 65536 /usr/bin/python3 >real.bin
python3 - "$glyph" <<'PY'
import sys
rows = sys.argv[1].split('/')
data = bytearray(open('real.bin', 'rb').read())
def plant(start, stride, lsb, inverted):
    for r, row in enumerate(rows):
        for x, c in enumerate(row):
            p = start + r * stride * 8 + x
            bit = p % 8 if lsb else 7 - p % 8
            if (c == '#') != inverted: data[p // 8] |= 1 << bit
            else: data[p // 8] &= ~(1 << bit) & 0xFF
plant(1000 * 8, 3, False, False)
plant(2000 * 8 + 3, 2, True, True)
open('real.bin', 'wb').write(data)
PY

# JSON: one object, every match in file order, both planted ones there.
expect 0 '"matches"' find real.bin --glyph "$glyph" --json
python3 - <<'PY' || fail "the JSON listing is wrong: $(head -c 400 out.txt)"
import json, sys
doc = json.load(open('out.txt'))
assert list(doc) == ['matches'], doc.keys()
keys = ['start', 'stride_bytes', 'lsb', 'inverted', 'errors']
for m in doc['matches']:
    assert list(m) == keys and isinstance(m['start'], str), m
    assert type(m['lsb']) is bool and type(m['inverted']) is bool and m['errors'] == 0, m
order = [(int(m['start'].split('.')[0]) * 8 + int(m['start'].split('.')[1]), m['stride_bytes'], m['lsb'], m['inverted'])
         for m in doc['matches']]
assert order == sorted(order), order
assert {"start": "1000.0", "stride_bytes": 3, "lsb": False, "inverted": False, "errors": 0} in doc['matches']
assert {"start": "2000.3", "stride_bytes": 2, "lsb": True, "inverted": True, "errors": 0} in doc['matches']
PY

# Text: each export command printed shows the pattern itself; the viewer
# state is given for the whole-byte, most-significant-bit-first match only.
printf '#.....#\r\n.#...#.\r\n...#...\r\n.#...#.\r\n#.....#\r\n' >x.txt
expect 0 "match at 1000\.0: stride 3 bytes" find real.bin --glyph @x.txt --stride 3
grep -q "viewer: sprsize 3, disp 1000: .* view real.bin -o match-1000-view.png --width 3 --start 1000" out.txt ||
  fail "no viewer state for the match at 1000"
expect 0 "match at 2000\.3: stride 2 bytes, least significant bit first, inverted" find real.bin --glyph @x.txt --stride 2
grep -q "disp 2000" out.txt && fail "a viewer state for a match the viewer cannot show"
for at in 1000.0 2000.3; do
  [ "$at" = 1000.0 ] && stride=3 || stride=2
  "${run[@]}" find real.bin --glyph "$glyph" --stride $stride | tr -d '\r' >listing.txt
  command="$(grep -A1 "^match at $at:" listing.txt | sed -n 's/^  bitloupe-cli export //p')"
  [ -n "$command" ] || { fail "no export command for $at"; continue; }
  read -ra words <<<"${command/.png/.pbm}"
  "${run[@]}" export "${words[@]}" >/dev/null 2>&1 || fail "the printed command failed: $command"
  python3 - "match-$at.pbm" "$glyph" <<'PY' || fail "match-$at.pbm does not show the pattern"
import sys
data = open(sys.argv[1], 'rb').read()
fields = data.split(b'\n', 2)
assert fields[0] == b'P4'
w, h = map(int, fields[1].split())
rows = sys.argv[2].split('/')
assert (w, h) == (len(rows[0]), len(rows)), (w, h)
pixels = fields[2]
for r, row in enumerate(rows):
    for x, c in enumerate(row):
        black = pixels[r * ((w + 7) // 8) + x // 8] >> (7 - x % 8) & 1
        assert (c == '#') == (not black), (r, x)
PY
done

# One flipped pixel: found with --max-errors 1 only.
flipped='#.....#/.#...#./...#.../.#...#./#....##'
expect 0 "match|no match" find real.bin --glyph "$flipped" --stride 3
grep -q "match at 1000\.0" out.txt && fail "a pattern with a pixel changed matched exactly"
expect 0 "match at 1000\.0: stride 3 bytes, most significant bit first, 1 pixel differs" \
  find real.bin --glyph "$flipped" --stride 3 --max-errors 1

# No match, in text and JSON; a cap on a pattern that matches everywhere.
head -c 4096 /dev/zero >zero.bin
expect 0 "^no match$" find zero.bin --glyph '#.#/.#.'
expect 0 '^\{"matches": \[\]\}$' find zero.bin --glyph '#.#/.#.' --json
expect 0 "^3 matches$" find zero.bin --glyph '.' --max-matches 3
grep -q "^bitloupe-cli: zero.bin: more than 3 matches: the first 3 in the file are listed" err.txt ||
  fail "no message for the cap: $(cat err.txt)"
grep -q "match at 0.0: stride 1 byte, least significant" out.txt || fail "the first 3 matches are not the first of the file"
expect 0 "^1 match$" find zero.bin --glyph '.' --max-matches 1
grep -q "more than 1 match: the first in the file is listed" err.txt || fail "the cap of 1: $(cat err.txt)"
# A glyph that reads the same mirrored, at a byte: one place, both bit orders.
printf '\x18\x3c\x66\xc3\x00\x00' >sym.bin
expect 0 "^1 match$" find sym.bin --glyph '...##.../..####../.##..##./##....##' --stride 1
grep -q "^match at 0.0: stride 1 byte, most significant bit first; also least significant bit first$" out.txt ||
  fail "a symmetric glyph is not one place: $(cat out.txt)"
: >empty.bin
expect 0 "^no match$" find empty.bin --glyph '#'

# Bad command lines (2) and unreadable files (1).
expect 0 "--glyph" find --help
expect 2 "^bitloupe-cli: --glyph: row 2 is 2 pixels long, row 1 3: all rows must be the same length" find real.bin --glyph '##./#.'
expect 2 "^bitloupe-cli: --glyph: row 1 holds 'o'" find real.bin --glyph 'o#'
expect 2 "^bitloupe-cli: --glyph: the pattern is empty" find real.bin --glyph ''
expect 2 "^bitloupe-cli: --stride: a row of 9 pixels spans 2 bytes" find real.bin --glyph '#########' --stride 1
expect 2 "^bitloupe-cli: --stride: not a number" find real.bin --glyph '#' --stride 2k
expect 2 "^bitloupe-cli: --max-errors: at most 1 pixels may differ" find real.bin --glyph '##/##' --max-errors 2
expect 2 "^bitloupe-cli: command line: " find real.bin
expect 1 "^bitloupe-cli: missing.bin: " find missing.bin --glyph '#'
expect 1 "^bitloupe-cli: missing.txt: " find real.bin --glyph @missing.txt
expect 1 "^bitloupe-cli: .*: is a folder" find . --glyph '#'

if [ "$failures" -ne 0 ]; then
  echo "$failures failures"
  exit 1
fi
echo "all passed"

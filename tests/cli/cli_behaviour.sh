#!/usr/bin/env bash
# bitloupe-cli run as a user runs it: exit codes and messages, the number
# forms, --state, cut, outputs that replace their target only when complete,
# and the same bytes from the same command. Runs the native build, or the
# Windows build under Wine when given a runner:
#
#   cli_behaviour.sh CLI [RUNNER...]
set -uo pipefail
cli="$1"; shift
run=("$@" "$cli")
work="$(mktemp -d)"
trap 'chmod -R u+w "$work"; rm -rf "$work"' EXIT
cd "$work" || exit 1
failures=0

fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

# expect CODE PATTERN ARGS...: runs the CLI, checks its exit code, and that
# standard error (for non-zero codes) or output matches PATTERN.
expect() {
  local code="$1" pattern="$2"; shift 2
  local out err got
  out="$("${run[@]}" "$@" 2>err.txt)"; got=$?
  err="$(tr -d '\r' <err.txt)"
  out="$(tr -d '\r' <<<"$out")"
  [ "$got" -eq "$code" ] || { fail "$* -> exit $got, expected $code ($err)"; return; }
  local text="$out"; [ "$code" -ne 0 ] && text="$err"
  grep -Eq -- "$pattern" <<<"$text" || fail "$* -> \"$text\" does not match \"$pattern\""
}

# noise COUNT SEED: the same pseudo-random bytes every run.
noise() { python3 -c 'import random, sys; sys.stdout.buffer.write(random.Random(int(sys.argv[2])).randbytes(int(sys.argv[1])))' "$1" "$2"; }
noise 4096 1 >data.bin
printf 'old' >old.png

# Exit codes and messages.
expect 0 "bitloupe-cli [0-9]+\.[0-9]+\.[0-9]+" --version
expect 0 "--width-bits" export --help
expect 2 "^bitloupe-cli: command line: " view data.bin
expect 2 "^bitloupe-cli: --width: 81 is out of range \(1 to 80\)" view data.bin -o v.png --width 81
expect 2 "^bitloupe-cli: --start: -3 is out of range" view data.bin -o v.png --width 2 --start -3
expect 2 "^bitloupe-cli: --zoom: must be 1, 2 or 8" view data.bin -o v.png --zoom 4
expect 2 "^bitloupe-cli: --output: " view data.bin -o v.jpg
expect 2 "^bitloupe-cli: --start: expected BYTE" export data.bin -o e.pbm --start 1.8 --width-bits 8 --rows 1
expect 2 "^bitloupe-cli: --rows: not a number" export data.bin -o e.pbm --start 0 --width-bits 8 --rows 1e3
expect 2 "^bitloupe-cli: command line: .*(excludes|Excludes)" view data.bin -o v.png --state "Bitloupe, sprsize:1 disp:0 zoom:1" --width 2
expect 2 "^bitloupe-cli: --state: not a viewer title" view data.bin -o v.png --state "sprsize:1"
# The real reason: a start past the program's limit is out of range, a
# number past 64 bits too large; a mistyped subcommand by its name; extra
# arguments in the order given.
expect 2 "^bitloupe-cli: --start: 99999999999999999999 is out of range \(0 to " export data.bin -o e.pbm --start 99999999999999999999 --width-bits 8 --rows 1
expect 2 "^bitloupe-cli: --start: 1152921504606846976.3 is out of range \(0 to 144115188075855872.0\)" export data.bin -o e.pbm --start 1152921504606846976.3 --width-bits 8 --rows 1
expect 2 "^bitloupe-cli: --rows: 99999999999999999999 is too large \(1 to " export data.bin -o e.pbm --start 0 --width-bits 8 --rows 99999999999999999999
expect 2 "^bitloupe-cli: --state: disp 1152921504606846977 is out of range \(-1 to " view data.bin -o v.png --state "Bitloupe, sprsize:1 disp:1152921504606846977 zoom:1"
expect 2 "^bitloupe-cli: command line: unknown subcommand 'scna'" scna data.bin
expect 2 "^bitloupe-cli: command line: arguments not expected: x y z$" cut data.bin -o c.bin --start 0 --count 1 x y z
expect 1 "^bitloupe-cli: missing.bin: " view missing.bin -o v.png
expect 1 "^bitloupe-cli: .*: is a folder" cut . -o c.bin --start 0 --count 1
[ -e v.png ] && fail "a failed view left v.png"

# Number forms: decimal, 0x, \$, % and BYTE.BIT all name the same bits.
expect 0 "wrote" export data.bin -o a.pbm --start 4096.0 --width-bits 8 --rows 2
for start in 0x1000 '$1000' %1000000000000; do
  expect 0 "16 pixels lay past the end" export data.bin -o b.pbm --start "$start" --width-bits 8 --rows 2
  cmp -s a.pbm b.pbm || fail "--start $start differs from 4096.0"
done

# --state sets what the four options set.
expect 0 "wrote" view data.bin -o s1.png --state "Bitloupe, sprsize:7, grid:3x11 disp:-7 zoom:8" --multi
expect 0 "wrote" view data.bin -o s2.png --width 7 --grid --grid-size 3,11 --start -7 --zoom 8 --multi
cmp -s s1.png s2.png || fail "--state and the same options draw different pictures"
expect 0 "wrote" view data.bin -o s3.png --width 7 --grid --grid-size 3,11 --start -7 --zoom 8 --multi
cmp -s s2.png s3.png || fail "the same command gave different bytes"

# Cut: only bytes that exist are written; a negative start begins at 0.
expect 0 "wrote 96 bytes to c.bin" cut data.bin -o c.bin --start 4000 --count 1000
cmp -s c.bin <(tail -c 96 data.bin) || fail "cut 4000+1000 is not the last 96 bytes"
expect 0 "wrote 10 bytes to c.bin" cut data.bin -o c.bin --start -5 --count 15 --invert
[ "$(od -An -tx1 c.bin | tr -d ' \n')" = "$(head -c 10 data.bin | od -An -tx1 -v | tr -d ' \n' |
  sed 's/../&\n/g' | while read -r h; do [ -n "$h" ] && printf '%02x' $((0xff ^ 0x$h)); done)" ] ||
  fail "cut --invert does not complement the first 10 bytes"
expect 0 "wrote 0 bytes to c.bin" cut data.bin -o c.bin --start 5000 --count 1
[ -f c.bin ] && [ ! -s c.bin ] || fail "a cut past the end should leave an empty file"
expect 0 "wrote 1 byte to c.bin" cut data.bin -o c.bin --start 4095 --count 1

# Past 4 GiB the bytes shown and cut are the file's own (a sparse file with
# text written at 4 GiB + 5): the view there is the view of those bytes cut
# out, and at the last row the data ends in blue as in a small file.
gib4=$((4 * 1024 * 1024 * 1024))
truncate -s $((gib4 + 1024 * 1024)) big.bin
printf 'Bitloupe far out' | dd of=big.bin bs=1 seek=$((gib4 + 5)) conv=notrunc status=none
expect 0 "wrote 4096 bytes" cut big.bin -o part.bin --start $gib4 --count 4096
[ "$(head -c 21 part.bin | tail -c 16)" = "Bitloupe far out" ] || fail "cut past 4 GiB does not hold the text"
expect 0 "wrote" view big.bin -o far1.png --width 4 --zoom 2 --start $gib4
expect 0 "wrote" view part.bin -o far2.png --width 4 --zoom 2 --start 0
cmp -s far1.png far2.png || fail "the view at 4 GiB differs from the view of the same bytes"
expect 0 "wrote 4 bytes" cut big.bin -o last.bin --start $((gib4 + 1024 * 1024 - 4)) --count 100
expect 0 "wrote" view big.bin -o end1.png --width 4 --start $((gib4 + 1024 * 1024 - 4))
expect 0 "wrote" view last.bin -o end2.png --width 4 --start 0
cmp -s end1.png end2.png || fail "the last row of a file over 4 GiB differs from the same bytes in a small file"
rm -f big.bin

# The overview: a block per pixel, classes as the blocks' bytes say.
{ head -c 8192 /dev/zero; cat data.bin data.bin; yes 'plain text, line after line' | head -c 8192; } >mixed.bin
expect 0 "wrote ov.png \(192 x 1, 128 bytes a pixel\): 64 uniform, 64 text, 64 dense, 0 graphics, 0 other" \
  overview mixed.bin -o ov.png --block 128
out="$("${run[@]}" overview mixed.bin -o ov.ppm --json 2>&1 | tr -d '\r')"
[ "$out" = "{\"size\": 24576, \"block\": 64, \"columns\": 256, \"rows\": 2, \"legend\": {\"u\": \"uniform\", \"t\": \"text\", \"d\": \"dense\", \"g\": \"graphics\", \"o\": \"other\"}, \"classes\": \"$(printf 'u%.0s' $(seq 128))$(printf 'd%.0s' $(seq 128))$(printf 't%.0s' $(seq 128))\"}" ] ||
  fail "overview --json: $out"
[ "$(head -c 2 ov.ppm)" = "P6" ] && [ "$(head -2 ov.ppm | tail -1 | tr -d '\r')" = "256 2" ] || fail "overview PPM header"

# The input as the output, by its own name or another (a link, a hard
# link): refused alike on every system, the file as it was.
cp data.bin self.png
ln -s self.png self-link.png
ln self.png self-hard.png
expect 1 "^bitloupe-cli: self.png: is the file being read: write to another file" cut self.png -o self.png --start 0 --count 10
expect 1 "^bitloupe-cli: self-link.png: is the file being read" export self.png -o self-link.png --start 0 --width-bits 8 --rows 4
expect 1 "^bitloupe-cli: self.png: is the file being read" view self-hard.png -o self.png
expect 1 "^bitloupe-cli: ./self.png: is the file being read" overview self.png -o ./self.png
cmp -s self.png data.bin || fail "a refused output changed its input"

# Inputs and outputs that are not files on a disk: standard input and
# output as "-"; a file that says it is empty but is not; devices and pipes
# refused before they are opened; a block device read at its size.
"${run[@]}" cut - -o - --start 0 --count 100000 <data.bin >stdin-copy.bin 2>err.txt || fail "cut - -o -: $(cat err.txt)"
cmp -s stdin-copy.bin data.bin || fail "cut - -o - is not the bytes given"
grep -q "wrote 4096 bytes to standard output" err.txt || fail "cut -o - said: $(cat err.txt)"
expect 0 "wrote" export data.bin -o e1.png --start 0 --width-bits 64 --rows 512
"${run[@]}" export - -o - --start 0 --width-bits 64 --rows 512 <data.bin >e2.png 2>/dev/null || fail "export - -o - failed"
cmp -s e1.png e2.png || fail "export - -o - differs from the export of the file"
if [ "${#run[@]}" -eq 1 ]; then
  expect 0 "^/proc/self/maps: [1-9][0-9]* bytes" scan /proc/self/maps
  expect 1 "^bitloupe-cli: /dev/null: is a character device" scan /dev/null
  mkfifo fifo
  timeout 20 "${run[@]}" scan fifo >/dev/null 2>err.txt
  grep -q "^bitloupe-cli: fifo: is a pipe" err.txt || fail "scan of a pipe by name: $(cat err.txt)"
  if loop="$(losetup -f --show data.bin 2>/dev/null)"; then
    "${run[@]}" cut "$loop" -o loop.bin --start 0 --count 100000 >/dev/null 2>err.txt || fail "cut of $loop: $(cat err.txt)"
    losetup -d "$loop"
    cmp -s loop.bin data.bin || fail "a block device is not read as its bytes"
  else
    echo "SKIP: no loop device here to read a block device through"
  fi
else
  expect 1 "^bitloupe-cli: NUL: is a device" scan NUL
  expect 1 "^bitloupe-cli: com1.txt: is a device" scan com1.txt
fi

# Help types values and says once how numbers are written; export reads to
# the end of the file by default; overview --json needs no picture;
# guess-width starts at any bit, cut says why it does not.
expect 0 "--rows NUMBER .*rows of the picture" export --help
expect 0 "bit 0 being the most significant bit" scan --help
expect 0 "wrote all.pbm \(8 x 4096\)" export data.bin -o all.pbm --width-bits 8
expect 0 '^\{"size": 4096, "block": 64' overview data.bin --json
expect 0 "^the bits from 0.3 on, 4096 bytes" guess-width data.bin --start 0.3
expect 2 "^bitloupe-cli: --start: cut writes whole bytes" cut data.bin -o c.bin --start 1.3 --count 4

# Names as typed back: a name that begins with - (the printed command runs,
# and the mistake of giving it bare is explained); control characters never
# raw on the terminal; a name that is not UTF-8 valid UTF-8 on the report.
zcat /usr/share/consolefonts/Lat15-VGA16.psf.gz >./-dash.bin
"${run[@]}" scan ./-dash.bin >dash.txt 2>&1
grep -q "bitloupe-cli export ./-dash.bin " dash.txt || fail "the printed command for -dash.bin: $(cat dash.txt)"
# The printed command runs as printed (with this build).
printed="$(grep -m1 "bitloupe-cli export ./-dash.bin " dash.txt | tr -d '\r' | sed 's/^ *bitloupe-cli //')"
eval "\"\${run[@]}\" $printed" >/dev/null 2>&1 || fail "the printed command failed: $printed"
expect 2 "a file name that begins with - is given as ./-dash.bin" scan -dash.bin
if [ "${#run[@]}" -eq 1 ]; then
  zcat /usr/share/consolefonts/Lat15-VGA16.psf.gz >"$(printf 'font\nname.bin')"
  printed="$("${run[@]}" scan "$(printf 'font\nname.bin')" | grep -m1 "bitloupe-cli export " | sed 's/^ *bitloupe-cli //')"
  case "$printed" in *$'\n'*) fail "a line break reached the terminal in: $printed" ;; esac
  eval "\"\${run[@]}\" $printed" >/dev/null 2>&1 || fail "the printed command failed: $printed"
  "${run[@]}" view "$(printf 'no\nsuch.bin')" -o v.png 2>err.txt
  grep -q '^bitloupe-cli: no\\x0Asuch.bin: ' err.txt || fail "a control character reached the terminal raw: $(cat err.txt)"
  cp data.bin "$(printf 'not\xffutf8.bin')"
  "${run[@]}" scan "$(printf 'not\xffutf8.bin')" --report page.html >/dev/null 2>&1 || fail "scan --report of a name that is not UTF-8"
  python3 -c 'import sys; open(sys.argv[1], "rb").read().decode("utf-8")' page.html 2>/dev/null ||
    fail "the report of a name that is not UTF-8 is not UTF-8"
fi

# Edges where a one-line fault would hide: a title's grid of 0 refused; a
# picture that ends the file, its last window ending with it, found; a start
# of BYTE.BIT in whole-byte rows not taken as its byte; a replaced output
# keeping its permissions; a cut one byte past a read window; a name with
# HTML's own characters on the report page.
expect 2 "^bitloupe-cli: --state: not a viewer title" view data.bin -o v.png --state "Bitloupe, sprsize:1, grid:8x0 disp:0 zoom:1"
expect 2 "^bitloupe-cli: --state: not a viewer title" view data.bin -o v.png --state "Bitloupe, sprsize:1, grid:0x8 disp:0 zoom:1"
zcat /usr/share/consolefonts/Lat15-VGA16.psf.gz | tail -c +5 | head -c 4096 >glyphs.bin
{ noise 65536 7; tail -c +1041 glyphs.bin | head -c 512; } >ends-with-font.bin
"${run[@]}" scan ends-with-font.bin --json --order file --min-score 0 >end.json 2>/dev/null
grep -q '"start": 65536, "end": 660[0-9][0-9], "width_bits": 8' end.json || fail "512 bytes of glyphs that end the file: $(cat end.json)"
expect 0 "wrote" export data.bin -o shifted.pbm --start 100.3 --width-bits 16 --rows 8
python3 - data.bin shifted.pbm <<'PY' || fail "export --start 100.3 of whole-byte rows is not the bits from 100.3 on"
import sys
data, pbm = open(sys.argv[1], 'rb').read(), open(sys.argv[2], 'rb').read()
bits = int.from_bytes(data[100:118], 'big') >> (18 * 8 - 3 - 128) & ((1 << 128) - 1)
want = bytes(~b & 0xFF for b in bits.to_bytes(16, 'big'))
sys.exit(0 if pbm.split(b'\n', 2)[2] == want else 1)
PY
if [ "${#run[@]}" -eq 1 ]; then
  cp data.bin kept.png
  chmod 640 kept.png
  expect 0 "wrote" view data.bin -o kept.png
  [ "$(stat -c %a kept.png)" = 640 ] || fail "a replaced output lost its permissions: $(stat -c %a kept.png)"
fi
{ noise $((8 << 20)) 8; noise 100 9; } >window.bin
expect 0 "wrote 100 bytes" cut window.bin -o window-cut.bin --start $(((8 << 20) - 50)) --count 100
cmp -s window-cut.bin <(tail -c 150 window.bin | head -c 100) || fail "a cut across a read window is not the file's bytes"
# A window's worth from byte 1: one byte past a window from byte 0.
expect 0 "wrote 8388608 bytes" cut window.bin -o window-cut.bin --start 1 --count $((8 << 20))
cmp -s window-cut.bin <(tail -c +2 window.bin | head -c $((8 << 20))) || fail "a cut one byte past a read window"
# (Windows names hold no < > ", nor a & here: the native build only.)
if [ "${#run[@]}" -eq 1 ]; then
  cp glyphs.bin 'a&b<c>"d.bin'
  "${run[@]}" scan 'a&b<c>"d.bin' --report html-name.html >/dev/null 2>&1 || fail "scan --report of a name with & < > \""
  grep -qF 'a&amp;b&lt;c&gt;&quot;d.bin' html-name.html || fail "the report does not escape the name"
fi

# A failed output leaves the old file as it was and no temporary file.
chmod a-w old.png
expect 1 "^bitloupe-cli: old.png: is read-only" view data.bin -o old.png
chmod u+w old.png
expect 1 "^bitloupe-cli: missing-folder/x.png: " view data.bin -o missing-folder/x.png
expect 1 "^bitloupe-cli: missing.bin: " export missing.bin -o old.png --start 0 --width-bits 8 --rows 1
[ "$(cat old.png)" = "old" ] || fail "old.png changed"
expect 0 "wrote" view data.bin -o old.png
[ "$(head -c 4 old.png | od -An -c | tr -d ' ')" = "211PNG" ] || fail "old.png was not replaced by a PNG"
leftovers="$(find . -name '*.tmp' -o -name '.~blp*')"
[ -z "$leftovers" ] || fail "temporary files left: $leftovers"

# Tiles: a font of 8 x 8 glyphs as a sheet, 16 to a row, to the end of the
# file by default; the width is the cells' alone.
zcat /usr/share/consolefonts/Lat15-VGA8.psf.gz | tail -c +5 | head -c 2048 >font8.bin
expect 0 "^wrote sheet.png \(128 x 128\)$" export font8.bin -o sheet.png --tile 8x8
expect 0 "^wrote sheet.pbm \(256 x 256\)$" export font8.bin -o sheet.pbm --tile 8x8 --scale 2
expect 2 "^bitloupe-cli: --width-bits: not with --tile" export font8.bin -o s.png --tile 8x8 --width-bits 8
expect 2 "^bitloupe-cli: --tiles-per-row: needs --tile" export font8.bin -o s.png --width-bits 8 --tiles-per-row 4
expect 2 "^bitloupe-cli: --tile: expected WxH" export font8.bin -o s.png --tile 8
expect 2 "^bitloupe-cli: --scale: 17 is out of range" export font8.bin -o s.png --tile 8x8 --scale 17
expect 2 "^bitloupe-cli: --width-bits: required \(or --tile WxH\)" export font8.bin -o s.png

# guess-width and scan: a console font (8 x 16 glyphs, a byte a row) between
# random bytes is found where it lies, with width 8; the JSON is one object;
# the export command printed for it runs; the errors are the usual ones.
zcat /usr/share/consolefonts/Lat15-VGA16.psf.gz | tail -c +5 | head -c 4096 >font.bin
{ noise 70000 2; cat font.bin data.bin; } >hidden.bin
noise 20000 3 >noise.bin
: >empty.bin
expect 0 '"candidates": \[\{"width_bits": 8, ' guess-width hidden.bin --start 70000 --length 0x1000 --json
expect 0 "^bytes 70000 to 74095:" guess-width hidden.bin --start '$11170'
expect 2 "^bitloupe-cli: command line: " guess-width hidden.bin
expect 2 "^bitloupe-cli: --length: 0 is out of range" guess-width hidden.bin --start 0 --length 0
expect 1 "^bitloupe-cli: hidden.bin: --start 78192 is past the end" guess-width hidden.bin --start 78192
expect 2 "^bitloupe-cli: --min-bytes: not a number" scan hidden.bin --min-bytes x
expect 1 "^bitloupe-cli: missing.bin: " scan missing.bin
expect 0 '^\{"size": 0, "regions": \[\], "left_out": 0\}$' scan empty.bin --json
expect 0 '^\{"size": 20000, "regions": \[\], "left_out": 0\}$' scan noise.bin --json
expect 0 "bitloupe-cli export hidden.bin -o region-[0-9]+.png --start [0-9]+ --width-bits 8 --rows [0-9]+" scan hidden.bin
"${run[@]}" scan hidden.bin --json >scan.json 2>/dev/null || fail "scan --json failed"
/usr/bin/python3 - scan.json <<'PY' || fail "scan --json: not one object with the font at 70000..74096, width 8"
import json, sys
found = json.loads(open(sys.argv[1]).read())
assert found["size"] == 78192
hits = [r for r in found["regions"] if r["width_bits"] == 8 and r["start"] <= 70000 + 1024 and r["end"] >= 74096 - 1024]
assert len(hits) == 1 and len(found["regions"]) == 1 and 0 <= hits[0]["score"] <= 1
PY
export_line="$("${run[@]}" scan hidden.bin 2>/dev/null | tr -d '\r' | grep -m1 'bitloupe-cli export' | sed 's/^ *bitloupe-cli //')"
read -ra export_args <<<"$export_line"
expect 0 "wrote region-" "${export_args[@]}"
expect 0 "viewer: sprsize 1, disp [0-9]+" scan hidden.bin --min-bytes 1024
expect 0 '"regions": \[\]' scan hidden.bin --min-bytes 0x100000 --json

# What scan lists: regions scoring below --min-score are left out and
# counted, in the table, the JSON and the overview's graphics.
expect 2 "^bitloupe-cli: --min-score: 2 is out of range \(0 to 1\)" scan hidden.bin --min-score 2
expect 2 "^bitloupe-cli: --min-score: not a number: \"1e-3\"" overview hidden.bin -o ov.png --min-score 1e-3
expect 2 "^bitloupe-cli: --order: must be score or file" scan hidden.bin --order x
expect 0 ": 78192 bytes, 0 regions that look like 1-bit graphics \(1 weaker candidate left out; --min-score 0 shows it\)$" \
  scan hidden.bin --min-score 1
expect 0 '"regions": \[\], "left_out": 1\}$' scan hidden.bin --min-score 1 --json
expect 0 " 0 graphics," overview hidden.bin -o ov.png --min-score 1
expect 0 " [1-9][0-9]* graphics," overview hidden.bin -o ov.png --min-score 0
# Two fonts, the first with a stray bit in every twentieth byte, so that the
# second scores higher: best first lists it first, --order file does not; a
# least score between the two leaves one out.
fonts=/usr/share/consolefonts
zcat $fonts/Lat15-Fixed13.psf.gz | /usr/bin/python3 -c 'import sys; b = bytearray(sys.stdin.buffer.read())
for i in range(0, len(b), 20): b[i] ^= 1 << (i // 20 % 8)
sys.stdout.buffer.write(b)' >stray.psf
{ noise 4096 4; cat stray.psf; noise 4096 5; zcat $fonts/Lat15-Terminus32x16.psf.gz; noise 4096 6; } >two.bin
"${run[@]}" scan two.bin --json --min-score 0 >best.json 2>/dev/null || fail "scan two.bin --json"
"${run[@]}" scan two.bin --json --min-score 0 --order file >by-file.json 2>/dev/null || fail "scan two.bin --order file"
between="$(/usr/bin/python3 - best.json by-file.json <<'PY'
import json, sys
best, by_file = (json.load(open(name))["regions"] for name in sys.argv[1:])
assert len(by_file) == 2 and by_file == sorted(by_file, key=lambda r: r["start"]), by_file
assert by_file[1]["score"] > by_file[0]["score"], "the second font no longer scores higher"
assert best == by_file[::-1], best
print(sum(r["score"] for r in best) / 2)
PY
)" || fail "scan --order: $(cat best.json by-file.json)"
expect 0 "1 region that looks like 1-bit graphics \(1 weaker candidate left out" scan two.bin --min-score "$between"
# At most --max-regions listed, the best or the first in the file, the rest
# told on standard error; the overview still shows both.
"${run[@]}" scan two.bin --json --min-score 0 --max-regions 1 >best1.json 2>best1.txt
"${run[@]}" scan two.bin --json --min-score 0 --max-regions 1 --order file >first1.json 2>first1.txt
/usr/bin/python3 - best.json best1.json by-file.json first1.json <<'PY' || fail "scan --max-regions 1: $(cat best1.json first1.json)"
import json, sys
best, best1, by_file, first1 = (json.load(open(name))["regions"] for name in sys.argv[1:])
assert best1 == best[:1] and first1 == by_file[:1]
PY
grep -q "more than 1 region: the best is listed (--max-regions lists more)" best1.txt || fail "scan --max-regions 1: $(cat best1.txt)"
grep -q "more than 1 region: the first in the file is listed" first1.txt || fail "scan --max-regions 1 --order file: $(cat first1.txt)"
expect 2 "^bitloupe-cli: --max-regions: 50001 is out of range \(1 to 50000\)" scan two.bin --max-regions 50001
# --export-dir writes what the printed export commands write.
"${run[@]}" scan two.bin --min-score 0 --export-dir pics >two.txt 2>&1 || fail "scan --export-dir: $(cat two.txt)"
[ "$(tr -d '\r' <two.txt | grep -c '^    wrote pics/region-[0-9]*\.png ')" = 2 ] || fail "scan --export-dir: $(cat two.txt)"
while read -r line; do
  read -ra export_args <<<"${line#*bitloupe-cli }"
  expect 0 "wrote region-" "${export_args[@]}"
  cmp -s "${export_args[3]}" "pics/${export_args[3]}" || fail "pics/${export_args[3]} differs from: $line"
done < <(tr -d '\r' <two.txt | grep 'bitloupe-cli export')
# The view printed for a font of a byte a row shows all of it, larger than
# a pixel a bit: at least 3 white pixels for every set bit of the font.
{ cat font.bin; head -c 12000 /dev/zero; } >font-zeros.bin
view_line="$("${run[@]}" scan font-zeros.bin 2>/dev/null | tr -d '\r' | grep -o 'bitloupe-cli view [^)]*')"
read -ra view_args <<<"${view_line#bitloupe-cli }"
expect 0 "wrote ${view_args[3]}" "${view_args[@]}"
white="$(convert "${view_args[3]}" -depth 8 rgb:- | /usr/bin/python3 -c 'import sys; d = sys.stdin.buffer.read()
print(sum(d[i:i + 3] == b"\xff\xff\xff" for i in range(0, len(d), 3)))')"
bits="$(/usr/bin/python3 -c 'print(sum(bin(b).count("1") for b in open("font.bin", "rb").read()))')"
[ "${white:-0}" -ge $((3 * bits)) ] || fail "the view ($view_line) shows $white white pixels for $bits set bits"

# On POSIX systems a pipe is written as it is (the summary then goes to
# standard error), and a link is followed to the file it names.
if [ "$#" -eq 0 ]; then
  mkfifo pipe
  # A reader that gives up, should the program never open the pipe.
  timeout 60 cat pipe >from-pipe.bin & reader=$!
  "$cli" cut data.bin -o pipe --start 0 --count 100 >cut-out.txt 2>cut-err.txt || fail "cut to a pipe failed"
  wait "$reader"
  [ -p pipe ] || fail "the pipe was replaced"
  cmp -s from-pipe.bin <(head -c 100 data.bin) || fail "the pipe did not get the bytes"
  grep -q "wrote 100 bytes to pipe" cut-err.txt && [ ! -s cut-out.txt ] || fail "the summary of a piped cut is not on standard error"
  ln -s linked.bin link.bin
  expect 0 "wrote 5 bytes to link.bin" cut data.bin -o link.bin --start 0 --count 5
  [ -L link.bin ] && [ "$(stat -c %s linked.bin)" = 5 ] || fail "the link was not followed"
fi

if [ "$failures" -ne 0 ]; then
  echo "$failures failures"
  exit 1
fi
echo "all passed"

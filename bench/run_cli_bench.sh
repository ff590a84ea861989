#!/usr/bin/env bash
# bitloupe-cli as whole processes (bench_cli, host build): view at the end of
# a 16 GiB sparse file against a 1 KiB file, export of 64 MiB against cat,
# the export's peak resident memory (/usr/bin/time -v) against the 64 MiB it
# exports; find at a given stride in 1 GiB of random bytes against cat, with
# its peak resident memory against 64 MiB; scan and overview of 1 GiB (the
# console fonts, then random bytes) against cat of it, and their peak
# memory; scan of 1 GiB of mixed real data against cat; scan of 1 GiB of
# whole programs and libraries against cat, and its peak memory; guess-width
# on 64 KiB against view of the same file.
#
#   bench/run_cli_bench.sh [BUILD_DIR] [RUNS]   BUILD_DIR default build/bench-host;
#                                              RUNS sets the samples (default 5)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build/bench-host}" && pwd)
runs=${2:-5}
cli="$build/cli/bitloupe-cli"
bench="$build/bench/bench_cli"
for f in "$cli" "$bench"; do [ -x "$f" ] || { echo "run_cli_bench: $f not built" >&2; exit 1; }; done

work=$(mktemp -d /tmp/bitloupe-cli-bench.XXXXXX)
trap 'rm -rf "$work"' EXIT
# The sparse file ends in the same 1 KiB as the small one, so that both views
# draw the same picture.
head -c 1024 /dev/urandom >"$work/last-1k.bin"
truncate -s 16G "$work/sparse-16g.bin"
dd if="$work/last-1k.bin" of="$work/sparse-16g.bin" bs=1024 seek=$((16 * 1024 * 1024 - 1)) conv=notrunc status=none
head -c 64M /dev/urandom >"$work/region-64m.bin"

# The PNG export takes seconds: one sample a run.
"$bench" "$cli" "$work" $((10 * runs + 1)) $((2 * runs + 1)) "$runs"
cmp -s "$work/big.png" "$work/small.png" || { echo "run_cli_bench: the two views differ" >&2; exit 1; }

if [ -x /usr/bin/time ]; then
  for format in pbm png; do
    /usr/bin/time -v -o "$work/time.txt" "$cli" export "$work/region-64m.bin" -o "$work/peak.$format" \
      --start 0 --width-bits 8 --rows 67108864 >/dev/null
    kib=$(awk -F': ' '/Maximum resident set size/ { print $2 }' "$work/time.txt")
    printf '%-48s %12.2f %s\n' "export 64 MiB as ${format^^}, peak resident" "$(awk -v k="$kib" 'BEGIN { print k / 1024 }')" MiB
  done
  printf '%-48s %12.2f %s\n' "  floor: the region exported" 64 MiB
else
  echo "run_cli_bench: no /usr/bin/time (package time), no peak memory" >&2
fi

# find: 1 GiB of random bytes; the same command times and measures.
head -c 1G /dev/urandom >"$work/random-1g.bin"
"$bench" --find "$cli" "$work/random-1g.bin" "$runs"
if [ -x /usr/bin/time ]; then
  /usr/bin/time -v -o "$work/time.txt" "$cli" find "$work/random-1g.bin" --stride 16 \
    --glyph '......../......../..####../.##..##./##....##/##....##/##....##/########/##....##/##....##' >/dev/null
  kib=$(awk -F': ' '/Maximum resident set size/ { print $2 }' "$work/time.txt")
  printf '%-48s %12.2f %s\n' "find in 1 GiB, peak resident" "$(awk -v k="$kib" 'BEGIN { print k / 1024 }')" MiB
  printf '%-48s %12.2f %s\n' "  floor: the most find may use" 64 MiB
fi

# median_ms COMMAND...: the median wall time of RUNS runs, in milliseconds.
median_ms() {
  local i t0 t1
  for i in $(seq 1 "$runs"); do
    t0=$(date +%s%N); "$@" >/dev/null 2>&1 || { echo "run_cli_bench: failed: $*" >&2; exit 1; }; t1=$(date +%s%N)
    echo $(((t1 - t0) / 1000))
  done | sort -n | awk '{ v[NR] = $1 } END { printf "%.2f", v[int((NR + 1) / 2)] / 1000 }'
}

# Finding: scan (and overview, which scans in the same pass) and cat in
# turns, a run each, so that both see the same load.
middle() { printf '%s\n' "$@" | sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

# PNG against its peers, in turns, a sample each a run, pictures 64 pixels
# wide of random bytes: 4 MiB (524,288 rows) by the command line, by
# Python's imaging library from the same bytes and by netpbm's pnmtopng from
# a PBM of them (which the command line wrote); 64 KiB (8,192 rows: the
# policy of Debian's ImageMagick takes at most 16,000) by the command line and by
# ImageMagick's convert from a PBM. Then the 64 MiB at 8 bits a row against
# gzip -6 of the image data that PNG holds (a filter byte before each row).
head -c 4M "$work/region-64m.bin" >"$work/region-4m.bin"
head -c 64K "$work/region-64m.bin" >"$work/region-64k.bin"
"$cli" export "$work/region-4m.bin" -o "$work/peer.pbm" --width-bits 64 >/dev/null
"$cli" export "$work/region-64k.bin" -o "$work/peer-64k.pbm" --width-bits 64 >/dev/null
/usr/bin/python3 - "$work/region-64m.bin" "$work/rows-64m.raw" <<'PY'
import sys
data = open(sys.argv[1], 'rb').read()
rows = bytearray(2 * len(data))
rows[1::2] = data
open(sys.argv[2], 'wb').write(rows)
PY
ours4=() ours64k=() peer_pil=() peer_netpbm=() peer_magick=() png8=() gzip8=()
for i in $(seq 1 "$runs"); do
  ours4+=("$(runs=1 median_ms "$cli" export "$work/region-4m.bin" -o "$work/ours.png" --width-bits 64)")
  if /usr/bin/python3 -c 'import PIL' 2>/dev/null; then
    peer_pil+=("$(runs=1 median_ms /usr/bin/python3 -c 'import sys; from PIL import Image
data = open(sys.argv[1], "rb").read()
Image.frombytes("1", (64, len(data) // 8), data).save(sys.argv[2])' "$work/region-4m.bin" "$work/pil.png")")
  fi
  [ -x /usr/bin/pnmtopng ] && peer_netpbm+=("$(runs=1 median_ms sh -c '/usr/bin/pnmtopng "$1" >"$2"' - "$work/peer.pbm" "$work/netpbm.png")")
  ours64k+=("$(runs=1 median_ms "$cli" export "$work/region-64k.bin" -o "$work/ours-64k.png" --width-bits 64)")
  [ -x /usr/bin/convert ] && peer_magick+=("$(runs=1 median_ms /usr/bin/convert "$work/peer-64k.pbm" "$work/magick.png")")
  png8+=("$(runs=1 median_ms "$cli" export "$work/region-64m.bin" -o "$work/png8.png" --width-bits 8)")
  gzip8+=("$(runs=1 median_ms sh -c 'gzip -6 <"$1" >"$2"' - "$work/rows-64m.raw" "$work/rows.gz")")
done
for peer in pil netpbm magick; do
  eval "samples=(\"\${peer_$peer[@]}\")"
  [ "${#samples[@]}" -gt 0 ] || { echo "run_cli_bench: no $peer to compare PNG export with" >&2; continue; }
  [ "$peer" = magick ] && ours=$(middle "${ours64k[@]}") size="64 KiB" || ours=$(middle "${ours4[@]}") size="4 MiB"
  printf '%-48s %12.2f %s\n' "PNG of $size, 64 bits a row, against $peer" "$ours" ms
  printf '%-48s %12.2f %s\n' "  floor: the same picture by $peer" "$(middle "${samples[@]}")" ms
done
printf '%-48s %12.2f %s\n' "PNG of 64 MiB, 8 bits a row, against gzip" "$(middle "${png8[@]}")" ms
printf '%-48s %12.2f %s\n' "  floor: gzip -6 of the image data the PNG holds" "$(middle "${gzip8[@]}")" ms
rm -f "$work/rows-64m.raw" "$work/rows.gz"
# turns LABEL FLOOR_LABEL FILE COMMAND...: the median of RUNS runs of the
# command, each followed by a cat of FILE, and their ratio.
turns() {
  local label="$1" floor="$2" file="$3" i; shift 3
  local ms=() cats=()
  cat "$file" >/dev/null
  for i in $(seq 1 "$runs"); do
    ms+=("$(runs=1 median_ms "$@")")
    cats+=("$(runs=1 median_ms cat "$file")")
  done
  local m c; m=$(middle "${ms[@]}") c=$(middle "${cats[@]}")
  printf '%-48s %12.2f %s\n' "$label" "$m" ms
  printf '%-48s %12.2f %s\n' "$floor" "$c" ms
  printf '%-48s %12.2f %s\n' "ratio $label / cat" "$(awk -v a="$m" -v b="$c" 'BEGIN { print a / b }')" x
}
# peak LABEL FLOOR_LABEL COMMAND...: its peak resident memory against 64 MiB.
peak() {
  local label="$1" floor="$2"; shift 2
  [ -x /usr/bin/time ] || return 0
  /usr/bin/time -v -o "$work/time.txt" "$@" >/dev/null
  local kib; kib=$(awk -F': ' '/Maximum resident set size/ { print $2 }' "$work/time.txt")
  printf '%-48s %12.2f %s\n' "$label" "$(awk -v k="$kib" 'BEGIN { print k / 1024 }')" MiB
  printf '%-48s %12.2f %s\n' "$floor" 64 MiB
}

# find with pixels that may differ, over every stride, against the exact
# search of the same glyph over every stride, in turns: 3.6 MB of programs
# from /usr/bin, the letter A of 8 x 16 and of 8 x 8 pixels, 2 and 4 pixels
# that may differ.
python3 - "$work/programs-3m.bin" <<'PY'
import glob, os, sys
out = bytearray()
for p in sorted(glob.glob('/usr/bin/*')):
    if len(out) >= 3600000: break
    if os.path.isfile(p):
        try: out += open(p, 'rb').read()
        except OSError: pass
open(sys.argv[1], 'wb').write(bytes(out[:3600000]))
PY
letter16='......../......../...##.../..####../.##..##./##....##/##....##/########/##....##/##....##/##....##/##....##/......../......../......../........'
letter8='..####../.##..##./##....##/##....##/########/##....##/##....##/........'
for size in 8x16 8x8; do
  [ "$size" = 8x16 ] && letter=$letter16 || letter=$letter8
  for k in 2 4; do
    fuzzy=() exact=() ratios=()
    for i in $(seq 1 "$runs"); do
      f1=$(runs=1 median_ms "$cli" find "$work/programs-3m.bin" --glyph "$letter" --max-errors "$k")
      e1=$(runs=1 median_ms "$cli" find "$work/programs-3m.bin" --glyph "$letter")
      fuzzy+=("$f1") exact+=("$e1") ratios+=("$(awk -v a="$f1" -v b="$e1" 'BEGIN { print a / b }')")
    done
    f=$(middle "${fuzzy[@]}") e=$(middle "${exact[@]}")
    suffix=$([ "$size" = 8x16 ] && echo "" || echo " ($size)")
    printf '%-48s %12.2f %s\n' "find $size, $k pixels may differ, every stride" "$f" ms
    printf '%-48s %12.2f %s\n' "  floor: find $size exactly, every stride ($k)" "$e" ms
    printf '%-48s %12.2f %s\n' "ratio find $k pixels may differ / exactly$suffix" "$(middle "${ratios[@]}")" x
  done
done
rm -f "$work/programs-3m.bin"

# The console fonts (5.7 MiB), then random bytes: graphics in a large file.
{ zcat /usr/share/consolefonts/*.psf.gz; head -c 1G /dev/urandom; } 2>/dev/null | head -c 1G >"$work/scan-1g.bin" || true
[ "$(stat -c %s "$work/scan-1g.bin")" -eq $((1 << 30)) ] || { echo "run_cli_bench: no 1 GiB file to scan" >&2; exit 1; }
turns "scan 1 GiB, every core" "  floor: cat of the 1 GiB (scan turns)" "$work/scan-1g.bin" "$cli" scan "$work/scan-1g.bin"
peak "scan 1 GiB, peak resident" "  floor: 64 MiB, the scan's memory budget" "$cli" scan "$work/scan-1g.bin"
turns "overview of 1 GiB" "  floor: cat of the 1 GiB (overview turns)" "$work/scan-1g.bin" \
  "$cli" overview "$work/scan-1g.bin" -o "$work/overview.png"
peak "overview of 1 GiB, peak resident" "  floor: the most overview may use" \
  "$cli" overview "$work/scan-1g.bin" -o "$work/overview.png"
rm -f "$work/scan-1g.bin"

# Mixed real data: 1 MiB pieces of machine code (the programs in /usr/bin),
# text (licences and copyright files), deflate (that text compressed), zeros,
# random bytes and console fonts, in turn, each from a random place in its
# source. The scan does the most work on code, where many windows pass its
# first tests.
python3 - "$work/mixed-1g.bin" <<'PY'
import glob, gzip, os, random, sys, zlib
def gather(paths, limit, read=lambda p: open(p, 'rb').read()):
    out = bytearray()
    for p in sorted(paths):
        if len(out) >= limit: break
        try: out += read(p)
        except OSError: pass
    return bytes(out[:limit])
code = gather([p for p in glob.glob('/usr/bin/*') if os.path.isfile(p)], 64 << 20)
text = gather(glob.glob('/usr/share/common-licenses/*') + glob.glob('/usr/share/doc/*/copyright'), 16 << 20)
packed = b''.join(zlib.compress(text[i:i + (1 << 20)], 6) for i in range(0, len(text), 1 << 20))
fonts = gather(glob.glob('/usr/share/consolefonts/*.psf.gz'), 16 << 20, lambda p: gzip.open(p).read())
r = random.Random(20261207)
kinds = [code, text, packed, None, 'random', fonts]
with open(sys.argv[1], 'wb') as out:
    for n in range(1024):
        kind = kinds[n % len(kinds)]
        if kind is None: piece = bytes(1 << 20)
        elif kind == 'random': piece = r.randbytes(1 << 20)
        else:
            at = r.randrange(len(kind))
            piece = (kind[at:] + kind)[:1 << 20]
            while len(piece) < (1 << 20): piece += kind[:(1 << 20) - len(piece)]
        out.write(piece)
PY
turns "scan 1 GiB of mixed real data" "  floor: cat of the 1 GiB (mixed scan turns)" "$work/mixed-1g.bin" \
  "$cli" scan "$work/mixed-1g.bin"
rm -f "$work/mixed-1g.bin"

# Programs and libraries, whole (every section): the ELF files of the
# installed toolchains, browser and /usr/bin, and the mingw-w64 DLLs (PE),
# one after another in sorted path order until 1 GiB. Each file is read
# once (links and second names of a file left out); should the list run
# out, the file goes on with its own beginning again, read back from itself.
python3 - "$work/programs-1g.bin" <<'PY'
import os, sys
limit = 1 << 30
def files(root, kind):
    for folder, _, names in os.walk(root):
        for name in names:
            path = os.path.join(folder, name)
            if os.path.isfile(path) and not os.path.islink(path):
                yield path, kind
def is_kind(path, kind):
    with open(path, 'rb') as f:
        head = f.read(64)
        if kind == 'elf': return head[:4] == b'\x7fELF'
        if head[:2] != b'MZ' or len(head) < 64: return False
        f.seek(int.from_bytes(head[60:64], 'little'))
        return f.read(4) == b'PE\0\0'
paths = []
for root in ('/usr/lib/llvm-14', '/usr/lib/gcc/x86_64-linux-gnu/12', '/usr/lib/firefox-esr', '/usr/bin'):
    paths += files(root, 'elf')
for root in ('/usr/lib/gcc/x86_64-w64-mingw32', '/usr/x86_64-w64-mingw32/lib'):
    paths += files(root, 'pe')
seen, written = set(), 0
with open(sys.argv[1], 'wb') as out:
    for path, kind in sorted(paths):
        if written >= limit: break
        try:
            st = os.stat(path)
            if (st.st_dev, st.st_ino) in seen or not is_kind(path, kind): continue
            seen.add((st.st_dev, st.st_ino))
            with open(path, 'rb') as f: data = f.read(limit - written)
        except OSError: continue
        out.write(data)
        written += len(data)
    out.flush()
    if written == 0: sys.exit('run_cli_bench: no programs to scan')
    with open(sys.argv[1], 'rb') as again:
        while written < limit:
            piece = again.read(min(8 << 20, limit - written))
            out.write(piece)
            out.flush()
            written += len(piece)
PY
[ "$(stat -c %s "$work/programs-1g.bin")" -eq $((1 << 30)) ] || { echo "run_cli_bench: no 1 GiB of programs" >&2; exit 1; }
turns "scan 1 GiB of programs and libraries" "  floor: cat of the 1 GiB (programs scan turns)" \
  "$work/programs-1g.bin" "$cli" scan "$work/programs-1g.bin"
peak "scan 1 GiB of programs, peak resident" "  floor: 64 MiB, the programs scan's budget" \
  "$cli" scan "$work/programs-1g.bin"
rm -f "$work/programs-1g.bin"
zcat /usr/share/consolefonts/*.psf.gz 2>/dev/null | head -c 65536 >"$work/glyphs-64k.bin" || true
[ "$(stat -c %s "$work/glyphs-64k.bin")" -eq 65536 ] || { echo "run_cli_bench: no 64 KiB of glyphs" >&2; exit 1; }
printf '%-48s %12.2f %s\n' "guess-width on 64 KiB" "$(median_ms "$cli" guess-width "$work/glyphs-64k.bin" --start 0 --length 65536)" ms
printf '%-48s %12.2f %s\n' "  floor: view of the same 64 KiB file" "$(median_ms "$cli" view "$work/glyphs-64k.bin" -o "$work/glyphs.png")" ms

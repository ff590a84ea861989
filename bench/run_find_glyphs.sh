#!/bin/bash
# find with pixels that may differ against the exact search, over every
# stride, for sixteen glyphs of the VGA 8 x 8 font (read from Debian's
# vgabios image, found by its letter A), on the first 3.6 MB of the programs
# in /usr/bin: for each glyph, `runs` samples of each in turns, the median
# times and their ratio, then the median and the largest ratio.
# Usage: bench/run_find_glyphs.sh CLI [RUNS] [K]
set -euo pipefail
cli="$1" runs="${2:-7}" k="${3:-4}"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
rom=/usr/share/vgabios/vgabios.bin
[ -r "$rom" ] || { echo "run_find_glyphs: no $rom (the vgabios package)" >&2; exit 1; }
python3 - "$work/programs-3m.bin" "$rom" "$work/glyphs.txt" <<'PY'
import glob, os, sys
out = bytearray()
for p in sorted(glob.glob('/usr/bin/*')):
    if len(out) >= 3600000: break
    if os.path.isfile(p):
        try: out += open(p, 'rb').read()
        except OSError: pass
open(sys.argv[1], 'wb').write(bytes(out[:3600000]))
rom = open(sys.argv[2], 'rb').read()
at = rom.find(bytes([0x30, 0x78, 0xcc, 0xcc, 0xfc, 0xcc, 0xcc, 0x00])) - ord('A') * 8
with open(sys.argv[3], 'w') as f:
    for c in 'BEGKMRSWaegx#@%&':
        rows = rom[at + ord(c) * 8: at + ord(c) * 8 + 8]
        f.write(c + ' ' + '/'.join(''.join('#' if b >> (7 - x) & 1 else '.' for x in range(8)) for b in rows) + '\n')
PY
ms() { local t0 t1; t0=$(date +%s%N); "$@" >/dev/null; t1=$(date +%s%N); echo $(((t1 - t0) / 1000)); }
median() { printf '%s\n' "$@" | sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
ratios=()
while read -r name glyph; do
  fuzzy=() exact=()
  for _ in $(seq 1 "$runs"); do
    fuzzy+=("$(ms "$cli" find "$work/programs-3m.bin" --glyph "$glyph" --max-errors "$k")")
    exact+=("$(ms "$cli" find "$work/programs-3m.bin" --glyph "$glyph")")
  done
  f=$(median "${fuzzy[@]}") e=$(median "${exact[@]}")
  r=$(awk -v a="$f" -v b="$e" 'BEGIN { printf "%.2f", a / b }')
  ratios+=("$r")
  printf '%s  %-72s %8.1f ms %7.1f ms %6.2f x\n' "$name" "$glyph" "$((f / 100))e-1" "$((e / 100))e-1" "$r"
done <"$work/glyphs.txt"
printf 'K = %s: median ratio %s x, largest %s x, within %s x: %s of %s\n' "$k" "$(median "${ratios[@]}")" \
  "$(printf '%s\n' "${ratios[@]}" | sort -n | tail -1)" "$((2 * (k + 1)))" \
  "$(printf '%s\n' "${ratios[@]}" | awk -v b="$((2 * (k + 1)))" '$1 < b { n++ } END { print n + 0 }')" "${#ratios[@]}"

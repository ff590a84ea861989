#!/usr/bin/env bash
# bitloupe-cli when it cannot do its work: memory that runs out, a library
# that gives up, threads that cannot start, a full disk, an interruption.
# Each ends with "bitloupe-cli: WHAT: WHY" and its exit code; an output being
# made is removed and the target it was to replace stays as it was. Runs the
# native build, or the Windows build under Wine when given a runner:
#
#   cli_failures.sh CLI [RUNNER...]
set -uo pipefail
cli="$1"; shift
run=("$@" "$cli")
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
cd "$work" || exit 1
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

# expect CODE PATTERN ARGS...: the exit code, and standard error matching PATTERN.
expect() {
  local code="$1" pattern="$2"; shift 2
  local got err
  "${run[@]}" "$@" >out.txt 2>err.txt; got=$?
  err="$(tr -d '\r' <err.txt)"
  [ "$got" -eq "$code" ] || { fail "$* -> exit $got, expected $code ($err)"; return; }
  grep -Eq -- "$pattern" <<<"$err" || fail "$* -> \"$err\" does not match \"$pattern\""
}
no_leftovers() {
  local left
  left="$(find . -name '.~blp*' -o -name '~blp*')"
  [ -z "$left" ] || fail "$1 left temporary files: $left"
}

python3 -c 'import random, sys; sys.stdout.buffer.write(random.Random(5).randbytes(1 << 20))' >noise.bin
zcat /usr/share/consolefonts/Lat15-VGA16.psf.gz | tail -c +5 | head -c 4096 >font.bin
cat noise.bin font.bin noise.bin >file.bin
printf 'old' >old.png

# Memory that runs out and a library that gives up, in the middle of the
# work: the message, exit 1, the old target as it was.
BITLOUPE_FAULT=memory expect 1 "^bitloupe-cli: export: out of memory$" \
  export file.bin -o old.png --start 0 --width-bits 8 --rows 1000
BITLOUPE_FAULT=library expect 1 "^bitloupe-cli: scan: .*gave up" scan file.bin
BITLOUPE_FAULT=memory expect 1 "^bitloupe-cli: overview: out of memory$" overview file.bin -o old.png
[ "$(cat old.png)" = "old" ] || fail "a failed export or overview changed old.png"
no_leftovers "a failed export"
# A crash: said, the output being made removed, and the exit code of a crash
# (never 0, which Wine would at times give). Under the address sanitizer its
# own report stands instead.
if [ -z "${BITLOUPE_SANITIZED:-}" ]; then
  code=$( (BITLOUPE_FAULT=crash "${run[@]}" export file.bin -o old.png --width-bits 8 >out.txt 2>err.txt; echo $?) 2>/dev/null)
  [ "$code" -ne 0 ] && grep -q "^bitloupe-cli: crashed" err.txt || fail "a crash: exit $code, $(cat err.txt)"
  [ "$(cat old.png)" = "old" ] || fail "a crashed export changed old.png"
  no_leftovers "a crashed export"
fi

# Threads that cannot start: the work is done on the ones there are, with
# the same answer.
glyph='..####../.##..##./##....##/##....##/########/##....##/##....##/##....##'
for command in "scan file.bin" "find file.bin --glyph $glyph --stride 1" "overview file.bin -o OUT.png"; do
  read -ra words <<<"$command"
  "${run[@]}" "${words[@]//OUT/o1}" >alone.txt 2>&1 || fail "$command failed: $(cat alone.txt)"
  BITLOUPE_FAULT=thread "${run[@]}" "${words[@]//OUT/o2}" >threads.txt 2>&1 ||
    fail "$command without threads failed: $(cat threads.txt)"
  sed -i 's/o2\.png/o1.png/g' threads.txt
  cmp -s alone.txt threads.txt || fail "$command without threads said"$'\n'"$(cat threads.txt)"$'\n'"not"$'\n'"$(cat alone.txt)"
done
cmp -s o1.png o2.png || fail "the overview without threads differs"

# A full disk: the first failed write ends the work, an output to standard
# output included; a PBM that cannot fit is refused before it is begun.
if [ -e /dev/full ]; then
  "${run[@]}" scan file.bin --json >/dev/full 2>err.txt; code=$?
  [ "$code" -eq 1 ] && grep -q "^bitloupe-cli: standard output: " err.txt ||
    fail "scan --json >/dev/full: exit $code, $(cat err.txt)"
fi
if [ -e /dev/full ] && [ "${#run[@]}" -eq 1 ]; then
  ln -s /dev/full full.png
  ln -s /dev/full full.pbm
  expect 1 "^bitloupe-cli: full.png: " export noise.bin -o full.png --start 0 --width-bits 4096 --rows 2048
  # A terabyte of picture to a full disk: the first failed write ends it
  # (were the rows all made, it would not end for hours).
  truncate -s 1T tera.bin
  timeout 120 "${run[@]}" export tera.bin -o full.pbm --width-bits 4096 --rows 2147483647 2>err.txt; code=$?
  [ "$code" -eq 1 ] && grep -q "^bitloupe-cli: full.pbm: " err.txt || fail "a terabyte to a full disk: exit $code, $(cat err.txt)"
fi
expect 1 "^bitloupe-cli: big.pbm: needs [0-9]+ bytes, and the disk has [0-9]+ free" \
  export file.bin -o big.pbm --start 0 --width-bits 1048576 --rows 2147483647
[ ! -e big.pbm ] || fail "a refused PBM was made"
no_leftovers "a refused PBM"

# Interrupted: the temporary output is removed, the target stays, and the
# exit code says so: 128 + the signal's number natively; under Wine a SIGINT
# is the Windows program's Ctrl-C, whose STATUS_CONTROL_C_EXIT (0xC000013A)
# Wine gives as 58, its low byte.
signals=(INT TERM)
[ "${#run[@]}" -gt 1 ] && signals=(INT)
for signal in "${signals[@]}"; do
  cp old.png target.png
  "${run[@]}" export noise.bin -o target.png --start 0 --width-bits 65536 --rows 100000000 2>err.txt &
  pid=$!
  # Until the temporary output is there (or the program ended).
  while kill -0 "$pid" 2>/dev/null && [ -z "$(find . -name '.~blp*' -o -name '~blp*')" ]; do :; done
  kill -"$signal" "$pid"
  wait "$pid"; code=$?
  expected=$((128 + $(kill -l "$signal")))
  [ "${#run[@]}" -gt 1 ] && expected=58
  [ "$code" -eq "$expected" ] || fail "SIG$signal: exit $code, expected $expected"
  grep -q "^bitloupe-cli: interrupted" err.txt || fail "SIG$signal: $(cat err.txt)"
  [ "$(cat target.png)" = "old" ] || fail "SIG$signal changed the target"
  no_leftovers "SIG$signal"
done

[ "$failures" -eq 0 ] || { echo "$failures failed"; exit 1; }
echo "all passed"

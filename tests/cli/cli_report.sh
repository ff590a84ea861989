#!/usr/bin/env bash
# The scan report opened in a real browser: Firefox draws the page headless
# into a screenshot, and the overview (its colours) and the regions' pictures
# (pure white pixels: the page itself has none) must be on it; the export
# command the page shows for a region, on a file whose name needs quoting,
# must work when typed into the platform's shell. Runs the native build, or
# the Windows build under Wine when given a runner (the browser is the
# host's either way; the shell is cmd.exe):
#
#   cli_report.sh CLI [RUNNER...]
set -uo pipefail
cli="$1"; shift
runner=("$@")
run=("${runner[@]}" "$cli")
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
cd "$work" || exit 1
fail() { echo "FAIL: $*"; exit 1; }

# noise COUNT SEED: the same pseudo-random bytes every run.
noise() { python3 -c 'import random, sys; sys.stdout.buffer.write(random.Random(int(sys.argv[2])).randbytes(int(sys.argv[1])))' "$1" "$2"; }
# Text, random bytes and two copies of a console font's glyphs.
zcat /usr/share/consolefonts/Lat15-VGA16.psf.gz >font.psf || fail "no console font"
{ head -c 20000 /usr/share/common-licenses/GPL-3; noise 30000 1; tail -c +5 font.psf | head -c 4096
  noise 10000 2; tail -c +5 font.psf | head -c 4096; head -c 20000 /dev/zero; } >"sample file.bin"
mkdir page
"${run[@]}" scan "sample file.bin" --report page/report.html --export-dir "region pictures" >scan.txt ||
  fail "scan --report failed: $(cat scan.txt)"
grep -q "data:image/png;base64," page/report.html || fail "no inline picture in the page"
grep -qE "<script|src=\"[^d]" page/report.html && fail "the page refers to something outside it"
# The page lists the regions the table lists, in its order, and links each
# to its PNG, relative to the page's folder.
python3 - <<'PY' || fail "the page's regions are not the table's"
import os, re, urllib.parse
page, table = open("page/report.html").read(), open("scan.txt").read()
listed = re.findall(r"^ +(\d+) +\d+ +\d+ +\d+ +[0-9.]+\r?$", table, re.M)
assert listed and re.findall(r"<tr><td>\d+</td><td>(\d+)</td>", page) == listed, (listed, table)
links = [urllib.parse.unquote(h) for h in re.findall(r'href="([^"]*)"', page)]
assert sorted(set(links)) == sorted(f"../region pictures/region-{s}.png" for s in listed), links
assert all(os.path.isfile(os.path.join("page", link)) for link in links), links
PY

command="$(python3 -c 'import html, re; print(html.unescape(re.search(r"<code>(bitloupe-cli export [^<]*)</code>",
  open("page/report.html").read()).group(1)))')" || fail "no export command on the page"
cli_folder="$(cd "$(dirname "$cli")" && pwd)"
if [ "${#runner[@]}" -gt 0 ]; then
  printf '@%s\r\n' "$command" >export.cmd
  WINEPATH="Z:${cli_folder//\//\\}" "${runner[@]}" cmd.exe /c export.cmd >export.txt 2>&1
else
  PATH="$cli_folder:$PATH" bash -c "$command" >export.txt 2>&1
fi
compgen -G "region-*.png" >/dev/null || fail "the page's command wrote no picture: $command: $(cat export.txt)"

mkdir -p "$work/profile"  # Firefox waits forever on a profile folder that is not there
timeout 120 firefox-esr --headless --no-remote --profile "$work/profile" --window-size=1280,2000 \
  --screenshot "$work/shot.png" "file://$work/page/report.html" >firefox.log 2>&1 || fail "firefox: $(tail -3 firefox.log)"
[ -s shot.png ] || fail "no screenshot"
convert shot.png -depth 8 shot.rgb 2>/dev/null || fail "cannot read the screenshot"
python3 - <<'PY' || exit 1
import sys
data = open("shot.rgb", "rb").read()
pixels = {}
for i in range(0, len(data) - 2, 3):
    key = data[i:i + 3]
    pixels[key] = pixels.get(key, 0) + 1
def count(rgb):
    return pixels.get(bytes.fromhex(rgb), 0)
checks = {"white (region pictures)": count("ffffff"), "graphics yellow (overview)": count("ffe119"),
          "dense red (overview)": count("c83232"), "text green (overview)": count("3cb44b")}
print(", ".join(f"{k}: {v} pixels" for k, v in checks.items()))
missing = [k for k, v in checks.items() if v < 16]
if missing:
    print("FAIL: not on the page:", ", ".join(missing))
    sys.exit(1)
PY
echo "the report shows its pictures"

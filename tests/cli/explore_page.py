#!/usr/bin/env python3
"""The explore page in a real browser: Chromium, headless, driven by
Selenium, at 100% and 200% display scale. For a file of known bytes, the
canvas's pixels at a dozen layouts against export of the same bytes and
layout (each bit a square of zoom x scale device pixels); the keys step as
the page lists them; the bit under the mouse; the state kept in the address
across a reload. Then Firefox's headless screenshot of one view shows the
same picture. The server is the native build, or the Windows build under Wine
with a runner:

    explore_page.py CLI [RUNNER...]

Exits 77 (skipped) when Chromium or its driver is missing.
"""
import base64
import io
import os
import random
import re
import shutil
import subprocess
import sys
import tempfile

from PIL import Image

try:
    from selenium import webdriver
    from selenium.webdriver.chrome.service import Service
    from selenium.webdriver.common.action_chains import ActionChains
    from selenium.webdriver.common.keys import Keys
    from selenium.webdriver.support.ui import WebDriverWait
except ImportError:
    print("no selenium: skipped")
    sys.exit(77)

cli, runner = sys.argv[1], sys.argv[2:]
if not shutil.which("chromium") or not shutil.which("chromedriver"):
    print("no chromium or chromedriver: skipped")
    sys.exit(77)
failures = []


def fail(what):
    failures.append(what)
    print("FAIL: " + what)


work = tempfile.mkdtemp()
data = os.path.join(work, "data.bin")
rng = random.Random(8)
# Random bytes with a console font of 8 x 16 glyphs from byte 16384 on, so
# that the map has a region and the search box a glyph to find.
font = subprocess.run("zcat /usr/share/consolefonts/Lat15-VGA16.psf.gz | tail -c +5 | head -c 4096", shell=True,
                      capture_output=True).stdout
noise = bytes(rng.randrange(256) for _ in range(40000))
with open(data, "wb") as f:
    f.write(noise[:16384] + font + noise[16384 + len(font):])

server = subprocess.Popen(runner + [cli, "explore", data, "--no-open"], stdout=subprocess.PIPE,
                          stderr=subprocess.PIPE, text=True)
match = re.search(r"http://127\.0\.0\.1:\d+/[0-9a-f]{32}/", server.stdout.readline())
if not match:
    server.kill()
    print("FAIL: no address")
    sys.exit(1)
address = match.group(0)


def browser(scale):
    options = webdriver.ChromeOptions()
    for argument in ("--headless=new", "--no-sandbox", "--disable-gpu", "--window-size=900,700",
                     "--force-device-scale-factor=%d" % scale):
        options.add_argument(argument)
    options.binary_location = shutil.which("chromium")
    return webdriver.Chrome(service=Service(executable_path=shutil.which("chromedriver")),
                            options=options)


def shown(driver, state):
    """Opens the view `state` (the address's part after #) and waits for its picture."""
    driver.get(address + "#" + state)
    driver.refresh()  # a change of the part after # alone loads nothing
    WebDriverWait(driver, 20).until(lambda d: d.execute_script(
        "const c = document.getElementById('view'); return c.dataset.drawn && c.dataset.drawn === location.hash;"))


def canvas(driver):
    """The canvas's pixels as an image (white where a bit is set)."""
    url = driver.execute_script("return document.getElementById('view').toDataURL('image/png');")
    return Image.open(io.BytesIO(base64.b64decode(url.split(",", 1)[1]))).convert("L")


def exported(options, rows):
    out = os.path.join(work, "export.png")
    made = subprocess.run(runner + [cli, "export", data, "-o", out, "--rows", str(rows)] + options.split(),
                          capture_output=True)
    if made.returncode != 0:
        return None
    return Image.open(out).convert("L")


# state (the page's fields), the export options of the same layout.
VIEWS = [
    ("start=0.0&width=8&zoom=4", "--start 0.0 --width-bits 8"),
    ("start=0.0&width=8&zoom=3&lsb=true", "--start 0.0 --width-bits 8 --lsb"),
    ("start=12.5&width=13&zoom=2", "--start 12.5 --width-bits 13"),
    ("start=100.0&width=12&stride=20&zoom=3", "--start 100.0 --width-bits 12 --stride-bits 20"),
    ("start=0.0&width=16&zoom=2&vertical=true", "--start 0.0 --width-bits 16 --vertical"),
    ("start=7.3&width=24&zoom=1&invert=true", "--start 7.3 --width-bits 24 --invert"),
    ("start=0.0&width=10&zoom=2&bottom_up=true", "--start 0.0 --width-bits 10 --bottom-up"),
    ("start=0.0&tile=8x8&tiles=16&zoom=2", "--start 0.0 --tile 8x8 --tiles-per-row 16"),
    ("start=3.0&tile=5x8&tiles=12&zoom=3&vertical=true&lsb=true", "--start 3.0 --tile 5x8 --tiles-per-row 12 --vertical --lsb"),
    ("start=39990.0&width=32&zoom=5", "--start 39990.0 --width-bits 32"),
    ("start=1.1&width=7&zoom=16&lsb=true&invert=true", "--start 1.1 --width-bits 7 --lsb --invert"),
    ("start=64.0&width=64&zoom=1", "--start 64.0 --width-bits 64"),
]

try:
    for scale in (1, 2):
        driver = browser(scale)
        try:
            for state, options in VIEWS:
                shown(driver, state)
                picture = canvas(driver)
                zoom = int(re.search(r"zoom=(\d+)", state).group(1))
                square = zoom * scale
                rows = picture.height // square
                want = exported(options, rows)
                if want is None or picture.size != (want.width * square, want.height * square):
                    fail("scale %d, %s: canvas %s, export %s" % (scale, state, picture.size, want and want.size))
                    continue
                wrong = sum(1 for y in range(picture.height) for x in range(0, picture.width, max(1, square // 2))
                            if picture.getpixel((x, y)) != want.getpixel((x // square, y // square)))
                if wrong:
                    fail("scale %d, %s: %d pixels differ from export %s" % (scale, state, wrong, options))

            # The keys: Down a row, Right a bit, ] a pixel wider, + a zoom step.
            shown(driver, "start=0.0&width=8&zoom=4")
            body = driver.find_element("tag name", "body")
            for key, field, value in ((Keys.ARROW_DOWN, "start", "1.0"), (Keys.ARROW_RIGHT, "start", "1.1"),
                                      ("]", "width", "9"), ("+", "zoom", "5"), (Keys.ARROW_UP, "start", "0.0")):
                body.send_keys(key)
                got = driver.execute_script("return document.getElementById(arguments[0]).value;", field)
                if got != value:
                    fail("scale %d: after %r %s is %s, not %s" % (scale, key, field, got, value))
            # The scroll bar at its middle: the row of the file's middle bit.
            driver.execute_script("const s = document.getElementById('scroll'); s.value = 500000;"
                                  "s.dispatchEvent(new Event('input'));")
            got = driver.execute_script("return start.value;")
            if got != "19999.1":  # bit 160000, down to the row of 9 bits it lies in: bit 159993
                fail("scale %d: the scroll bar's middle gives %s" % (scale, got))
            driver.execute_script("const s = document.getElementById('scroll'); s.value = 0;"
                                  "s.dispatchEvent(new Event('input'));")
            # The address keeps the view across a reload.
            WebDriverWait(driver, 10).until(lambda d: "zoom=5" in d.current_url)
            driver.refresh()
            WebDriverWait(driver, 10).until(lambda d: d.execute_script("return document.getElementById('view').dataset.drawn;"))
            if driver.execute_script("return [start.value, width.value, zoom.value].join(' ');") != "0.0 9 5":
                fail("scale %d: the view after a reload" % scale)

            # The bit under the mouse: pixel (3, 2) of width 8 from 0.0 at zoom 4 is bit 2.3.
            shown(driver, "start=0.0&width=8&zoom=4")
            view = driver.find_element("id", "view")
            ActionChains(driver).move_to_element_with_offset(view, 3 * 4 + 2 - view.size["width"] // 2,
                                                             2 * 4 + 2 - view.size["height"] // 2).perform()
            WebDriverWait(driver, 10).until(lambda d: "byte" in d.find_element("id", "status").text)
            status = driver.find_element("id", "status").text
            value = open(data, "rb").read()[2]
            if "bit 2.3" not in status or "byte %d" % value not in status:
                fail("scale %d: under the mouse: %r (bit 2.3, byte %d)" % (scale, status, value))
            if scale == 1:
                # A dragged rectangle: its commands, and its picture and bytes
                # as downloaded, against what those commands write.
                shown(driver, "start=0.0&width=8&zoom=4")
                view = driver.find_element("id", "view")
                at = lambda x, y: (x * 4 + 2 - view.size["width"] // 2, y * 4 + 2 - view.size["height"] // 2)
                ActionChains(driver).move_to_element_with_offset(view, *at(2, 1)).click_and_hold().move_to_element_with_offset(
                    view, *at(5, 3)).release().perform()
                text = driver.find_element("id", "selection").text
                links = [a.get_attribute("href") for a in driver.find_elements("css selector", "#selection a")]
                if ("export FILE -o part.png --start 1.2 --width-bits 4 --stride-bits 8 --rows 3" not in text or
                        "cut FILE -o part.bin --start 1 --count 3" not in text or len(links) != 2):
                    fail("a dragged rectangle: %r" % text)
                else:
                    import urllib.request
                    picture = Image.open(io.BytesIO(urllib.request.urlopen(links[0]).read())).convert("L")
                    want = exported("--start 1.2 --width-bits 4 --stride-bits 8", 3)
                    if picture.tobytes() != want.tobytes():
                        fail("the rectangle's picture differs from its export")
                    if urllib.request.urlopen(links[1]).read() != open(data, "rb").read()[1:4]:
                        fail("the rectangle's bytes differ from its cut")
                # The viewer's title of a view it can show, read back by view --state.
                shown(driver, "start=32.0&width=16&zoom=8")
                title = driver.find_element("id", "title").text.replace("viewer: ", "")
                made = subprocess.run(runner + [cli, "view", data, "-o", os.path.join(work, "v.png"), "--state", title],
                                      capture_output=True)
                if title != "Bitloupe, sprsize:2 disp:32 zoom:8" or made.returncode != 0:
                    fail("the viewer's title: %r (view --state: %d)" % (title, made.returncode))
                # A click on the map inside the font's region shows the region.
                shown(driver, "start=0.0&width=24&zoom=2")
                WebDriverWait(driver, 30).until(lambda d: d.find_elements("css selector", "#regions li"))
                region = driver.execute_script("return mapInfo.regions[0];")
                block, columns = driver.execute_script("return [mapInfo.block, mapInfo.columns];")
                middle = (region["start"] + region["end"]) // 2 // block
                picture = driver.find_element("id", "map")
                WebDriverWait(driver, 10).until(lambda d: d.execute_script("return document.getElementById('map').complete;"))
                scale_x = picture.size["width"] / columns
                ActionChains(driver).move_to_element_with_offset(
                    picture, int((middle % columns + 0.5) * scale_x) - picture.size["width"] // 2,
                    int((middle // columns + 0.5) * scale_x) - picture.size["height"] // 2).click().perform()
                got = driver.execute_script("return [start.value, width.value];")
                if got != ["%d.0" % region["start"], "8"] or not (region["start"] <= 16384 + 1024 and region["end"] >= 16384 + 3072):
                    fail("a click on the map's region %r: the view is %r" % (region, got))
                # The page as the README shows it (docs/explore.png is a copy):
                # the font as cells of 8 x 16, its map and regions, a search.
                shown(driver, "start=16384.0&tile=8x16&tiles=16&zoom=3&grid=true")
                WebDriverWait(driver, 30).until(lambda d: d.execute_script("return document.getElementById('map').complete;"))
                driver.save_screenshot(os.path.join(os.getcwd(), "explore-page.png"))
                # The search box finds a glyph of the font where it was put.
                letter = font[ord("A") * 16:ord("A") * 16 + 16]
                glyph = "/".join("".join("#" if b >> (7 - i) & 1 else "." for i in range(8)) for b in letter)
                box = driver.find_element("id", "glyph")
                box.send_keys(glyph + Keys.ENTER)
                WebDriverWait(driver, 30).until(lambda d: d.find_elements("css selector", "#matches li"))
                places = [e.get_attribute("data-start") for e in driver.find_elements("css selector", "#matches li")]
                if "%d.0" % (16384 + ord("A") * 16) not in places:
                    fail("the search box: %r" % places[:5])
        finally:
            driver.quit()

    # Firefox (no driver): its headless screenshot of a view shows the picture.
    firefox = shutil.which("firefox-esr") or shutil.which("firefox")
    if firefox:
        shot = os.path.join(work, "firefox.png")
        profile = tempfile.mkdtemp()
        subprocess.run([firefox, "--headless", "--no-remote", "--profile", profile, "--window-size=900,700",
                        "--screenshot", shot, address + "#start=0.0&width=8&zoom=4"],
                       capture_output=True, timeout=120)
        want = exported("--start 0.0 --width-bits 8", 20)
        if not os.path.exists(shot):
            fail("no Firefox screenshot")
        else:
            page = Image.open(shot).convert("L")
            # The canvas's place on the page: its pixels alone are black or
            # white (the page's own greys are neither).
            left = next((x for x in range(page.width) if page.getpixel((x, 0)) in (0, 255)), None)
            wrong = 0 if left is None else sum(
                1 for y in range(0, 20 * 4, 2) for x in range(0, 32, 2)
                if page.getpixel((left + x, y)) != want.getpixel((x // 4, y // 4)))
            if left is None or wrong:
                fail("the Firefox screenshot: %s pixels differ" % wrong)
finally:
    server.terminate()
    server.wait(timeout=30)

print("all passed" if not failures else "%d failed" % len(failures))
sys.exit(1 if failures else 0)

#!/usr/bin/env python3
"""The explore page in headless Chromium: from a key press (Down, a row) to
the new picture on the page, measured in the page, for a view of 80 bytes a
row at zoom 1 (481 rows), on a 1 KiB file (the floor), on 256 MiB of random
bytes and on a 16 GiB sparse file, in turns; then the server's peak memory
with the 16 GiB file open in three tabs, each stepping. Prints medians in the
benchmarks' form; asserts nothing.

    bench/run_explore_bench.py CLI [RUNS]
"""
import os
import re
import shutil
import statistics
import subprocess
import sys
import tempfile

from selenium import webdriver
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.keys import Keys
from selenium.webdriver.support.ui import WebDriverWait

cli = sys.argv[1]
runs = int(sys.argv[2]) if len(sys.argv) > 2 else 5
work = tempfile.mkdtemp()
files = {"1 KiB": os.path.join(work, "small.bin"), "256 MiB": os.path.join(work, "random.bin"),
         "16 GiB sparse": os.path.join(work, "sparse.bin")}
with open(files["1 KiB"], "wb") as f:
    f.write(os.urandom(1024))
with open(files["256 MiB"], "wb") as f:
    for _ in range(256):
        f.write(os.urandom(1 << 20))
with open(files["16 GiB sparse"], "wb") as f:
    f.truncate(16 << 30)
    f.seek((16 << 30) - 1024)
    f.write(os.urandom(1024))
subprocess.run(["cat"] + list(files.values()), stdout=subprocess.DEVNULL)  # in the page cache


def start(path):
    server = subprocess.Popen([cli, "explore", path, "--no-open"], stdout=subprocess.PIPE,
                              stderr=subprocess.DEVNULL, text=True)
    return server, re.search(r"http://\S+/", server.stdout.readline()).group(0)


def browser():
    options = webdriver.ChromeOptions()
    for argument in ("--headless=new", "--no-sandbox", "--disable-gpu", "--force-device-scale-factor=1"):
        options.add_argument(argument)
    options.binary_location = shutil.which("chromium")
    driver = webdriver.Chrome(service=Service(executable_path=shutil.which("chromedriver")), options=options)
    # A page of exactly 481 rows at zoom 1.
    driver.execute_cdp_cmd("Emulation.setDeviceMetricsOverride",
                           {"width": 1000, "height": 481, "deviceScaleFactor": 1, "mobile": False})
    return driver


def steps(driver, address, count, from_end=False):
    """The times of `count` steps of a row (ms), measured by the page."""
    driver.get(address + "#start=0.0&width=640&zoom=1")
    driver.refresh()
    WebDriverWait(driver, 30).until(lambda d: d.execute_script("return document.getElementById('view').dataset.drawn;"))
    body = driver.find_element("tag name", "body")
    if from_end:  # the last rows of the file
        body.send_keys(Keys.END)
        body.send_keys(Keys.PAGE_UP)
    times = []
    for _ in range(count):
        driver.execute_script("delete document.body.dataset.step;")
        body.send_keys(Keys.ARROW_UP if from_end else Keys.ARROW_DOWN)
        WebDriverWait(driver, 30).until(lambda d: d.execute_script("return document.body.dataset.step;"))
        times.append(float(driver.execute_script("return document.body.dataset.step;")))
    rows = driver.execute_script("return document.getElementById('view').height;")
    return times, rows


servers = {name: start(path) for name, path in files.items()}
driver = browser()
samples = {name: [] for name in files}
rows = 0
try:
    for _ in range(runs):
        for name, (server, address) in servers.items():
            times, rows = steps(driver, address, 5, from_end=name == "16 GiB sparse")
            samples[name].append(statistics.median(times))
    print("== explore page (Chromium, headless, host build)")
    floor = statistics.median(samples["1 KiB"])
    print("(a view of 80 bytes x %d rows at zoom 1)" % rows)
    for name in ("256 MiB", "16 GiB sparse"):
        print("%-48s %12.2f %s" % ("explore step, %s file" % name, statistics.median(samples[name]), "ms"))
        print("%-48s %12.2f %s" % ("  floor: explore step, 1 KiB file (%s)" % name, floor, "ms"))
    # Three tabs on the 16 GiB file, each stepping; the server's peak memory.
    server, address = servers["16 GiB sparse"]
    tabs = [browser() for _ in range(3)]
    for tab in tabs:
        steps(tab, address, 10, from_end=True)
    for tab in tabs:
        tab.quit()
    peak = [int(line.split()[1]) for line in open("/proc/%d/status" % server.pid) if line.startswith("VmHWM")][0]
    print("%-48s %12.2f %s" % ("explore server, 16 GiB, three tabs, peak", peak / 1024, "MiB"))
    print("%-48s %12.2f %s" % ("  floor: the most explore may use", 64, "MiB"))
finally:
    driver.quit()
    for server, _ in servers.values():
        server.terminate()
        server.wait(timeout=30)
    shutil.rmtree(work)

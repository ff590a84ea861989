#!/usr/bin/env python3
"""bitloupe-cli explore from outside: its page and pictures, and what it
refuses. Starts the program (the native build, or the Windows build under
Wine with a runner), reads the address it prints, and as a client checks:
the page and the file's size; the strips against export of the same bytes
and layout, pixel for pixel; 403 and nothing else without the token, with
another token or Host, for other methods; too long and malformed requests;
a thousand requests at once and clients that stall or vanish, after which it
still answers (and, natively, its memory stays under 64 MiB).

    cli_explore.py CLI [RUNNER...]
"""
import os
import random
import re
import socket
import subprocess
import sys
import tempfile
import threading
import urllib.error
import urllib.request

from PIL import Image

cli, runner = sys.argv[1], sys.argv[2:]
failures = []


def fail(what):
    failures.append(what)
    print("FAIL: " + what)


work = tempfile.mkdtemp()
data = os.path.join(work, "data.bin")
rng = random.Random(21)
with open(data, "wb") as f:
    f.write(bytes(rng.randrange(256) for _ in range(6000)))

server = subprocess.Popen(runner + [cli, "explore", data, "--no-open"], stdout=subprocess.PIPE,
                          stderr=subprocess.PIPE, text=True)
line = server.stdout.readline()
match = re.search(r"http://127\.0\.0\.1:(\d+)/([0-9a-f]{32})/", line)
if not match:
    print("FAIL: no address in " + repr(line) + " " + server.stderr.read())
    server.kill()
    sys.exit(1)
address, port, token = match.group(0), int(match.group(1)), match.group(2)


def get(path, host=None, method="GET"):
    """(status, body) of a request for `path` (after the address)."""
    request = urllib.request.Request(address + path, method=method)
    if host:
        request.add_header("Host", host)
    try:
        with urllib.request.urlopen(request, timeout=30) as answer:
            return answer.status, answer.read()
    except urllib.error.HTTPError as error:
        return error.code, error.read()


def raw(text, timeout=10):
    """The first line of the answer to bytes sent as they are."""
    with socket.create_connection(("127.0.0.1", port), timeout=timeout) as s:
        s.sendall(text)
        answer = b""
        while b"\r\n" not in answer:
            piece = s.recv(4096)
            if not piece:
                break
            answer += piece
        return answer.split(b"\r\n")[0].decode("latin-1")


try:
    status, page = get("")
    if status != 200 or b"<canvas" not in page:
        fail("the page: %d" % status)
    if get("info") != (200, b'{"size": 6000}'):
        fail("info: %r" % (get("info"),))
    if get("byte?at=5999")[1] != ('{"at": 5999, "value": %d}' % open(data, "rb").read()[5999]).encode():
        fail("byte 5999")

    # The strips against export, pixel for pixel.
    layouts = [
        ("start=0&width=8&rows=100", "--start 0 --width-bits 8 --rows 100"),
        ("start=3.5&width=13&rows=40&lsb=1", "--start 3.5 --width-bits 13 --rows 40 --lsb"),
        ("start=7&width=12&rows=30&stride=20", "--start 7 --width-bits 12 --rows 30 --stride-bits 20"),
        ("start=0&width=16&rows=24&vertical=1", "--start 0 --width-bits 16 --rows 24 --vertical"),
        ("start=100.2&width=9&rows=50&invert=1&bottom_up=1", "--start 100.2 --width-bits 9 --rows 50 --invert --bottom-up"),
        ("start=0&tile=8x8&tiles=16&rows=32", "--start 0 --tile 8x8 --tiles-per-row 16 --rows 32"),
        ("start=5&tile=5x8&tiles=6&rows=16&vertical=1&lsb=1", "--start 5 --tile 5x8 --tiles-per-row 6 --rows 16 --vertical --lsb"),
        ("start=5990&width=64&rows=4", "--start 5990 --width-bits 64 --rows 4"),
    ]
    for query, options in layouts:
        status, png = get("strip.png?" + query)
        strip = os.path.join(work, "strip.png")
        exported = os.path.join(work, "export.png")
        with open(strip, "wb") as f:
            f.write(png)
        made = subprocess.run(runner + [cli, "export", data, "-o", exported] + options.split(), capture_output=True)
        if status != 200 or made.returncode != 0:
            fail("%s: strip %d, export %d" % (query, status, made.returncode))
            continue
        a, b = Image.open(strip), Image.open(exported)
        if a.size != b.size or a.tobytes() != b.tobytes():
            fail("%s: the strip differs from export %s" % (query, options))
    if get("stripXpng?rows=1")[0] != 404:
        fail("a route's dot matches any character")
    if get("strip.png?width=0")[0] != 400 or get("strip.png?tile=8x8&width=8&rows=99999")[0] != 400:
        fail("strips out of range are not refused")

    # 403 and nothing else.
    host = b"Host: 127.0.0.1:%d\r\n" % port
    for what, path in {"no token": b"/", "another token": b"/" + b"0" * 32 + b"/info",
                       "the token without its slash": b"/" + token.encode()}.items():
        answer = raw(b"GET " + path + b" HTTP/1.1\r\n" + host + b"Connection: close\r\n\r\n")
        if not answer.startswith("HTTP/1.1 403"):
            fail("%s: %s" % (what, answer))
    for what, (status, body) in {
        "another Host": get("", host="example.com"),
        "another Host (localhost)": get("", host="localhost:%d" % port),
        "POST": get("", method="POST"),
        "PUT": get("", method="PUT"),
        "DELETE": get("info", method="DELETE"),
    }.items():
        if status != 403 or body:
            fail("%s: %d %r" % (what, status, body[:40]))
    if not raw(b"GET /" + token.encode() + b"/" + b"x" * 9000 + b" HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n").startswith("HTTP/1.1 414"):
        fail("an over-long address is not refused")
    if not raw(b"GARBAGE\r\n\r\n").startswith("HTTP/1.1 400"):
        fail("a malformed request is not refused")

    # Clients that stall (half a request) or vanish (gone mid-request), then
    # a thousand requests at once: every one answered, the server still up.
    stalled = [socket.create_connection(("127.0.0.1", port)) for _ in range(8)]
    for s in stalled:
        s.sendall(b"GET /" + token.encode() + b"/info HTTP/1.1\r\nHo")
    for _ in range(8):
        s = socket.create_connection(("127.0.0.1", port))
        s.sendall(b"GET /" + token.encode() + b"/strip.png?rows=4096&width=4096 HTTP/1.1\r\nHost: 127.0.0.1:%d\r\n\r\n" % port)
        s.close()
    answers = []

    def one(i):
        answers.append(get("strip.png?start=%d&width=64&rows=64" % (i % 700))[0])

    threads = [threading.Thread(target=one, args=(i,)) for i in range(1000)]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    for s in stalled:
        s.close()
    if answers.count(200) != 1000:
        fail("a thousand at once: %d answered 200" % answers.count(200))
    if get("info")[0] != 200:
        fail("no answer after the thousand")
    # Natively, and without the sanitizers, whose own memory would count too.
    if not runner and not os.environ.get("BITLOUPE_SANITIZED"):
        rss = [int(l.split()[1]) for l in open("/proc/%d/status" % server.pid) if l.startswith("VmHWM")][0]
        if rss > 64 * 1024:
            fail("peak memory %d KiB" % rss)
        print("peak memory %d KiB" % rss)
finally:
    server.terminate()
    server.wait(timeout=30)

# Without --no-open the address goes to the default browser: here an
# xdg-open of the test's own, which writes down what it was given.
if not runner:
    opened = os.path.join(work, "opened.txt")
    bin_dir = os.path.join(work, "bin")
    os.mkdir(bin_dir)
    with open(os.path.join(bin_dir, "xdg-open"), "w") as f:
        f.write('#!/bin/sh\nprintf %%s "$1" >"%s"\n' % opened)
    os.chmod(os.path.join(bin_dir, "xdg-open"), 0o755)
    environment = dict(os.environ, PATH=bin_dir + os.pathsep + os.environ["PATH"])
    opener = subprocess.Popen([cli, "explore", data], stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True,
                              env=environment)
    printed = re.search(r"http://\S+/", opener.stdout.readline())
    for _ in range(100):
        if os.path.exists(opened) and os.path.getsize(opened):
            break
        threading.Event().wait(0.05)
    opener.terminate()
    opener.wait(timeout=30)
    if not printed or not os.path.exists(opened) or open(opened).read() != printed.group(0):
        fail("the browser was not given the address")

print("all passed" if not failures else "%d failed" % len(failures))
sys.exit(1 if failures else 0)

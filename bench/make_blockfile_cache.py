#!/usr/bin/env python3
"""Has Debian's chromium write a real block-file cache for the entry-listing benchmark.

make_blockfile_cache.py ROOT [ENTRIES] [MOVIES]: a loopback page fetch()es ENTRIES responses (default 20000),
MOVIES of them (default 150) Flash movies, and chromium, run headless with its block-file backend
(--enable-features=DiskCacheBackendExperiment:backend/blockfile), caches them; the cache ends up in
ROOT/chromium/Default/Cache/Cache_Data. The responses are sized as a browser cache's are: most of a few KiB
(kept in data_1 to data_3), about one in seven over 16 KiB (kept in f_xxxxxx files); one in ten gzip-encoded,
one in thirty a 404. Movies: plain, gzip, and over 16 KiB. Deterministic contents. Prints the number of movies
the cache holds on standard output.
"""
import gzip
import http.server
import json
import os
import random
import shutil
import struct
import subprocess
import sys
import tempfile
import threading

root = sys.argv[1]
entries = int(sys.argv[2]) if len(sys.argv) > 2 else 20000
movie_count = int(sys.argv[3]) if len(sys.argv) > 3 else 150


def movie(seed, padding):
    """A small valid movie: header, a background colour, a DefineBinaryData of `padding` bytes, the end."""
    rng = random.Random(seed)
    rect = bytes([0x50, 0x00, 0x0F, 0xA0, 0x00, 0x00, 0x0B, 0xB8, 0x00])  # 5-bit fields, 0..8000 x 0..6000 twips
    tags = struct.pack("<H", (9 << 6) | 3) + bytes(rng.randrange(256) for _ in range(3))
    if padding:
        body = struct.pack("<HI", 1, 0) + rng.randbytes(padding)
        tags += struct.pack("<HI", (87 << 6) | 0x3F, len(body)) + body
    tags += struct.pack("<H", 1 << 6) + struct.pack("<H", 0)
    frame = rect + struct.pack("<HH", 12 << 8, 1)
    return b"FWS\x0a" + struct.pack("<I", 8 + len(frame) + len(tags)) + frame + tags


def plan():
    rng = random.Random(20261208)
    routes = {}
    movies = set(rng.sample(range(entries), movie_count))
    for number in range(entries):
        path = "/r/%05d" % number
        if number in movies:
            kind = len([m for m in movies if m < number]) % 3
            body = movie(number, [200, 900, 30000][kind])
            routes[path + ".swf"] = (200, "application/x-shockwave-flash", body, kind == 1)
            continue
        size = rng.choice([rng.randrange(200, 4096)] * 6 + [rng.randrange(4096, 16384)] * 2
                          + [rng.randrange(17000, 65536)])
        if rng.randrange(30) == 0:
            routes[path + ".swf"] = (404, "text/html", b"<html><body>Not found</body></html>", False)
        elif rng.randrange(10) == 0:
            text = (b"function f%d(){return %d;}\n" % (number, number)) * (size // 24 + 1)
            routes[path + ".js"] = (200, "text/javascript", text[:size], True)
        else:
            routes[path + ".png"] = (200, "image/png", rng.randbytes(size), False)
    return routes


routes = plan()
done = threading.Event()


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, *args):
        pass

    def do_GET(self):
        if self.path == "/":
            page = ("<!DOCTYPE html><html><body><script>\n"
                    "fetch('list').then(r => r.json()).then(async list => {\n"
                    "  for (let i = 0; i < list.length; i += 48)\n"
                    "    await Promise.all(list.slice(i, i + 48).map(u => fetch(u).then(r => r.arrayBuffer())));\n"
                    "}).finally(() => fetch('done'));\n"
                    "</script><img src='gate'></body></html>").encode()
            return self.answer(200, "text/html", page, False, "no-store")
        if self.path == "/list":
            return self.answer(200, "application/json", json.dumps(sorted(routes)).encode(), False, "no-store")
        if self.path == "/done":
            done.set()
            return self.answer(200, "text/plain", b"done", False, "no-store")
        if self.path == "/gate":
            done.wait(600)
            return self.answer(200, "image/gif", b"GIF89a\x01\x00\x01\x00\x00\x00\x00;", False, "no-store")
        if self.path not in routes:
            return self.answer(404, "text/plain", b"", False, "no-store")
        status, kind, body, packed = routes[self.path]
        self.answer(status, kind, gzip.compress(body, 6, mtime=0) if packed else body, packed, "max-age=86400")

    def answer(self, status, kind, body, packed, cache):
        self.send_response(status)
        self.send_header("Content-Type", kind)
        self.send_header("Content-Length", str(len(body)))
        self.send_header("Cache-Control", cache)
        if packed:
            self.send_header("Content-Encoding", "gzip")
        self.end_headers()
        self.wfile.write(body)


server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
threading.Thread(target=server.serve_forever, daemon=True).start()
url = "http://127.0.0.1:%d/" % server.server_address[1]
with tempfile.TemporaryDirectory() as scratch:
    home = os.path.join(scratch, "home")
    os.makedirs(home)
    cache = os.path.join(root, "chromium")
    environment = {"HOME": home, "PATH": "/usr/bin:/bin", "LANG": "C.UTF-8"}
    subprocess.run(["chromium", "--headless=new", "--no-sandbox", "--user-data-dir=" + os.path.join(scratch, "profile"),
                    "--disk-cache-dir=" + cache, "--disk-cache-size=2000000000", "--virtual-time-budget=3000",
                    "--enable-features=DiskCacheBackendExperiment:backend/blockfile",
                    "--disable-background-networking", "--disable-component-update", "--disable-sync",
                    "--no-first-run", "--disable-gpu", "--disable-quic", "--dump-dom", url],
                   env=environment, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=900, check=True)
server.shutdown()
# Only the cache stays: what else the browser keeps beside it is not part of the tree.
for name in os.listdir(os.path.join(root, "chromium", "Default", "Cache")):
    if name != "Cache_Data":
        shutil.rmtree(os.path.join(root, "chromium", "Default", "Cache", name), ignore_errors=True)
print(sum(1 for path in routes if path.endswith(".swf") and routes[path][0] == 200))

#!/usr/bin/env python3
"""The window program's start as a user sees it, with a cache folder that holds large browser caches
against the same folder without them, runs alternating, under an X server of its own.

window_start.py [PLUMEROC] [RUNS]: builds two cache folders (1,000 plain movies in both; 20,000 Firefox
and 20,000 Chromium entries, 300 of them movies, in one, from bench/make_entry_cache.py), starts the
program on each with an empty home and times it from start until its window is on the screen (polling
xwininfo), medians. The entries are read after the window shows, so the two should be alike.
"""
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

here = os.path.dirname(os.path.abspath(__file__))
program = sys.argv[1] if len(sys.argv) > 1 else os.path.join(here, "..", "build", "bin", "plumeroc")
runs = int(sys.argv[2]) if len(sys.argv) > 2 else 9
display = ":87"

work = tempfile.mkdtemp(prefix="plumeroc-window-bench-")
home = os.path.join(work, "home")
os.makedirs(home)
for tree in ("with", "without"):
    for site in range(100):
        folder = os.path.join(work, tree, "site%d" % site)
        os.makedirs(folder)
        for movie in range(10):
            with open(os.path.join(folder, "movie%d.swf" % movie), "wb") as out:
                out.write(b"FWS movie %d/%d" % (site, movie))
subprocess.run([sys.executable, os.path.join(here, "make_entry_cache.py"), os.path.join(work, "with", "browsers"),
                "20000", "20000", "300"], check=True, stdout=subprocess.DEVNULL)

server = subprocess.Popen(["Xvfb", display, "-screen", "0", "1280x1024x24"], stderr=subprocess.DEVNULL)
time.sleep(1)


def shown():
    tree = subprocess.run(["xwininfo", "-root", "-tree"], env={"DISPLAY": display}, capture_output=True, text=True)
    return any('"Plumeroc"' in line for line in tree.stdout.splitlines())


def start(cache):
    env = dict(os.environ, DISPLAY=display, HOME=home, XDG_CACHE_HOME=cache, QT_QPA_PLATFORM="xcb")
    began = time.perf_counter()
    child = subprocess.Popen([program], env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    while not shown() and time.perf_counter() - began < 30:
        time.sleep(0.005)
    elapsed = (time.perf_counter() - began) * 1000
    child.terminate()
    child.wait()
    return elapsed


try:
    times = {"without": [], "with": []}
    start(os.path.join(work, "without"))  # warm the file system cache and the program's files
    start(os.path.join(work, "with"))
    for _ in range(runs):
        for tree in ("without", "with"):
            times[tree].append(start(os.path.join(work, tree)))
finally:
    server.terminate()
    shutil.rmtree(work)
with_caches, without = statistics.median(times["with"]), statistics.median(times["without"])
print("window on the screen, median of %d runs: without browser caches %.0f ms, with %.0f ms" % (
    runs, without, with_caches))
print("ratio with/without: %.2f (target: at most 1.10)" % (with_caches / without))

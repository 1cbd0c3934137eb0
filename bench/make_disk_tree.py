#!/usr/bin/env python3
"""Builds a tree shaped like a mounted old disk for the cache-walk benchmark.

make_disk_tree.py ROOT [FILES]: about FILES files (default 1,000,000) in about a tenth as many folders, laid out
as a Windows disk with several profiles (XP's "Documents and Settings", Vista to 11's "Users" with AppData),
next to the homes of an old Linux installation and a macOS user: system folders with thousands of small files
(Windows/WinSxS, System32, Program Files, usr/share), program sources with deep package trees, and in each
profile the browser caches of the Flash years by their names (Firefox's first cache and cache2, Chromium's
Simple Cache, Internet Explorer's Content.IE5 and INetCache). Cache files are empty or hold a few bytes: the
walk is timed, not the reading. About one file in 2,000 is a non-empty .swf movie, in mixed letter case.
Deterministic: the same arguments give the same tree. Prints "FOLDERS FILES MOVIES" when done.
"""
import os
import random
import stat
import sys

root = sys.argv[1]
wanted = int(sys.argv[2]) if len(sys.argv) > 2 else 1_000_000
rng = random.Random(20040701)
counts = {"folders": 0, "files": 0, "movies": 0}


def folder(path):
    os.makedirs(path, exist_ok=True)
    counts["folders"] += 1
    return path


def empty(path):
    # mknod makes an empty regular file without an open and a close: a million of them take seconds, not minutes.
    os.mknod(path, 0o644 | stat.S_IFREG)
    counts["files"] += 1


def movie(path):
    with open(path, "wb") as f:
        f.write(b"FWS\x0a" + bytes(rng.randrange(20, 3000)))
    counts["files"] += 1
    counts["movies"] += 1


def name(length=8, alphabet="abcdefghijklmnopqrstuvwxyz0123456789"):
    return "".join(rng.choice(alphabet) for _ in range(length))


def fill(path, files, movie_every=2000):
    """`files` files in `path`, one in about `movie_every` a movie."""
    for i in range(files):
        if rng.randrange(movie_every) == 0:
            movie(os.path.join(path, "%s.%s" % (name(), rng.choice(["swf", "SWF", "Swf"]))))
        else:
            empty(os.path.join(path, "%s%s" % (name(), rng.choice([".dll", ".mui", ".js", ".png", ".txt", ".manifest", ""]))))


def tree(path, files, fanout, depth):
    """A bushy tree of `files` files below `path`, `fanout` subfolders a level, `depth` levels."""
    folder(path)
    here = files if depth == 0 else files // (fanout + 1)
    fill(path, here)
    if depth == 0:
        return
    rest = files - here
    for i in range(fanout):
        tree(os.path.join(path, name(6)), rest // fanout, fanout, depth - 1)


def browser_caches(profile_local, profile_roaming):
    """The caches of one profile, by the names the formats know them by."""
    ff = folder(os.path.join(profile_local, "Mozilla/Firefox/Profiles/%s.default" % name()))
    cache1 = folder(os.path.join(ff, "Cache"))
    for n in ["_CACHE_MAP_", "_CACHE_001_", "_CACHE_002_", "_CACHE_003_"]:
        empty(os.path.join(cache1, n))
    for i in range(16):
        sub = folder(os.path.join(cache1, "%X/%02X" % (i, rng.randrange(256))))
        empty(os.path.join(sub, "%05Xd01" % rng.getrandbits(20)))
    entries = folder(os.path.join(ff, "cache2/entries"))
    for i in range(300):
        empty(os.path.join(entries, "%040X" % rng.getrandbits(160)))
    chrome = folder(os.path.join(profile_local, "Google/Chrome/User Data/Default/Cache/Cache_Data"))
    for i in range(300):
        empty(os.path.join(chrome, "%016x_0" % rng.getrandbits(64)))
    ie = folder(os.path.join(profile_local, "Microsoft/Windows/Temporary Internet Files/Content.IE5"))
    empty(os.path.join(ie, "index.dat"))
    for i in range(4):
        sub = folder(os.path.join(ie, name(8, "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789")))
        fill(sub, 60, 20)
    inet = folder(os.path.join(profile_local, "Microsoft/Windows/INetCache/IE"))
    for i in range(4):
        fill(folder(os.path.join(inet, name(8, "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789"))), 60, 20)
    roaming = folder(os.path.join(profile_roaming, "Mozilla/Firefox/Profiles/%s.default" % name()))
    fill(roaming, 40, 10**9)


os.makedirs(root, exist_ok=True)
# Profiles: Vista to 11, XP, an old Linux, a macOS user; their caches and their documents.
for user in ["alice", "bob", "carol", "dave"]:
    home = os.path.join(root, "Users", user)
    browser_caches(os.path.join(home, "AppData/Local"), os.path.join(home, "AppData/Roaming"))
    tree(os.path.join(home, "Documents"), wanted // 50, 6, 3)
    tree(os.path.join(home, "AppData/Local/Temp"), wanted // 100, 5, 2)
for user in ["Administrator", "erin"]:
    home = os.path.join(root, "Documents and Settings", user)
    browser_caches(os.path.join(home, "Local Settings/Application Data"), os.path.join(home, "Application Data"))
    tree(os.path.join(home, "My Documents"), wanted // 100, 5, 3)
for user in ["frank"]:
    home = os.path.join(root, "home", user)
    browser_caches(os.path.join(home, ".cache"), os.path.join(home, ".mozilla"))
    tree(os.path.join(home, "src"), wanted // 10, 8, 4)  # program sources with deep package trees
browser_caches(os.path.join(root, "Users/grace/Library/Caches"), os.path.join(root, "Users/grace/Library/Application Support"))

# The system's folders take the rest, most of them the many small files of Windows' component store.
left = wanted - counts["files"]
tree(os.path.join(root, "Windows/WinSxS"), left * 4 // 10, 40, 2)
tree(os.path.join(root, "Windows/System32"), left // 10, 20, 2)
tree(os.path.join(root, "Program Files"), left * 2 // 10, 12, 3)
tree(os.path.join(root, "Program Files (x86)"), left // 10, 12, 3)
tree(os.path.join(root, "usr/share"), wanted - counts["files"], 15, 3)

print(counts["folders"], counts["files"], counts["movies"])

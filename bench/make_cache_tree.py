#!/usr/bin/env python3
"""Builds a synthetic browser cache tree for the cache-walk benchmark.

make_cache_tree.py ROOT [FOLDERS] [ENTRIES]: FOLDERS folders (about one in twenty hidden) holding
ENTRIES entries in all, folders included; about 2 % of the files are non-empty .swf movies in
mixed letter case, some .swf files are empty, the rest are other cache files. A few files lie in
ROOT itself. Deterministic: the same arguments give the same tree.
"""
import os
import random
import sys

root = sys.argv[1]
folders = int(sys.argv[2]) if len(sys.argv) > 2 else 5000
entries = int(sys.argv[3]) if len(sys.argv) > 3 else 100000
rng = random.Random(20261207)

os.makedirs(root, exist_ok=True)
paths = [root]
for i in range(folders):
    # Prefer recent folders as parents: a bushy tree a few levels deep, as caches are.
    parent = paths[max(0, len(paths) - 1 - int(rng.expovariate(1 / 40)))] if rng.random() < 0.7 else root
    name = ("." if rng.random() < 0.05 else "") + "%08X" % rng.getrandbits(32)
    path = os.path.join(parent, name)
    os.mkdir(path)
    paths.append(path)

files = entries - folders
movies = empty_movies = 0
for i in range(files):
    folder = paths[1 + rng.randrange(folders)] if i >= 20 else root
    r = rng.random()
    if r < 0.021:
        name, size = "m%06d.%s" % (i, rng.choice(["swf", "SWF", "Swf"])), rng.randrange(1, 4000)
        movies += 1
    elif r < 0.024:
        name, size = "e%06d.swf" % i, 0
        empty_movies += 1
    else:
        name, size = "f%06d%s" % (i, rng.choice(["", ".js", ".png", ".html", ".swf.tmp"])), rng.choice([0, 0, 50, 300])
    with open(os.path.join(folder, name), "wb") as f:
        f.write(b"x" * size)

print("tree %s: %d folders, %d files, %d non-empty movies, %d empty movies" % (
    root, folders, files, movies, empty_movies), file=sys.stderr)

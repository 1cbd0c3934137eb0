#!/usr/bin/env python3
"""Builds a browser cache tree for the entry-reading benchmark from entries real browsers wrote.

make_entry_cache.py ROOT [FIREFOX] [CHROMIUM] [MOVIES]: FIREFOX Firefox cache2 entries (default 20000) in
ROOT/mozilla/firefox/bench.default/cache2/entries and CHROMIUM Chromium Simple Cache entries (default 20000)
in ROOT/chromium/Default/Cache/Cache_Data, MOVIES of them (default 300, half of each browser) holding movies.
Each is a copy of one of the entries firefox-esr and chromium wrote for the fuzz corpus
(tests/cache/fuzz/corpus-firefox_entry, corpus-chromium_entry), under a new key (a new address) and so a new name; the checksums the browsers
keep over the key and metadata are recomputed, the bodies and responses are kept. Deterministic. Prints the
number of movies on standard output.
"""
import hashlib
import os
import random
import struct
import sys

root = sys.argv[1]
firefox_count = int(sys.argv[2]) if len(sys.argv) > 2 else 20000
chromium_count = int(sys.argv[3]) if len(sys.argv) > 3 else 20000
movie_count = int(sys.argv[4]) if len(sys.argv) > 4 else 300
corpus = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "cache", "fuzz")
rng = random.Random(20261207)
MASK = 0xFFFFFFFF
MOVIES = ("plain-movie", "gzip-movie", "movie-without-suffix", "content-disposition-movie")


def templates(browser):
    folder = os.path.join(corpus, "corpus-%s_entry" % browser)
    found = {name: open(os.path.join(folder, name), "rb").read() for name in sorted(os.listdir(folder))}
    movies = [found[name] for name in MOVIES]
    others = [data for name, data in found.items() if name not in MOVIES]
    return movies, others


def jenkins(data):
    """Firefox's CacheHash::Hash (Bob Jenkins' lookup2), initial value 0."""
    def mix(a, b, c):
        a = (a - b - c) & MASK; a ^= c >> 13
        b = (b - c - a) & MASK; b ^= (a << 8) & MASK
        c = (c - a - b) & MASK; c ^= b >> 13
        a = (a - b - c) & MASK; a ^= c >> 12
        b = (b - c - a) & MASK; b ^= (a << 16) & MASK
        c = (c - a - b) & MASK; c ^= b >> 5
        a = (a - b - c) & MASK; a ^= c >> 3
        b = (b - c - a) & MASK; b ^= (a << 10) & MASK
        c = (c - a - b) & MASK; c ^= b >> 15
        return a, b, c
    a = b = 0x9E3779B9
    c = 0
    at = 0
    while len(data) - at >= 12:
        x, y, z = struct.unpack_from("<III", data, at)
        a, b, c = mix((a + x) & MASK, (b + y) & MASK, (c + z) & MASK)
        at += 12
    c = (c + len(data)) & MASK
    for i, byte in enumerate(data[at:]):
        if i < 4:
            a = (a + (byte << (8 * i))) & MASK
        elif i < 8:
            b = (b + (byte << (8 * (i - 4)))) & MASK
        else:
            c = (c + (byte << (8 * (i - 7)))) & MASK
    return mix(a, b, c)[2]


def super_fast_hash(data):
    """Chromium's base::PersistentHash (Paul Hsieh's SuperFastHash), odd bytes signed."""
    if not data:
        return 0
    h = len(data)
    at = 0
    for _ in range(len(data) // 4):
        h = (h + (data[at] | data[at + 1] << 8)) & MASK
        tmp = (((data[at + 2] | data[at + 3] << 8) << 11) ^ h) & MASK
        h = ((h << 16) ^ tmp) & MASK
        h = (h + (h >> 11)) & MASK
        at += 4
    signed = lambda byte: byte - 256 if byte > 127 else byte
    rest = len(data) % 4
    if rest == 3:
        h = (h + (data[at] | data[at + 1] << 8)) & MASK
        h ^= (h << 16) & MASK
        h ^= (signed(data[at + 2]) << 18) & MASK
        h = (h + (h >> 11)) & MASK
    elif rest == 2:
        h = (h + (data[at] | data[at + 1] << 8)) & MASK
        h ^= (h << 11) & MASK
        h = (h + (h >> 17)) & MASK
    elif rest == 1:
        h = (h + signed(data[at])) & MASK
        h ^= (h << 10) & MASK
        h = (h + (h >> 1)) & MASK
    for shift, left in ((3, True), (5, False), (4, True), (17, False), (25, True), (6, False)):
        h = (h ^ (h << shift)) & MASK if left else (h + (h >> shift)) & MASK
    return h


def address(index, movie):
    site = "http://site%d.example" % (index % 997)
    if movie:
        return site, "%s/games/%d/play-%d.swf" % (site, index, index)
    return site, "%s/assets/%d/%s" % (site, index, rng.choice(["app.js", "logo.png", "style.css", "", "api?x=1"]))


def firefox_entry(template, new_address):
    """Same body and elements, a new key: Firefox 153 ends with [version 4][offset], older ones with [offset]."""
    two_words = struct.unpack(">I", template[-8:-4])[0] == 4
    end = len(template) - (8 if two_words else 4)
    offset = struct.unpack(">I", template[-4:])[0]
    hashes = (offset + 262143) // 262144
    header = offset + 4 + 2 * hashes
    key_length = struct.unpack_from(">I", template, header + 24)[0]
    key_at = header + 32
    key = template[key_at:key_at + key_length]
    new_key = key[:key.index(b",:") + 2] + new_address.encode()
    metadata = bytearray(template[offset + 4:header + 24]) + struct.pack(">I", len(new_key)) + \
        template[header + 28:key_at] + new_key + template[key_at + key_length:end]
    data = template[:offset] + struct.pack(">I", jenkins(bytes(metadata))) + bytes(metadata) + template[end:]
    return hashlib.sha1(new_key).hexdigest().upper(), data


def chromium_entry(template, new_key):
    """Same streams, a new key: its length, hash and (when kept) SHA-256 follow it."""
    key_length = struct.unpack_from("<I", template, 12)[0]
    flags = struct.unpack_from("<I", template, len(template) - 24 + 8)[0]
    rest = bytearray(template[24 + key_length:])
    if flags & 2:
        rest[-24 - 32:-24] = hashlib.sha256(new_key).digest()
    header = template[:12] + struct.pack("<II", len(new_key), super_fast_hash(new_key)) + template[20:24]
    name = "%016x_0" % struct.unpack("<Q", hashlib.sha1(new_key).digest()[:8])[0]
    return name, header + new_key + bytes(rest)


def write(folder, name, data, used):
    if name in used:
        raise SystemExit("name collision: " + name)
    used.add(name)
    with open(os.path.join(folder, name), "wb") as f:
        f.write(data)


firefox_folder = os.path.join(root, "mozilla", "firefox", "bench.default", "cache2", "entries")
chromium_folder = os.path.join(root, "chromium", "Default", "Cache", "Cache_Data")
os.makedirs(firefox_folder, exist_ok=True)
os.makedirs(os.path.join(chromium_folder, "index-dir"), exist_ok=True)
open(os.path.join(chromium_folder, "index"), "wb").close()
open(os.path.join(chromium_folder, "index-dir", "the-real-index"), "wb").close()

movies_written = 0
browsers = (("firefox", firefox_count, firefox_folder), ("chromium", chromium_count, chromium_folder))
for browser, count, folder in browsers:
    movie_templates, other_templates = templates(browser)
    movie_share = movie_count // 2
    movie_indexes = set(rng.sample(range(count), min(movie_share, count)))
    used = set()
    for index in range(count):
        movie = index in movie_indexes
        template = rng.choice(movie_templates if movie else other_templates)
        site, url = address(index + (0 if browser == "firefox" else 10 ** 7), movie)
        if browser == "firefox":
            name, data = firefox_entry(template, url)
        else:
            name, data = chromium_entry(template, ("1/0/_dk_%s %s %s" % (site, site, url)).encode())
        write(folder, name, data, used)
        movies_written += movie
print(movies_written)

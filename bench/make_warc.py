#!/usr/bin/python3
"""Writes a large .warc.gz of mixed records for the archive benchmarks, one gzip member per record as crawlers
write them: request and response records of pages, scripts and pictures, Flash movies among them (plain,
gzip-encoded and chunked), revisits of some movies; with --real, first the real WARC files of
../shared/data/archives/warc when that folder is there.

  make_warc.py OUTPUT SIZE_MIB [--movies N] [--seed S] [--real]
"""
import argparse
import gzip
import os
import random
import uuid

POOL = os.urandom(32 << 20)  # incompressible bytes: pictures and the bodies of compressed movies
WORDS = (b'flash game movie archive player level score embed object param swf crawl page link '
         b'the of and to in is for on with as by at from').split()


def text_pool():
    rng = random.Random(0)
    return b' '.join(rng.choice(WORDS) for _ in range(2 << 20))


TEXT = text_pool()  # about 12 MiB of words, sliced at random places: text that compresses as pages do


def text(rng, size):
    start = rng.randrange(0, len(TEXT) - size)
    return TEXT[start:start + size]


def noise(rng, size):
    start = rng.randrange(0, len(POOL) - size)
    return POOL[start:start + size]


def movie(rng, size):
    body = noise(rng, size - 8)
    return b'CWS\x0a' + (size * 3).to_bytes(4, 'little') + body


def chunked(body):
    out = []
    for at in range(0, len(body), 8192):
        piece = body[at:at + 8192]
        out.append(b'%x\r\n' % len(piece) + piece + b'\r\n')
    return b''.join(out) + b'0\r\n\r\n'


def member(fields, block):
    head = b'WARC/1.0\r\n' + b''.join(b'%s: %s\r\n' % (k, v) for k, v in fields)
    head += b'Content-Length: %d\r\n\r\n' % len(block)
    return gzip.compress(head + block + b'\r\n\r\n', compresslevel=1)


def response(url, date, status, headers, body):
    record_id = b'<urn:uuid:%s>' % str(uuid.uuid4()).encode()
    http = b'HTTP/1.1 %d OK\r\n' % status + b''.join(b'%s: %s\r\n' % h for h in headers) + b'\r\n'
    fields = [(b'WARC-Type', b'response'), (b'WARC-Record-ID', record_id), (b'WARC-Date', date),
              (b'WARC-Target-URI', url), (b'Content-Type', b'application/http; msgtype=response')]
    request = member([(b'WARC-Type', b'request'), (b'WARC-Date', date), (b'WARC-Target-URI', url),
                      (b'Content-Type', b'application/http; msgtype=request')],
                     b'GET / HTTP/1.1\r\nHost: example.org\r\nUser-Agent: bench\r\n\r\n')
    return request + member(fields, http + body), record_id


def revisit(url, date, refers_to):
    fields = [(b'WARC-Type', b'revisit'), (b'WARC-Date', date), (b'WARC-Target-URI', url),
              (b'WARC-Refers-To', refers_to),
              (b'WARC-Profile', b'http://netpreserve.org/warc/1.0/revisit/identical-payload-digest'),
              (b'Content-Type', b'application/http; msgtype=response')]
    return member(fields, b'HTTP/1.1 200 OK\r\nContent-Type: application/x-shockwave-flash\r\n\r\n')


def real_archives(out):
    folder = os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', '..', 'shared', 'data', 'archives',
                          'warc')
    written = 0
    for root, folders, names in os.walk(folder):
        folders.sort()
        for name in sorted(names):
            if name.endswith('.warc.gz'):
                with open(os.path.join(root, name), 'rb') as archive:
                    data = archive.read()
                out.write(data)
                written += len(data)
    return written


def write(path, size, movies, seed, real):
    rng = random.Random(seed)
    # One movie every `spacing` bytes on average, so that SIZE holds about `movies` of them.
    spacing = size // max(movies, 1)
    written = 0
    count = 0
    seen = []
    with open(path, 'wb') as out:
        if real:
            written += real_archives(out)
        next_movie = rng.randrange(spacing)
        n = 0
        while written < size:
            n += 1
            date = b'2009-%02d-%02dT%02d:%02d:%02dZ' % (rng.randrange(1, 13), rng.randrange(1, 29), rng.randrange(24),
                                                       rng.randrange(60), rng.randrange(60))
            if written >= next_movie:
                url = b'http://games.example.org/%d/game%d.swf' % (n % 97, n)
                body = movie(rng, rng.randrange(50 << 10, 2 << 20))
                headers = [(b'Content-Type', b'application/x-shockwave-flash')]
                kind = count % 4
                if kind == 1:
                    headers.append((b'Content-Encoding', b'gzip'))
                    body = gzip.compress(body, compresslevel=1)
                elif kind == 2:
                    headers.append((b'Transfer-Encoding', b'chunked'))
                    body = chunked(body)
                if kind != 2:
                    headers.append((b'Content-Length', b'%d' % len(body)))
                data, record_id = response(url, date, 200, headers, body)
                seen.append((url, record_id))
                count += 1
                next_movie += rng.randrange(spacing // 2, spacing * 3 // 2)
            elif seen and rng.random() < 0.02:
                url, record_id = rng.choice(seen)
                data = revisit(url, date, record_id)
            elif rng.random() < 0.7:
                # Pages, scripts and style sheets: most of what a crawl holds, and what gzip has work with.
                url = b'http://games.example.org/page%d.html' % n
                body = b'<html><body>' + text(rng, rng.randrange(10 << 10, 150 << 10)) + b'<embed src="g.swf"></html>'
                data, _ = response(url, date, 200, [(b'Content-Type', b'text/html'),
                                                    (b'Content-Length', b'%d' % len(body))], body)
            else:
                url = b'http://games.example.org/img%d.png' % n
                body = b'\x89PNG\r\n\x1a\n' + noise(rng, rng.randrange(10 << 10, 100 << 10))
                data, _ = response(url, date, 200, [(b'Content-Type', b'image/png'),
                                                    (b'Content-Length', b'%d' % len(body))], body)
            out.write(data)
            written += len(data)
    return count


def main():
    parser = argparse.ArgumentParser(description=__doc__.split('\n\n')[0])
    parser.add_argument('output')
    parser.add_argument('size_mib', type=int)
    parser.add_argument('--movies', type=int, default=300)
    parser.add_argument('--seed', type=int, default=1)
    parser.add_argument('--real', action='store_true', help='the real archives of ../shared/data first')
    args = parser.parse_args()
    count = write(args.output, args.size_mib << 20, args.movies, args.seed, args.real)
    print('%s: %d MiB, %d movie records' % (args.output, os.path.getsize(args.output) >> 20, count))


if __name__ == '__main__':
    main()

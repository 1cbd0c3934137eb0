#!/usr/bin/python3
"""The movies of many web archives, across a Dask cluster.

Runs `plumeroc-grab warc --json` once per WARC or ARC file on the cluster's workers and writes one merged
report, each movie once (by SHA-256) in the order of its first capture, plus a summary.

  warc_dask.py [--scheduler ADDRESS | --workers N] [--grab PATH] --output REPORT PATH...

PATH is an archive file or a folder searched for *.warc, *.warc.gz, *.arc and *.arc.gz files. Without
--scheduler the job starts a local cluster of N worker processes (default: one per core). On a cluster, each
worker must find plumeroc-grab at the path given with --grab and the archives at the same paths (a shared file
system).

REPORT gets one JSON object per distinct movie: the fields of its first record as plumeroc-grab gives them,
"captures" (how many records hold it) and "files" (how many files). The summary, one JSON object, goes to
standard output. Exit status: 0; 2 when a file could not be read (it is named in the summary); 1 for a usage
error.
"""
import argparse
import json
import logging
import os
import shutil
import subprocess
import sys
import time

ARCHIVE_SUFFIXES = ('.warc', '.warc.gz', '.arc', '.arc.gz')


def archive_files(paths):
    """The archives named, folders walked in name order."""
    for path in paths:
        if not os.path.isdir(path):
            yield os.path.abspath(path)
            continue
        for root, folders, names in os.walk(path):
            folders.sort()
            for name in sorted(names):
                if name.endswith(ARCHIVE_SUFFIXES):
                    yield os.path.abspath(os.path.join(root, name))


def scan(path, grab):
    """On a worker: the movie records of one archive."""
    run = subprocess.run([grab, 'warc', '--json', '--', path], stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                         check=False)
    return {
        'file': path,
        'status': run.returncode,
        'message': run.stderr.decode('utf-8', 'surrogateescape').strip(),
        'rows': [json.loads(line) for line in run.stdout.splitlines() if line],
    }


def merge(results):
    """Each movie once, first capture first; how often and in how many files it was captured."""
    movies = {}
    files = {}
    for result in results:
        for row in result['rows']:
            digest = row['sha256']
            if digest not in movies:
                movies[digest] = dict(row, captures=0)
                files[digest] = set()
            movies[digest]['captures'] += 1
            files[digest].add(result['file'])
    for digest, movie in movies.items():
        movie['files'] = len(files[digest])
    return list(movies.values())


def default_grab():
    built = os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', 'build', 'bin', 'plumeroc-grab')
    return os.path.abspath(built) if os.access(built, os.X_OK) else shutil.which('plumeroc-grab')


def connect(args):
    # Imported here, so that --help works without Dask.
    from dask.distributed import Client, LocalCluster
    if args.scheduler:
        return Client(args.scheduler), None
    cluster = LocalCluster(n_workers=args.workers, threads_per_worker=1, processes=True, host='127.0.0.1',
                           dashboard_address=None, silence_logs=logging.ERROR)
    return Client(cluster), cluster


def main():
    parser = argparse.ArgumentParser(description=__doc__.split('\n\n')[1],
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    place = parser.add_mutually_exclusive_group()
    place.add_argument('--scheduler', metavar='ADDRESS', help='a running Dask scheduler, e.g. tcp://host:8786')
    place.add_argument('--workers', type=int, default=os.cpu_count(), metavar='N',
                       help='worker processes of the local cluster (default: one per core)')
    parser.add_argument('--grab', default=default_grab(), metavar='PATH', help='plumeroc-grab on the workers')
    parser.add_argument('--output', required=True, metavar='REPORT', help='the merged JSON-lines report')
    parser.add_argument('paths', nargs='+', metavar='PATH', help='archive files or folders of them')
    args = parser.parse_args()
    if not args.grab:
        parser.error('plumeroc-grab not found: give --grab PATH')
    if args.workers is not None and args.workers < 1:
        parser.error('--workers needs at least one worker')

    started = time.monotonic()
    files = list(archive_files(args.paths))
    client, cluster = connect(args)
    try:
        workers = len(client.scheduler_info()['workers'])
        results = client.gather(client.map(scan, files, grab=os.path.abspath(args.grab), pure=False))
    finally:
        client.close()
        if cluster is not None:
            cluster.close()

    movies = merge(results)
    with open(args.output, 'w', encoding='ascii') as report:
        for movie in movies:
            report.write(json.dumps(movie, ensure_ascii=True) + '\n')
    failed = [{'file': r['file'], 'status': r['status'], 'message': r['message']} for r in results if r['status']]
    summary = {
        'files': len(files),
        'failed': failed,
        'notes': [{'file': r['file'], 'message': r['message']} for r in results if r['message'] and not r['status']],
        'records': sum(len(r['rows']) for r in results),
        'movies': len(movies),
        'bytes': sum(movie['size'] for movie in movies),
        'workers': workers,
        'seconds': round(time.monotonic() - started, 3),
    }
    print(json.dumps(summary, ensure_ascii=True))
    return 2 if failed else 0


if __name__ == '__main__':
    sys.exit(main())

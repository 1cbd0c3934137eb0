#!/usr/bin/python3
"""The Dask job over 16 archives of 64 MiB on a cluster of two workers, against plumeroc-grab warc --json run
on them one after another, in the same run.

  warc_dask_bench.py [--grab PATH] [--work DIR] [--files N] [--size MIB] [--runs N]

The cluster (a scheduler and two one-thread workers on 127.0.0.1, Debian's `dask` command) is started before
the clock runs, as a cluster is there before a job is handed to it; the job with a local cluster of its own,
start-up included, is timed as well. Bound: the job on the running cluster at most 0.7 times the one after
another, each the best of --runs (default 3) taken in turn. Exit status 1 when it is passed.
"""
import argparse
import json
import os
import socket
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
JOB = os.path.join(HERE, '..', 'scripts', 'warc_dask.py')


def free_port():
    with socket.socket() as probe:
        probe.bind(('127.0.0.1', 0))
        return probe.getsockname()[1]


def wall(command):
    started = time.monotonic()
    run = subprocess.run(command, stdout=subprocess.PIPE, stderr=subprocess.PIPE, check=False)
    if run.returncode != 0:
        sys.exit('%s failed: %s' % (' '.join(command), run.stderr.decode(errors='replace')))
    return time.monotonic() - started, run.stdout


def wait_for_workers(address, count):
    from dask.distributed import Client
    with Client(address, timeout=60) as client:
        client.wait_for_workers(count, timeout=60)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split('\n\n')[0])
    parser.add_argument('--grab', default=os.path.abspath(os.path.join(HERE, '..', 'build', 'bin', 'plumeroc-grab')))
    parser.add_argument('--work', default='/tmp')
    parser.add_argument('--files', type=int, default=16)
    parser.add_argument('--size', type=int, default=64, help='MiB of each file (default 64)')
    parser.add_argument('--runs', type=int, default=3)
    args = parser.parse_args()

    folder = os.path.join(args.work, 'plumeroc-bench-dask-%dx%dm' % (args.files, args.size))
    os.makedirs(folder, exist_ok=True)
    files = []
    for n in range(args.files):
        path = os.path.join(folder, 'part-%02d.warc.gz' % n)
        if not os.path.exists(path):
            subprocess.run([sys.executable, os.path.join(HERE, 'make_warc.py'), path, str(args.size), '--movies', '20',
                            '--seed', str(n + 1)] + (['--real'] if n == 0 else []), check=True,
                           stdout=subprocess.DEVNULL)
        files.append(path)
    report = os.path.join(folder, 'report.jsonl')

    port = free_port()
    address = 'tcp://127.0.0.1:%d' % port
    cluster = [subprocess.Popen(['dask', 'scheduler', '--host', '127.0.0.1', '--port', str(port),
                                 '--dashboard-address', ':0', '--no-show'],
                                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)]
    try:
        for _ in range(2):
            cluster.append(subprocess.Popen(['dask', 'worker', address, '--nthreads', '1', '--no-dashboard',
                                             '--host', '127.0.0.1'],
                                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL))
        wait_for_workers(address, 2)
        wall([args.grab, 'warc', '--json', files[0]])  # the files read once before either is timed
        sequential, clustered = [], []
        for _ in range(args.runs):  # in turn, so that both see the same state of the machine
            sequential.append(sum(wall([args.grab, 'warc', '--json', path])[0] for path in files))
            seconds, out = wall([sys.executable, JOB, '--scheduler', address, '--grab', args.grab, '--output', report]
                                + files)
            clustered.append(seconds)
        one_by_one, on_cluster = min(sequential), min(clustered)
        summary = json.loads(out)
    finally:
        for process in reversed(cluster):
            process.terminate()
        for process in cluster:
            process.wait()
    own_cluster, _ = wall([sys.executable, JOB, '--workers', '2', '--grab', args.grab, '--output', report] + files)

    ratio = on_cluster / one_by_one
    print('%d files of %d MiB, %d movie records, %d distinct movies, %d workers'
          % (len(files), args.size, summary['records'], summary['movies'], summary['workers']))
    print('one after another: %.2f s (best of %d)' % (one_by_one, args.runs))
    print('Dask job on a running cluster of 2 workers: %.2f s (best of %d), ratio %.2f (bound 0.7)'
          % (on_cluster, args.runs, ratio))
    print('Dask job starting its own local cluster of 2 workers: %.2f s, ratio %.2f' % (own_cluster,
                                                                                       own_cluster / one_by_one))
    print('load average of the machine (1, 5, 15 minutes): %.1f %.1f %.1f on %d cores'
          % (os.getloadavg() + (os.cpu_count(),)))
    return 0 if ratio <= 0.7 else 1


if __name__ == '__main__':
    sys.exit(main())

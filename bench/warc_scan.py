#!/usr/bin/python3
"""plumeroc-grab warc over a 1 GiB .warc.gz of mixed records (a few hundred movies), against
`gzip -dc FILE > /dev/null` in the same run; and the program's largest resident memory.

  warc_scan.py [--grab PATH] [--work DIR] [--size MIB] [--runs N]

The archive is built once by make_warc.py in DIR (default /tmp) and kept for later runs. Bounds: at most 1.5
times gzip's time, under 64 MB resident. Exit status 1 when a bound is passed.
"""
import argparse
import os
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))


def timed(command, stdout=subprocess.DEVNULL):
    """Wall time, processor time and largest resident set (bytes) of one run of `command`."""
    started = time.monotonic()
    process = subprocess.Popen(command, stdout=stdout, stderr=subprocess.PIPE)
    _, status, usage = os.wait4(process.pid, 0)
    elapsed = time.monotonic() - started
    process.returncode = os.waitstatus_to_exitcode(status)
    if process.returncode != 0:
        sys.exit('%s failed: %s' % (' '.join(command), process.stderr.read().decode(errors='replace')))
    return elapsed, usage.ru_utime + usage.ru_stime, usage.ru_maxrss * 1024


def main():
    parser = argparse.ArgumentParser(description=__doc__.split('\n\n')[0])
    parser.add_argument('--grab', default=os.path.join(HERE, '..', 'build', 'bin', 'plumeroc-grab'))
    parser.add_argument('--work', default='/tmp')
    parser.add_argument('--size', type=int, default=1024, help='MiB of gzip data (default 1024)')
    parser.add_argument('--runs', type=int, default=3)
    args = parser.parse_args()

    archive = os.path.join(args.work, 'plumeroc-bench-%dm.warc.gz' % args.size)
    if not os.path.exists(archive):
        subprocess.run([sys.executable, os.path.join(HERE, 'make_warc.py'), archive, str(args.size), '--real'],
                       check=True)
    movies = subprocess.run([args.grab, 'warc', archive], stdout=subprocess.PIPE, check=True).stdout.count(b'\n')

    gzip_runs, grab_runs = [], []
    for _ in range(args.runs):  # alternated, so that both see the same state of the machine
        gzip_runs.append(timed(['gzip', '-dc', archive]))
        grab_runs.append(timed([args.grab, 'warc', archive]))
    baseline, measured = min(r[0] for r in gzip_runs), min(r[0] for r in grab_runs)
    baseline_cpu, measured_cpu = min(r[1] for r in gzip_runs), min(r[1] for r in grab_runs)
    memory = max(r[2] for r in grab_runs)
    ratio = measured / baseline
    print('archive: %s, %.0f MiB, %d movie records' % (archive, os.path.getsize(archive) / 2**20, movies))
    print('gzip -dc > /dev/null: %.2f s, %.2f s of processor (best of %d)' % (baseline, baseline_cpu, args.runs))
    print('plumeroc-grab warc:   %.2f s, %.2f s of processor (best of %d)' % (measured, measured_cpu, args.runs))
    print('ratio: %.2f (bound 1.5); of processor time: %.2f' % (ratio, measured_cpu / baseline_cpu))
    print('largest resident memory of plumeroc-grab: %.1f MB (bound 64)' % (memory / 1e6))
    print('load average of the machine (1, 5, 15 minutes): %.1f %.1f %.1f on %d cores'
          % (os.getloadavg() + (os.cpu_count(),)))
    return 0 if ratio <= 1.5 and memory < 64e6 else 1


if __name__ == '__main__':
    sys.exit(main())

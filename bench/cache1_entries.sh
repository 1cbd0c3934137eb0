#!/usr/bin/env bash
# Listing a Firefox first cache of 20,000 entries (every record read, every body's first bytes looked at for a
# movie, as the Local Files list does) against `find TREE -type f -size +0` over the same tree in the same run,
# warm cache: once with the clean map a browser leaves at exit, once with the map marked dirty as a crash
# leaves it, where every block is searched instead. The tree is written at bench time by bench_firefox_cache1
# (the browser's layout rules).
#   bench/cache1_entries.sh [BENCH_FIREFOX_CACHE1] [RUNS]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
bench=${1:-$here/../build/bin/bench_firefox_cache1}
runs=${2:-15}
[ -x "$bench" ] || { echo "no bench_firefox_cache1 at $bench (give its path as the first argument)" >&2; exit 1; }

work=$(mktemp -d /tmp/plumeroc-cache1-bench-XXXXXX)
trap 'rm -rf "$work"' EXIT
tree=$work/Cache
movies=$("$bench" build "$tree" 20000 100)
echo "tree: 20000 entries, $movies movies, $(find "$tree" -type f | wc -l) files, $(du -sh "$tree" | cut -f1)"

measure() {
  # The listing must find every movie before its time means anything.
  listed=$("$bench" list "$tree")
  [ "$listed" = "20000 entries, $movies movies" ] || { echo "listed: $listed" >&2; exit 1; }
  python3 - "$runs" "$bench" "$tree" "$1" <<'PY'
import resource, statistics, subprocess, sys, time
runs, bench, tree, label = int(sys.argv[1]), sys.argv[2], sys.argv[3], sys.argv[4]
commands = {"listing": [bench, "list", tree], "find": ["find", tree, "-type", "f", "-size", "+0"]}
wall = {name: [] for name in commands}
cpu = {name: [] for name in commands}
for _ in range(runs):
    for name, argv in commands.items():
        before = resource.getrusage(resource.RUSAGE_CHILDREN)
        start = time.perf_counter()
        subprocess.run(argv, stdout=subprocess.DEVNULL, check=True)
        wall[name].append(time.perf_counter() - start)
        after = resource.getrusage(resource.RUSAGE_CHILDREN)
        cpu[name].append(after.ru_utime - before.ru_utime + after.ru_stime - before.ru_stime)
w = {name: statistics.median(v) * 1000 for name, v in wall.items()}
c = {name: statistics.median(v) * 1000 for name, v in cpu.items()}
for name in commands:
    print("%-8s %-8s median wall %7.1f ms, cpu %7.1f ms" % (label, name, w[name], c[name]))
print("%-8s ratio listing/find over %d runs: wall %.2f, cpu %.2f (target: at most 3)" % (
    label, runs, w["listing"] / w["find"], c["listing"] / c["find"]))
PY
}

measure clean
"$bench" dirty "$tree"
measure dirty

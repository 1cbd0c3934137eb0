#!/usr/bin/env bash
# Listing the movies of a Chromium block-file cache of 20,000 entries, as `plumeroc-grab cache --folder TREE`
# does (the walk, then every entry read from its record with its response head and as much of its body as the
# movie check needs), against `find TREE -type f -size +0` over the same tree in the same run, warm cache; and,
# as a floor, against reading every byte of the cache once (`cat`). Debian's chromium writes the cache at bench
# time from a loopback page (bench/make_blockfile_cache.py, some minutes); 150 of the entries are movies.
#   bench/blockfile_entries.sh [PLUMEROC_GRAB] [RUNS]
# With PLUMEROC_GRAB_BEFORE set to another build of plumeroc-grab, that one is timed in the same runs too and the
# ratio of the two is reported: before and after a change, measured alike. PLUMEROC_BLOCKFILE_TREE names a tree
# made before (kept), to spare the browser run.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
grab=${1:-$here/../build/bin/plumeroc-grab}
runs=${2:-15}
[ -x "$grab" ] || { echo "no plumeroc-grab at $grab (give its path as the first argument)" >&2; exit 1; }

work=$(mktemp -d /tmp/plumeroc-blockfile-bench-XXXXXX)
trap 'rm -rf "$work"' EXIT
tree=${PLUMEROC_BLOCKFILE_TREE:-$work/cache}
if [ ! -d "$tree/chromium" ]; then
    mkdir -p "$tree"
    python3 "$here/make_blockfile_cache.py" "$tree" 20000 150 >"${tree%/}.movies"
fi
movies=$(cat "${tree%/}.movies")
folder=$tree/chromium/Default/Cache/Cache_Data
echo "tree: chromium's block-file cache of 20000 entries, $movies movies: $(find "$tree" -type f | wc -l) files, $(du -sh "$tree" | cut -f1)"

# The command must find every movie before its time means anything.
"$grab" cache --folder "$tree" >"$work/rows"
listed=$(wc -l <"$work/rows")
if [ "$listed" -ne "$movies" ]; then
    echo "plumeroc-grab cache listed $listed rows, not $movies" >&2
    exit 1
fi
echo "plumeroc-grab cache lists all $listed movies"
before=${PLUMEROC_GRAB_BEFORE:-}
if [ -n "$before" ]; then
    "$before" cache --folder "$tree" | cmp -s - "$work/rows" || { echo "$before lists other rows" >&2; exit 1; }
fi

# Interleaved runs, so that load from elsewhere hits all alike; wall-clock and CPU (user + system) time of
# each child, medians.
python3 - "$runs" "$grab" "$folder" "$tree" "$before" <<'PY'
import glob, resource, statistics, subprocess, sys, time
runs, grab, folder, tree, before = int(sys.argv[1]), sys.argv[2], sys.argv[3], sys.argv[4], sys.argv[5]
commands = {
    "plumeroc-grab cache": [grab, "cache", "--folder", tree],
    "find": ["find", tree, "-type", "f", "-size", "+0"],
    "cat (every byte)": ["cat"] + sorted(glob.glob(folder + "/*")),
}
if before:
    commands["before: cache"] = [before, "cache", "--folder", tree]
wall = {name: [] for name in commands}
cpu = {name: [] for name in commands}
for _ in range(runs):
    for name, argv in commands.items():
        start_usage = resource.getrusage(resource.RUSAGE_CHILDREN)
        start = time.perf_counter()
        subprocess.run(argv, stdout=subprocess.DEVNULL, check=True)
        wall[name].append(time.perf_counter() - start)
        usage = resource.getrusage(resource.RUSAGE_CHILDREN)
        cpu[name].append(usage.ru_utime - start_usage.ru_utime + usage.ru_stime - start_usage.ru_stime)
w = {name: statistics.median(v) * 1000 for name, v in wall.items()}
c = {name: statistics.median(v) * 1000 for name, v in cpu.items()}
for name in commands:
    print("%-20s median wall %7.1f ms, cpu %7.1f ms" % (name, w[name], c[name]))
listing = "plumeroc-grab cache"
print("ratio cache/find over %d runs: wall %.2f, cpu %.2f (target: at most 3)" % (
    runs, w[listing] / w["find"], c[listing] / c["find"]))
print("ratio cache/cat over %d runs: wall %.2f, cpu %.2f" % (
    runs, w[listing] / w["cat (every byte)"], c[listing] / c["cat (every byte)"]))
if before:
    print("before: ratio cache/find wall %.2f, cpu %.2f; after/before wall %.2f, cpu %.2f" % (
        w["before: cache"] / w["find"], c["before: cache"] / c["find"],
        w[listing] / w["before: cache"], c[listing] / c["before: cache"]))
PY

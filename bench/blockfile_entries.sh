#!/usr/bin/env bash
# Listing the movies of a block-file cache of 20,000 entries, every entry read from its record with its
# response head and its body's first bytes (build/bin/bench_blockfile_list), against `find TREE -type f
# -size +0` over the same tree in the same run, warm cache; and, as a floor, against reading every byte of
# the cache once (`cat`). Debian's chromium writes the cache at bench time from a loopback page
# (bench/make_blockfile_cache.py, some minutes); 150 of the entries are movies.
#   bench/blockfile_entries.sh [BENCH_BLOCKFILE_LIST] [RUNS]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
lister=${1:-$here/../build/bin/bench_blockfile_list}
runs=${2:-15}
[ -x "$lister" ] || { echo "no bench_blockfile_list at $lister (give its path as the first argument)" >&2; exit 1; }

work=$(mktemp -d /tmp/plumeroc-blockfile-bench-XXXXXX)
trap 'rm -rf "$work"' EXIT
tree=$work/cache
mkdir -p "$tree"
movies=$(python3 "$here/make_blockfile_cache.py" "$tree" 20000 150)
folder=$tree/chromium/Default/Cache/Cache_Data
echo "tree: chromium's block-file cache of 20000 entries, $movies movies: $(find "$tree" -type f | wc -l) files, $(du -sh "$tree" | cut -f1)"

# The lister must find every movie before its time means anything.
"$lister" "$folder" >"$work/rows"
listed=$(wc -l <"$work/rows")
if [ "$listed" -ne "$movies" ]; then
    echo "bench_blockfile_list listed $listed rows, not $movies" >&2
    exit 1
fi
echo "bench_blockfile_list lists all $listed movies"

# Interleaved runs, so that load from elsewhere hits all alike; wall-clock and CPU (user + system) time of
# each child, medians.
python3 - "$runs" "$lister" "$folder" "$tree" <<'PY'
import glob, resource, statistics, subprocess, sys, time
runs, lister, folder, tree = int(sys.argv[1]), sys.argv[2], sys.argv[3], sys.argv[4]
commands = {
    "block-file listing": [lister, folder],
    "find": ["find", tree, "-type", "f", "-size", "+0"],
    "cat (every byte)": ["cat"] + sorted(glob.glob(folder + "/*")),
}
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
    print("%-20s median wall %7.1f ms, cpu %7.1f ms" % (name, w[name], c[name]))
listing = "block-file listing"
print("ratio listing/find over %d runs: wall %.2f, cpu %.2f (target: at most 3)" % (
    runs, w[listing] / w["find"], c[listing] / c["find"]))
print("ratio listing/cat over %d runs: wall %.2f, cpu %.2f" % (
    runs, w[listing] / w["cat (every byte)"], c[listing] / c["cat (every byte)"]))
PY

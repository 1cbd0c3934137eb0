#!/usr/bin/env bash
# Reading browser cache entries, as `plumeroc-grab cache --folder TREE`, against `find TREE -type f -size +0`
# over the same tree in the same run, warm cache. The tree holds 20,000 Firefox and 20,000 Chromium entries,
# copies of entries the real browsers wrote with new addresses, 300 of them movies (bench/make_entry_cache.py).
#   bench/cache_entries.sh [PLUMEROC_GRAB] [RUNS]
# With PLUMEROC_GRAB_BEFORE set to another build of plumeroc-grab, that one is timed in the same runs too and
# the ratio of the two is reported: before and after a change, measured alike.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
grab=${1:-$here/../build/bin/plumeroc-grab}
runs=${2:-15}
[ -x "$grab" ] || { echo "no plumeroc-grab at $grab (give its path as the first argument)" >&2; exit 1; }

work=$(mktemp -d /tmp/plumeroc-entries-bench-XXXXXX)
trap 'rm -rf "$work"' EXIT
tree=$work/cache
movies=$(python3 "$here/make_entry_cache.py" "$tree" 20000 20000 300)
echo "tree: 20000 Firefox and 20000 Chromium entries, $movies movies"

# The command must find every movie before its time means anything.
"$grab" cache --folder "$tree" >"$work/rows"
listed=$(wc -l <"$work/rows")
if [ "$listed" -ne "$movies" ]; then
    echo "plumeroc-grab cache listed $listed rows, not $movies" >&2
    exit 1
fi
echo "plumeroc-grab cache lists all $listed movies"

# Interleaved runs, so that load from elsewhere hits both alike; wall-clock and CPU (user + system) time of
# each child, medians.
before=${PLUMEROC_GRAB_BEFORE:-}
if [ -n "$before" ]; then
    "$before" cache --folder "$tree" | cmp -s - "$work/rows" || { echo "$before lists other rows" >&2; exit 1; }
fi
python3 - "$runs" "$grab" "$tree" "$before" <<'PY'
import resource, statistics, subprocess, sys, time
runs, grab, tree, before = int(sys.argv[1]), sys.argv[2], sys.argv[3], sys.argv[4]
commands = {
    "plumeroc-grab cache": [grab, "cache", "--folder", tree],
    "find": ["find", tree, "-type", "f", "-size", "+0"],
}
if before:
    commands["before: cache"] = [before, "cache", "--folder", tree]
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
print("ratio cache/find over %d runs: wall %.2f, cpu %.2f (target: at most 3)" % (
    runs, w["plumeroc-grab cache"] / w["find"], c["plumeroc-grab cache"] / c["find"]))
if before:
    print("before: ratio cache/find wall %.2f, cpu %.2f; after/before wall %.2f, cpu %.2f" % (
        w["before: cache"] / w["find"], c["before: cache"] / c["find"],
        w["plumeroc-grab cache"] / w["before: cache"], c["plumeroc-grab cache"] / c["before: cache"]))
PY

#!/usr/bin/env bash
# The start-up cache walk, as `plumeroc-grab cache`, against find on one generated tree in the same run,
# warm cache.
#   bench/cache_walk.sh [PLUMEROC_GRAB] [RUNS] [cache|disk]
# cache (the default): a user's cache folder of 100,000 entries, against find selecting the same files.
# disk: a mounted old disk of a million files and several profiles' caches (bench/make_disk_tree.py; FILES in
# the environment sets another count), walked as `plumeroc-grab cache --folder DIR`, against `find DIR -type f`.
# With PLUMEROC_GRAB_BEFORE set to another build of plumeroc-grab, that one is timed in the same runs too and
# the ratio of the two is reported: before and after a change, measured alike.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
grab=${1:-$here/../build/bin/plumeroc-grab}
mode=${3:-cache}
runs=${2:-$([ "$mode" = disk ] && echo 5 || echo 15)}
[ -x "$grab" ] || { echo "no plumeroc-grab at $grab (give its path as the first argument)" >&2; exit 1; }

work=$(mktemp -d /tmp/plumeroc-walk-bench-XXXXXX)
trap 'rm -rf "$work"' EXIT
case $mode in
cache)
    tree=$work/cache
    python3 "$here/make_cache_tree.py" "$tree" 5000 100000
    walk_args=(cache)
    baseline=(find "$tree" -mindepth 2 -iname '*.swf' -type f -size +0)
    ;;
disk)
    tree=$work/disk
    echo "building a disk of ${FILES:-1000000} files (folders, files, movies): $(python3 "$here/make_disk_tree.py" "$tree" "${FILES:-1000000}")"
    walk_args=(cache --folder "$tree")
    baseline=(find "$tree" -type f)
    ;;
*) echo "no such tree: $mode (cache or disk)" >&2; exit 1 ;;
esac

walk() { XDG_CACHE_HOME=$tree "$grab" "${walk_args[@]}" >"$1" 2>"$work/walk.err"; }
search() { find "$tree" -mindepth 2 -iname '*.swf' -type f -size +0 >"$1"; }

# Both must select the same files before their times mean anything.
walk "$work/walk.out"
search "$work/find.out"
cut -f3 "$work/walk.out" | sort >"$work/walk.paths"
sed 's|//*|/|g' "$work/find.out" | sort >"$work/find.paths"
sed -i 's|//*|/|g' "$work/walk.paths"
if ! cmp -s "$work/walk.paths" "$work/find.paths"; then
    echo "the walk and find list different files" >&2
    diff "$work/walk.paths" "$work/find.paths" | head >&2
    exit 1
fi
echo "both list $(wc -l <"$work/walk.paths") movies; the walk reports $(wc -l <"$work/walk.err") cache folders not read"

# Interleaved runs, so that load from elsewhere hits both alike; wall-clock and CPU (user + system)
# time of each child, medians.
before=${PLUMEROC_GRAB_BEFORE:-}
if [ -n "$before" ]; then
    XDG_CACHE_HOME=$tree "$before" "${walk_args[@]}" 2>/dev/null | cmp -s - "$work/walk.out" \
        || { echo "$before lists other rows" >&2; exit 1; }
fi
python3 - "$runs" "$grab" "$tree" "$before" "${#walk_args[@]}" "${walk_args[@]}" "${baseline[@]}" <<'PY'
import os, resource, statistics, subprocess, sys, time
runs, grab, tree, before, count = int(sys.argv[1]), sys.argv[2], sys.argv[3], sys.argv[4], int(sys.argv[5])
walk_args, baseline = sys.argv[6:6 + count], sys.argv[6 + count:]
env = dict(os.environ, XDG_CACHE_HOME=tree)
commands = {
    "plumeroc-grab cache": ([grab] + walk_args, env),
    "find": (baseline, None),
}
if before:
    commands["before: cache"] = ([before] + walk_args, env)
wall = {name: [] for name in commands}
cpu = {name: [] for name in commands}
for _ in range(runs):
    for name, (argv, env) in commands.items():
        usage = resource.getrusage(resource.RUSAGE_CHILDREN)
        start = time.perf_counter()
        subprocess.run(argv, env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=True)
        wall[name].append(time.perf_counter() - start)
        after = resource.getrusage(resource.RUSAGE_CHILDREN)
        cpu[name].append(after.ru_utime - usage.ru_utime + after.ru_stime - usage.ru_stime)
w = {name: statistics.median(v) * 1000 for name, v in wall.items()}
c = {name: statistics.median(v) * 1000 for name, v in cpu.items()}
for name in commands:
    print("%-20s median wall %7.1f ms, cpu %7.1f ms" % (name, w[name], c[name]))
print("baseline: %s" % " ".join(baseline).replace(tree, "TREE"))
print("ratio walk/find over %d runs: wall %.2f, cpu %.2f" % (
    runs, w["plumeroc-grab cache"] / w["find"], c["plumeroc-grab cache"] / c["find"]))
if before:
    print("before: ratio walk/find wall %.2f, cpu %.2f; after/before wall %.2f, cpu %.2f" % (
        w["before: cache"] / w["find"], c["before: cache"] / c["find"],
        w["plumeroc-grab cache"] / w["before: cache"], c["plumeroc-grab cache"] / c["before: cache"]))
PY

#!/usr/bin/env bash
# The start-up cache walk, as `plumeroc-grab cache`, against find selecting the same files, on one
# generated tree in the same run, warm cache.
#   bench/cache_walk.sh [PLUMEROC_GRAB] [RUNS]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
grab=${1:-$here/../build/bin/plumeroc-grab}
runs=${2:-15}
[ -x "$grab" ] || { echo "no plumeroc-grab at $grab (give its path as the first argument)" >&2; exit 1; }

work=$(mktemp -d /tmp/plumeroc-walk-bench-XXXXXX)
trap 'rm -rf "$work"' EXIT
tree=$work/cache
python3 "$here/make_cache_tree.py" "$tree" 5000 100000

walk() { XDG_CACHE_HOME=$tree "$grab" cache >"$1"; }
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
echo "both list $(wc -l <"$work/walk.paths") movies"

now() { date +%s%N; }
walk_times=() find_times=()
for ((i = 0; i < runs; i++)); do   # interleaved, so drift hits both alike
    t0=$(now); walk /dev/null; t1=$(now); search /dev/null; t2=$(now)
    walk_times+=($(((t1 - t0) / 1000))) find_times+=($(((t2 - t1) / 1000)))
done
median() { printf '%s\n' "$@" | sort -n | awk '{a[NR]=$1} END {print a[int((NR + 1) / 2)]}'; }
w=$(median "${walk_times[@]}") f=$(median "${find_times[@]}")
echo "median of $runs runs: plumeroc-grab cache ${w} us, find ${f} us"
awk -v w="$w" -v f="$f" 'BEGIN { printf "ratio walk/find: %.2f\n", w / f }'

#!/usr/bin/env bash
# The main window's start with a cache folder holding 20,000 Firefox and 20,000 Chromium entries (copies of
# real ones, 300 movies) and 1,000 plain movies, against the same folder with the plain movies alone.
#   bench/window_start.sh [BENCH_WINDOW_START] [RUNS]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
bench=${1:-$here/../build/bin/bench_window_start}
runs=${2:-9}
work=$(mktemp -d /tmp/plumeroc-window-bench-XXXXXX)
trap 'rm -rf "$work"' EXIT
for tree in with without; do
  for i in $(seq 1 100); do
    mkdir -p "$work/$tree/site$i"
    for m in $(seq 1 10); do printf 'FWS movie %d/%d' "$i" "$m" >"$work/$tree/site$i/movie$m.swf"; done
  done
done
python3 "$here/make_entry_cache.py" "$work/with/browsers" 20000 20000 300 >/dev/null
QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen} "$bench" "$work/with" "$work/without" "$runs"

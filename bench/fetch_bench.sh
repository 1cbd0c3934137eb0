#!/usr/bin/env bash
# Retrieval benchmarks against curl, measured in the same run on the same loopback server:
#  1. DownloadToFile of a large body into a file (throughput, and resident memory during the transfer)
#     against `curl -s -o` of the same URL into the same folder;
#  2. `plumeroc-grab list` of a 1 MiB page against `curl -s -o /dev/null` of the same page.
# Usage: bench/fetch_bench.sh BUILD_DIR [MIB] [RUNS]
set -euo pipefail
BUILD=${1:?usage: fetch_bench.sh BUILD_DIR [MIB] [RUNS]}
MIB=${2:-256}
RUNS=${3:-5}
BIN=$BUILD/bin
[ -x "$BIN/bench_http_server" ] || BIN=$BUILD/bench
unset http_proxy https_proxy all_proxy HTTPS_PROXY ALL_PROXY

WORK=$(mktemp -d "${TMPDIR:-/tmp}/plumeroc-bench-XXXXXX")
SERVER_PID=
cleanup() {
  [ -n "$SERVER_PID" ] && kill "$SERVER_PID" 2>/dev/null && wait "$SERVER_PID" 2>/dev/null
  rm -rf "$WORK"
}
trap cleanup EXIT

"$BIN/bench_http_server" >"$WORK/port" &
SERVER_PID=$!
for _ in $(seq 50); do [ -s "$WORK/port" ] && break; sleep 0.1; done
PORT=$(cat "$WORK/port")
BIG="http://127.0.0.1:$PORT/bytes/$((MIB * 1024 * 1024))"
PAGE="http://127.0.0.1:$PORT/page.html"

now() { date +%s%N; }
ms() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.3f\n", (b - a) / 1e6 }'; }
median() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

echo "== DownloadToFile of $MIB MiB, $RUNS runs each, alternating"
: >"$WORK/curl.mbs"; : >"$WORK/ours.mbs"; : >"$WORK/rss"
for _ in $(seq "$RUNS"); do
  rm -f "$WORK/curl.bin"
  # Both sides time the transfer alone, without process start-up.
  secs=$(curl -s -o "$WORK/curl.bin" -w '%{time_total}' "$BIG")
  awk -v m="$MIB" -v s="$secs" 'BEGIN { printf "%.1f\n", m / s }' >>"$WORK/curl.mbs"
  rm -f "$WORK/curl.bin" "$WORK/ours.bin"
  read -r bytes secs mbs before peak < <("$BIN/bench_download" "$BIG" "$WORK/ours.bin" "http://127.0.0.1:$PORT/bytes/4096")
  [ "$bytes" -eq $((MIB * 1024 * 1024)) ] || { echo "short download: $bytes bytes" >&2; exit 1; }
  echo "$mbs" >>"$WORK/ours.mbs"
  echo "$before $peak" >>"$WORK/rss"
  rm -f "$WORK/ours.bin"
done
CURL_MBS=$(median <"$WORK/curl.mbs")
OURS_MBS=$(median <"$WORK/ours.mbs")
echo "curl -s -o:      $(tr '\n' ' ' <"$WORK/curl.mbs") MiB/s (median $CURL_MBS)"
echo "DownloadToFile:  $(tr '\n' ' ' <"$WORK/ours.mbs") MiB/s (median $OURS_MBS)"
awk -v o="$OURS_MBS" -v c="$CURL_MBS" 'BEGIN { printf "throughput ratio DownloadToFile / curl: %.2f (target >= 0.5)\n", o / c }'
awk '{ d = $2 - $1; if (d > m) m = d } END { printf "resident memory growth during the transfer: at most %d KiB over %d runs (target <= 4096 KiB)\n", m, NR }' "$WORK/rss"

echo "== list of a 1 MiB page, $((RUNS * 4)) runs each, alternating"
: >"$WORK/curl.ms"; : >"$WORK/list.ms"
for _ in $(seq $((RUNS * 4))); do
  t0=$(now); curl -s -o /dev/null "$PAGE"; t1=$(now)
  ms $t0 $t1 >>"$WORK/curl.ms"
  t0=$(now); "$BIN/plumeroc-grab" list "$PAGE" >"$WORK/rows"; t1=$(now)
  ms $t0 $t1 >>"$WORK/list.ms"
done
CURL_MS=$(median <"$WORK/curl.ms")
LIST_MS=$(median <"$WORK/list.ms")
echo "page rows found: $(wc -l <"$WORK/rows")"
echo "curl -s -o /dev/null: median $CURL_MS ms"
echo "plumeroc-grab list:   median $LIST_MS ms"
awk -v l="$LIST_MS" -v c="$CURL_MS" 'BEGIN { printf "wall time ratio list / curl: %.2f (target <= 1.5)\n", l / c }'

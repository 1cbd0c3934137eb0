#!/usr/bin/env bash
# Retrieval benchmarks against curl, measured in the same run on the same loopback server:
#  1. `plumeroc-grab save` of a large body against `curl -s -o` of the same URL, timed from outside
#     (process start included), with the peak resident memory of each process;
#  2. `plumeroc-grab save-all` of a page listing 200 small movies against one `curl` fetching the same
#     200 addresses (one connection), timed from outside, with the connections each side opened;
#  3. DownloadToFile of the large body inside a process (throughput, and memory growth meanwhile);
#  4. `plumeroc-grab list` of a 1 MiB page against `curl -s -o /dev/null` of the same page.
# A second plumeroc-grab (OLD_GRAB, such as a build from before a change) is measured beside the first
# in 1 and 2, so that before and after come from the same run.
# Usage: bench/fetch_bench.sh BUILD_DIR [MIB] [RUNS] [OLD_GRAB]
set -euo pipefail
BUILD=${1:?usage: fetch_bench.sh BUILD_DIR [MIB] [RUNS] [OLD_GRAB]}
MIB=${2:-256}
RUNS=${3:-5}
OLD_GRAB=${4:-}
BIN=$BUILD/bin
[ -x "$BIN/bench_http_server" ] || BIN=$BUILD/bench
GRAB=$BUILD/bin/plumeroc-grab
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
BASE="http://127.0.0.1:$PORT"
BIG="$BASE/bytes/$((MIB * 1024 * 1024))"
PAGE="$BASE/page.html"

now() { date +%s%N; }
ms() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.3f\n", (b - a) / 1e6 }'; }
median() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

# 1 and 2: each command is a child of its own, started and reaped here; wall time from the start to the
# end of the process. Interleaved runs in turning order, so that load from elsewhere hits every side alike. Peak resident
# memory comes from runs of their own, watched: VmHWM, polled until the process ends (the child's
# ru_maxrss would count this script's own memory, which the child shares until its exec).
python3 - "$RUNS" "$MIB" "$BASE" "$WORK" "$GRAB" "$OLD_GRAB" <<'PY'
import os, shutil, statistics, sys, time, urllib.request

runs, mib, base, work, grab, old = int(sys.argv[1]), int(sys.argv[2]), sys.argv[3], sys.argv[4], sys.argv[5], sys.argv[6]
big = f"{base}/bytes/{mib * 1024 * 1024}"
grabs = {"plumeroc-grab": grab}
if old:
    grabs["old plumeroc-grab"] = old

def run(argv):
    start = time.perf_counter()
    pid = os.posix_spawn(argv[0], argv, os.environ)
    _, status = os.waitpid(pid, 0)
    seconds = time.perf_counter() - start
    code = os.waitstatus_to_exitcode(status)
    if code != 0:
        sys.exit(f"{' '.join(argv)} exited with {code}")
    return seconds

def peak_kib(argv):
    pid = os.posix_spawn(argv[0], argv, os.environ)
    peak = 0
    while os.waitpid(pid, os.WNOHANG)[0] == 0:
        try:
            with open(f"/proc/{pid}/status") as status:
                for line in status:
                    if line.startswith("VmHWM:"):
                        peak = max(peak, int(line.split()[1]))
        except OSError:
            pass
        time.sleep(0.002)
    return peak

# Each round starts with the next side, so that none always runs right after the same one.
def rotated(sides, round):
    items = list(sides.items())
    shift = round % len(items)
    return items[shift:] + items[:shift]

def connections():
    with urllib.request.urlopen(f"{base}/connections") as answer:
        return int(answer.read())

curl = shutil.which("curl")
print(f"== save of {mib} MiB against curl -s -o, from outside, {runs} runs each, alternating")
sides = {"curl -s -o": lambda path: [curl, "-s", "-o", path, big]}
for name, binary in grabs.items():
    sides[name + " save"] = lambda path, binary=binary: [binary, "save", big, path]
times = {name: [] for name in sides}
path = os.path.join(work, "big.bin")
for round in range(runs):
    for name, argv in rotated(sides, round):
        times[name].append(run(argv(path)))
        if os.path.getsize(path) != mib * 1024 * 1024:
            sys.exit(f"{name}: short download")
        os.remove(path)
peaks = {name: peak_kib(argv(path)) for name, argv in sides.items()}
rate = {name: mib / statistics.median(t) for name, t in times.items()}
for name in sides:
    print(f"{name:26} median {statistics.median(times[name]) * 1000:8.1f} ms, {rate[name]:7.1f} MiB/s, "
          f"peak resident memory {peaks[name] / 1024:.1f} MiB")
for name in grabs:
    print(f"throughput ratio {name} save / curl: {rate[name + ' save'] / rate['curl -s -o']:.2f} (target >= 0.9); "
          f"peak resident memory {peaks[name + ' save'] / 1024:.1f} MiB (target < 40)")

print(f"== save-all of a page of 200 small movies against one curl of the same 200 addresses, {runs * 2} runs each")
def curl_all(folder):
    return [curl, "-s", f"{base}/m/[0-199].swf", "-o", os.path.join(folder, "#1.swf")]
sides = {"curl (one invocation)": curl_all}
for name, binary in grabs.items():
    sides[name + " save-all"] = lambda folder, binary=binary: [binary, "save-all", f"{base}/movies.html", folder]
times = {name: [] for name in sides}
opened = {name: set() for name in sides}
for round in range(runs * 2):
    for name, argv in rotated(sides, round):
        folder = os.path.join(work, "movies")
        os.mkdir(folder)
        connections()
        seconds = run(argv(folder))
        opened[name].add(connections())
        if len(os.listdir(folder)) != 200:
            sys.exit(f"{name}: {len(os.listdir(folder))} files, not 200")
        shutil.rmtree(folder)
        times[name].append(seconds)
for name in sides:
    print(f"{name:31} median {statistics.median(times[name]) * 1000:7.1f} ms, "
          f"connections opened: {' or '.join(map(str, sorted(opened[name])))}")
for name in grabs:
    ratio = statistics.median(times[name + " save-all"]) / statistics.median(times["curl (one invocation)"])
    print(f"wall time ratio {name} save-all / curl: {ratio:.2f} (target <= 1.5)")
PY

echo "== DownloadToFile of $MIB MiB inside a process, $RUNS runs each, alternating"
: >"$WORK/curl.mbs"; : >"$WORK/ours.mbs"; : >"$WORK/rss"
for _ in $(seq "$RUNS"); do
  rm -f "$WORK/curl.bin"
  # Both sides time the transfer alone, without process start-up.
  secs=$(curl -s -o "$WORK/curl.bin" -w '%{time_total}' "$BIG")
  awk -v m="$MIB" -v s="$secs" 'BEGIN { printf "%.1f\n", m / s }' >>"$WORK/curl.mbs"
  rm -f "$WORK/curl.bin" "$WORK/ours.bin"
  read -r bytes secs mbs before peak < <("$BIN/bench_download" "$BIG" "$WORK/ours.bin" "$BASE/bytes/4096")
  [ "$bytes" -eq $((MIB * 1024 * 1024)) ] || { echo "short download: $bytes bytes" >&2; exit 1; }
  echo "$mbs" >>"$WORK/ours.mbs"
  echo "$before $peak" >>"$WORK/rss"
  rm -f "$WORK/ours.bin"
done
CURL_MBS=$(median <"$WORK/curl.mbs")
OURS_MBS=$(median <"$WORK/ours.mbs")
echo "curl -s -o:      $(tr '\n' ' ' <"$WORK/curl.mbs") MiB/s (median $CURL_MBS)"
echo "DownloadToFile:  $(tr '\n' ' ' <"$WORK/ours.mbs") MiB/s (median $OURS_MBS)"
awk -v o="$OURS_MBS" -v c="$CURL_MBS" 'BEGIN { printf "throughput ratio DownloadToFile / curl: %.2f (target >= 0.9)\n", o / c }'
awk '{ d = $2 - $1; if (d > m) m = d } END { printf "resident memory growth during the transfer: at most %d KiB over %d runs (target <= 4096 KiB)\n", m, NR }' "$WORK/rss"

echo "== list of a 1 MiB page, $((RUNS * 4)) runs each, alternating"
: >"$WORK/curl.ms"; : >"$WORK/list.ms"
for _ in $(seq $((RUNS * 4))); do
  t0=$(now); curl -s -o /dev/null "$PAGE"; t1=$(now)
  ms $t0 $t1 >>"$WORK/curl.ms"
  t0=$(now); "$GRAB" list "$PAGE" >"$WORK/rows"; t1=$(now)
  ms $t0 $t1 >>"$WORK/list.ms"
done
CURL_MS=$(median <"$WORK/curl.ms")
LIST_MS=$(median <"$WORK/list.ms")
echo "page rows found: $(wc -l <"$WORK/rows")"
echo "curl -s -o /dev/null: median $CURL_MS ms"
echo "plumeroc-grab list:   median $LIST_MS ms"
awk -v l="$LIST_MS" -v c="$CURL_MS" 'BEGIN { printf "wall time ratio list / curl: %.2f (target <= 1.5)\n", l / c }'

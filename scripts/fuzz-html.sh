#!/usr/bin/env bash
# Builds the link finder's fuzz target with clang's libFuzzer and runs it for a bounded time.
# Usage: scripts/fuzz-html.sh [SECONDS]   (default 60)
# The seed corpus in tests/html/fuzz/corpus is only read; new inputs go to fuzz-out/html-corpus.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-60}
out=fuzz-out
mkdir -p "$out/html-corpus"
CXX=${FUZZ_CXX:-$(command -v clang++-14 || command -v clang++)}

"$CXX" -std=c++20 -g -O1 -Wall -Wextra \
  -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer \
  -I src -I tests \
  src/html/MarkupScanner.cpp src/html/LinkResolution.cpp src/html/SwfLinks.cpp \
  tests/html/fuzz/FindSwfLinksFuzz.cpp \
  -o "$out/find-swf-links-fuzz"

# libFuzzer logs every new input: keep that in a file and show its end.
log="$out/find-swf-links-fuzz.log"
status=0
UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
"$out/find-swf-links-fuzz" -max_total_time="$seconds" -max_len=8192 -timeout=10 \
  -rss_limit_mb=2048 -artifact_prefix="$out/" -print_final_stats=1 \
  "$out/html-corpus" tests/html/fuzz/corpus >"$log" 2>&1 || status=$?
if [ "$status" -ne 0 ]; then
  tail -n 80 "$log"
  echo "fuzz-html: the fuzz target failed (status $status); the crashing input is in $out/" >&2
  exit "$status"
fi
grep -E '^(Done|stat::)' "$log" || tail -n 5 "$log"

#!/usr/bin/env bash
# Builds the page finders' fuzz targets with clang's libFuzzer and runs them for a bounded time:
# the markup finder, then the script finder with both finders together, on short inputs and on
# inputs up to the page buffer's 1 MiB.
# Usage: scripts/fuzz-html.sh [SECONDS]   (default 60, shared out among the three runs)
# The seed corpora in tests/html/fuzz/ are only read; new inputs go to fuzz-out/.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-60}
out=fuzz-out
mkdir -p "$out/html-corpus" "$out/movies-corpus" "$out/movies-large-corpus"
CXX=${FUZZ_CXX:-$(command -v clang++-14 || command -v clang++)}

build() {  # build TARGET SOURCE...
  local target=$1
  shift
  "$CXX" -std=c++20 -g -O1 -Wall -Wextra \
    -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer \
    -I src -I tests "$@" -o "$out/$target"
}

build find-swf-links-fuzz \
  src/html/MarkupScanner.cpp src/html/LinkResolution.cpp src/html/SwfLinks.cpp \
  tests/html/fuzz/FindSwfLinksFuzz.cpp
build find-movie-links-fuzz src/html/*.cpp tests/html/fuzz/FindMovieLinksFuzz.cpp

# run TARGET SECONDS MAX_LEN CORPUS SEEDS [OPTION...]: libFuzzer logs every new input, so keep that
# in a file and show its end.
run() {
  local target=$1 time=$2 maxLen=$3 corpus=$4 seeds=$5
  shift 5
  local log="$out/$target-$maxLen.log"
  local status=0
  UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
  "$out/$target" -max_total_time="$time" -max_len="$maxLen" -timeout=10 "$@" \
    -rss_limit_mb=2048 -artifact_prefix="$out/" -print_final_stats=1 \
    "$corpus" "$seeds" >"$log" 2>&1 || status=$?
  if [ "$status" -ne 0 ]; then
    tail -n 80 "$log"
    echo "fuzz-html: $target failed (status $status); the crashing input is in $out/" >&2
    exit "$status"
  fi
  echo "$target, inputs up to $maxLen bytes:"
  grep -E '^(Done|stat::)' "$log" || tail -n 5 "$log"
}

third=$(( seconds / 3 > 0 ? seconds / 3 : 1 ))
run find-swf-links-fuzz "$third" 8192 "$out/html-corpus" tests/html/fuzz/corpus
run find-movie-links-fuzz "$third" 8192 "$out/movies-corpus" tests/html/fuzz/corpus-movies
# Large inputs, grown to the limit at once (no slow length control) from seeds of 1 MiB: one unit
# repeated, as pages that slow a finder down look. They show what short inputs cannot, such as work
# that grows faster than the page.
large=$out/movies-large-seeds
mkdir -p "$large"
unit=0
for text in 'embedSWF("' '<object classid="clsid:D27CDB6E-AE6D-11cf-96B8-444553540000"><param name=movie value=a>' \
            '"a.swf"+' '&quot;\u002F' "AC_FL_RunContent('movie','a'," '<embed type="application/x-shockwave-flash" src="'; do
  unit=$((unit + 1))
  { printf 'http://host/a/\\'; yes "$text" | tr -d '\n' | head -c 1048500; } >"$large/unit-$unit"
done
run find-movie-links-fuzz "$third" 1048576 "$out/movies-large-corpus" "$large" -len_control=0

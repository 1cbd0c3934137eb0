#!/usr/bin/env bash
# Builds the browser-cache entry readers' fuzz targets with clang's libFuzzer and runs each for a bounded time.
# Usage: scripts/fuzz-cache.sh [SECONDS]   (default 60, for each target)
# The seed corpora in tests/cache/fuzz/corpus (entries firefox-esr and chromium wrote) are only read; new
# inputs go to fuzz-out/<format>-corpus. The targets are built with the browsers' checksums left unchecked,
# so that mutated inputs reach the parsing behind them.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-60}
out=fuzz-out
CXX=${FUZZ_CXX:-$(command -v clang++-14 || command -v clang++)}
sources=(src/platform/Bytes.cpp src/cache/BrowserCacheFolders.cpp src/cache/CacheWalk.cpp src/cache/ChromiumEntry.cpp
  src/cache/ContentDecoding.cpp src/cache/DirectoryFolder.cpp src/cache/EntryFile.cpp src/cache/EntryMovie.cpp
  src/cache/FirefoxEntry.cpp src/cache/MovieRowList.cpp src/cache/MovieSaveName.cpp src/cache/ResponseHead.cpp)

for format in firefox chromium; do
  target=${format^}EntryFuzz
  binary="$out/$format-entry-fuzz"
  mkdir -p "$out/$format-corpus"
  "$CXX" -std=c++20 -g -O1 -Wall -Wextra \
    -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer \
    -DFUZZING_BUILD_MODE_UNSAFE_FOR_PRODUCTION -I src -I tests \
    "${sources[@]}" "tests/cache/fuzz/$target.cpp" -lz -lbrotlidec -lzstd -o "$binary"

  # libFuzzer logs every new input: keep that in a file and show its end. Inputs are capped so that a
  # decompression bomb stays a slow input rather than a timeout.
  log="$out/$format-entry-fuzz.log"
  status=0
  UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
  "$binary" -max_total_time="$seconds" -max_len=16384 -timeout=30 -rss_limit_mb=2048 \
    -artifact_prefix="$out/$format-" -print_final_stats=1 \
    "$out/$format-corpus" "tests/cache/fuzz/corpus/$format" >"$log" 2>&1 || status=$?
  if [ "$status" -ne 0 ]; then
    tail -n 80 "$log"
    echo "fuzz-cache: the $format entry target failed (status $status); the input is in $out/" >&2
    exit "$status"
  fi
  echo "== $format entries"
  grep -E '^(Done|stat::)' "$log" || tail -n 5 "$log"
done

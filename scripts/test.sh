#!/usr/bin/env bash
# Installs what is missing, builds Plumeroc and runs the whole test suite: the tests, the tests
# again under AddressSanitizer and UndefinedBehaviorSanitizer, and a short fuzzing run of both page finders.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
jobs=$(nproc)

bash scripts/setup.sh
echo "== set-up and build took ${SECONDS} s"

echo "== tests"
ctest --test-dir build --output-on-failure -j "$jobs"

echo "== tests under AddressSanitizer and UndefinedBehaviorSanitizer"
# The sanitizer build covers everything but the web engine, whose own allocator does not run under ASan.
if [ ! -f build-asan/build.ninja ]; then
  cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DPLUMEROC_SANITIZE=ON -DPLUMEROC_BENCH=OFF \
    -DCMAKE_CXX_COMPILER_LAUNCHER=ccache >/dev/null
fi
cmake --build build-asan --parallel "$jobs"
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
  ctest --test-dir build-asan --output-on-failure -j "$jobs" -LE webengine

if [ -x scripts/fuzz-html.sh ]; then
  echo "== fuzzing the markup finder and the script finder"
  bash scripts/fuzz-html.sh "${PLUMEROC_FUZZ_SECONDS:-60}"
fi
echo "== all tests passed (${SECONDS} s in all)"

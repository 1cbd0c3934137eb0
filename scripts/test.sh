#!/usr/bin/env bash
# Installs what is missing, builds Plumeroc and runs the whole test suite: the layout and lint checks,
# the tests, the tests again under AddressSanitizer and UndefinedBehaviorSanitizer, and a headless
# build with clang that runs the core's tests and fuzzes the parsers for a bounded time.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc)
start=$SECONDS
step() { echo "== $1 ($(( SECONDS - start )) s so far)"; }

bash scripts/setup.sh
step "set-up and build done"

step "format check"
git ls-files '*.cpp' '*.h' | xargs clang-format --dry-run --Werror

step "tests"
ctest --test-dir build --output-on-failure -j "$jobs"

step "clang-tidy"
# The checks of .clang-tidy on every source file of the program, against the build's compile commands.
git ls-files 'src/*.cpp' 'res/*.cpp' | xargs -P "$jobs" -n 4 clang-tidy -p build --quiet --warnings-as-errors='*'

step "tests under AddressSanitizer and UndefinedBehaviorSanitizer"
# Everything but the web engine, whose own allocator does not run under ASan.
if [ ! -f build-asan/build.ninja ]; then
  cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DPLUMEROC_SANITIZE=ON -DPLUMEROC_BENCH=OFF \
    -DPLUMEROC_WERROR=ON -DCMAKE_CXX_COMPILER_LAUNCHER=ccache >/dev/null
fi
cmake --build build-asan --parallel "$jobs"
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
  ctest --test-dir build-asan --output-on-failure -j "$jobs" -LE webengine

step "headless build (no Qt) with clang: the core's tests and the fuzz targets"
if [ ! -f build-headless/build.ninja ]; then
  cmake -S . -B build-headless -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
    -DPLUMEROC_GUI=OFF -DPLUMEROC_FUZZ=ON -DPLUMEROC_BENCH=OFF -DPLUMEROC_WERROR=ON \
    -DCMAKE_CXX_COMPILER_LAUNCHER=ccache >/dev/null
fi
cmake --build build-headless --parallel "$jobs"
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
  ctest --test-dir build-headless --output-on-failure -j "$jobs"
bash scripts/fuzz.sh build-headless "${PLUMEROC_FUZZ_SECONDS:-60}"

echo "== all tests passed ($(( SECONDS - start )) s in all)"

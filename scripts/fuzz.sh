#!/usr/bin/env bash
# Runs every libFuzzer target of a fuzz build for a bounded time: the first part of the time on
# small inputs, the rest on inputs up to 1 MiB (the largest page the program reads), tried at full
# length at once rather than grown slowly.
# Usage: scripts/fuzz.sh BUILD_DIR [SECONDS_PER_TARGET]   (default 60)
# The seed corpus of fuzz_NAME is tests/**/fuzz/corpus-NAME/, only read; new inputs go to
# fuzz-out/fuzz_NAME/. A file tests/**/fuzz/NAME.max_len caps a target's inputs for the whole run (a
# target whose inputs decompress would otherwise spend its time on a few huge ones). A file
# tests/**/fuzz/NAME.seeds lists more folders of seeds (BUILD standing for BUILD_DIR), searched for
# movies at fuzz time: third-party material is read from where it lives, never kept in the project.
# tests/**/fuzz/NAME.shared names folders of ../shared/data (or $PLUMEROC_SHARED_DATA) that seed it as well.
# An executable tests/**/fuzz/NAME.seeder SHARED OUT BUILD makes further seeds from that material, and from what
# the build's programs have real browsers write at fuzz time, into fuzz-out/fuzz_NAME/seeds/.
set -euo pipefail
cd "$(dirname "$0")/.."
shopt -s globstar

build=${1:?usage: scripts/fuzz.sh BUILD_DIR [SECONDS_PER_TARGET]}
seconds=${2:-60}
small=$(( seconds * 2 / 3 ))
large=$(( seconds - small ))

shared=${PLUMEROC_SHARED_DATA:-../shared/data}
status=0
for target in "$build"/bin/fuzz_*; do
  [ -x "$target" ] || continue
  name=$(basename "$target")
  out=fuzz-out/$name
  mkdir -p "$out/corpus"
  seeds=(tests/**/fuzz/corpus-"${name#fuzz_}")
  [ -d "${seeds[0]}" ] || seeds=()
  seedlist=$(ls tests/**/fuzz/"${name#fuzz_}".seeds 2>/dev/null || true)
  if [ -n "$seedlist" ]; then
    mkdir -p "$out/seeds"
    grep -v '^#' "$seedlist" | sed "s|^BUILD|$build|" | while read -r folder; do
      [ -d "$folder" ] || continue
      # Named after their path (no leading dots), so that the many test.swf of a set stay apart.
      find "$folder" -name '*.swf' -size -1024k -print0 | while IFS= read -r -d '' movie; do
        cp -f "$movie" "$out/seeds/$(printf '%s' "$movie" | sed 's|^[./]*||' | tr '/ ' '__')"
      done
    done
    seeds+=("$out/seeds")
  fi
  # Third-party sets named in NAME.shared seed the run too, read where they lie, when they are there.
  for set in $(cat tests/**/fuzz/"${name#fuzz_}".shared 2>/dev/null); do
    if [ -d "$shared/$set" ]; then seeds+=("$shared/$set"); fi
  done
  for seeder in tests/**/fuzz/"${name#fuzz_}".seeder; do
    [ -x "$seeder" ] || continue
    [ -d "$shared" ] || echo "fuzz: $name runs without the seeds $seeder makes from $shared: no test material there" >&2
    mkdir -p "$out/seeds"
    # A seeder may also make seeds from what the build's programs write now (real browsers' caches).
    "$seeder" "$shared" "$out/seeds" "$build" || echo "fuzz: $seeder made no seeds" >&2
    seeds+=("$out/seeds")
  done
  cap=$(cat tests/**/fuzz/"${name#fuzz_}".max_len 2>/dev/null || echo 1048576)
  for run in "$(( cap < 8192 ? cap : 8192 )) $small" "$cap $large"; do
    set -- $run
    [ "$2" -gt 0 ] || continue
    log=$out/run-$1.log
    if ! UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 ASAN_OPTIONS=detect_leaks=1 \
        "$target" -max_total_time="$2" -max_len="$1" -len_control="$( [ "$1" -gt 8192 ] && echo 0 || echo 100 )" \
        -timeout=20 -rss_limit_mb=4096 \
        -artifact_prefix="$out/" -print_final_stats=1 "$out/corpus" "${seeds[@]}" >"$log" 2>&1; then
      tail -n 60 "$log"
      echo "fuzz: $name failed on inputs up to $1 bytes; the input is in $out/" >&2
      status=1
      break
    fi
    echo "$name (inputs up to $1 bytes, $2 s): $(grep -E '^stat::number_of_executed_units' "$log" | awk '{print $2}') runs"
  done
done
exit $status

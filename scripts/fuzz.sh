#!/usr/bin/env bash
# Builds the libFuzzer targets (fuzz/fuzz_NAME.cpp) with clang, AddressSanitizer and
# UndefinedBehaviorSanitizer into build-fuzz/ and runs them on their kept corpora.
#   bash scripts/fuzz.sh NAME SECONDS   runs one target, e.g. `bash scripts/fuzz.sh diff 600`
#   bash scripts/fuzz.sh all SECONDS    runs every target for SECONDS each (CI does this)
#   bash scripts/fuzz.sh list           names the targets
# New interesting inputs go to build-fuzz/corpus/NAME; FUZZ_KEEP=1 merges them into the kept
# corpus fuzz/corpus/NAME afterwards. A crash or a failed property stops with a non-zero exit
# and leaves the input in build-fuzz/artifacts/ (reproduce: build-fuzz/fuzz/fuzz_NAME FILE).
set -euo pipefail
cd "$(dirname "$0")/.."

targets() { for f in fuzz/fuzz_*.cpp; do basename "$f" .cpp | sed 's/^fuzz_//'; done; }
if [ "${1:-}" = list ]; then targets; exit 0; fi
if [ $# -ne 2 ] || ! [[ "$2" =~ ^[0-9]+$ ]]; then
  echo "usage: bash scripts/fuzz.sh NAME|all SECONDS   (names: $(targets | tr '\n' ' '))" >&2
  exit 2
fi
NAME=$1 SECONDS_EACH=$2

bash scripts/install-deps.sh clang libclang-rt-14-dev
BUILD_DIR="${FUZZ_BUILD_DIR:-build-fuzz}"
if [ ! -f "$BUILD_DIR/CMakeCache.txt" ]; then
  SAN="-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer"
  CXX=clang++ CXXFLAGS="-O1 -gline-tables-only -fsanitize=fuzzer-no-link $SAN" LDFLAGS="$SAN" \
    cmake -S . -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=Fuzz -DQUORLANE_FUZZ=ON >/dev/null
fi
cmake --build "$BUILD_DIR" -j "$(nproc)" --target quorlane_fuzzers

export ASAN_OPTIONS="halt_on_error=1:detect_leaks=1${ASAN_OPTIONS:+:$ASAN_OPTIONS}"
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1${UBSAN_OPTIONS:+:$UBSAN_OPTIONS}"

run_one() {
  local name=$1 work="$BUILD_DIR/corpus/$1" kept="fuzz/corpus/$1" log="$BUILD_DIR/logs/$1.log"
  mkdir -p "$work" "$kept" "$BUILD_DIR/artifacts" "$BUILD_DIR/logs"
  local started=$SECONDS status=0
  "$BUILD_DIR/fuzz/fuzz_$name" -max_total_time="$SECONDS_EACH" -timeout=20 -rss_limit_mb=2048 \
    -max_len=4096 -print_final_stats=1 -artifact_prefix="$BUILD_DIR/artifacts/$name-" \
    "$work" "$kept" >"$log" 2>&1 || status=$?
  if [ $status -ne 0 ]; then
    echo "fuzz $name: FAILED (exit $status); the end of $log:" >&2
    tail -n 60 "$log" >&2
    return $status
  fi
  local runs per_sec added
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
  per_sec=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log")
  added=$(sed -n 's/^stat::new_units_added: *//p' "$log")
  echo "fuzz $name: ${runs:-?} runs in $((SECONDS - started)) s, ${per_sec:-?} runs/s," \
       "$(find "$kept" -type f | wc -l) kept inputs, ${added:-0} new, no failure"
  if [ "${FUZZ_KEEP:-0}" = 1 ]; then
    "$BUILD_DIR/fuzz/fuzz_$name" -merge=1 -max_len=4096 "$kept" "$work" >>"$log" 2>&1
  fi
}

if [ "$NAME" = all ]; then
  for n in $(targets); do run_one "$n"; done
elif [ -f "fuzz/fuzz_$NAME.cpp" ]; then
  run_one "$NAME"
else
  echo "no fuzz target '$NAME' (names: $(targets | tr '\n' ' '))" >&2
  exit 2
fi

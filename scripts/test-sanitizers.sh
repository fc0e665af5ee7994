#!/usr/bin/env bash
# Builds the whole suite with AddressSanitizer + UndefinedBehaviorSanitizer into build-asan/ and runs
# it; any sanitizer report ends the test that made it with a failure, so the run exits non-zero.
set -euo pipefail
cd "$(dirname "$0")/.."
SAN="-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer"
BUILD_DIR="${SANITIZER_BUILD_DIR:-build-asan}"
# -O1 and line tables only keep the instrumented build and its tests quick enough for two cores.
# The flags reach CMake through the environment and the benchmarks are left out when the folder
# is first configured, so the ordinary build and test scripts serve unchanged.
export CXXFLAGS="-O1 -g1 $SAN ${CXXFLAGS:-}"
export LDFLAGS="$SAN ${LDFLAGS:-}"
bash scripts/install-deps.sh
if [ ! -f "$BUILD_DIR/CMakeCache.txt" ]; then
  cmake -S . -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=Sanitize -DQUORLANE_BENCHMARKS=OFF -DQUORLANE_SANITIZER_RUN=ON >/dev/null
fi
export ASAN_OPTIONS="halt_on_error=1:abort_on_error=0:exitcode=23:detect_leaks=1:detect_stack_use_after_return=1:check_initialization_order=1:strict_init_order=1${ASAN_OPTIONS:+:$ASAN_OPTIONS}"
export LSAN_OPTIONS="suppressions=$PWD/scripts/lsan.supp:print_suppressions=0${LSAN_OPTIONS:+:$LSAN_OPTIONS}"
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1:exitcode=24${UBSAN_OPTIONS:+:$UBSAN_OPTIONS}"
BUILD_DIR="$BUILD_DIR" BUILD_TYPE=Sanitize bash scripts/test.sh

#!/usr/bin/env bash
# Builds and runs the line-alignment benchmark; extra arguments go to it (--quick, --no-gnu).
# Takes a few minutes in full: GNU diff --minimal on a million lines is slow.
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD_DIR="${BUILD_DIR:-build}"
cmake -S . -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE="${BUILD_TYPE:-RelWithDebInfo}" >/dev/null
cmake --build "$BUILD_DIR" -j 2 --target bench_engine_diff
exec "$BUILD_DIR/bench/bench_engine_diff" "$@"

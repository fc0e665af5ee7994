#!/usr/bin/env bash
# Builds the program alone (Release, into build-run/; no tests, no benchmarks) and starts it with
# the given arguments:
#
#   bash scripts/run.sh                 the window, empty
#   bash scripts/run.sh LEFT RIGHT      the window, comparing LEFT and RIGHT
#
# Installs what is missing first (Java among it) and fetches the Apache Tika server file, with
# which the program starts its own server when a document comparison needs one. A later run
# rebuilds only what changed.
set -euo pipefail
here="$PWD"
cd "$(dirname "$0")/.."
root="$PWD"
bash scripts/install-deps.sh
if ! bash scripts/tika-server.sh fetch >/dev/null; then
  echo "WARNING: the Apache Tika server could not be fetched; document comparison will not work." >&2
fi
BUILD_DIR="${RUN_BUILD_DIR:-build-run}"
cmake -S . -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQUORLANE_BUILD_TESTS=OFF >/dev/null
cmake --build "$BUILD_DIR" -j "$(nproc)" --target quorlane
# Relative paths are the caller's, as typed.
cd "$here"
exec "$root/$BUILD_DIR/quorlane" "$@"

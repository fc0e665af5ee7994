#!/usr/bin/env bash
# Installs what is missing, builds, and runs the whole test suite; exits non-zero on any failure.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
bash scripts/build.sh
# The document tests run against the real Apache Tika server; when it cannot be fetched they
# skip with a loud message and the rest of the run goes on.
if [ -z "${QUORLANE_TIKA_JAR:-}" ] || [ ! -s "$QUORLANE_TIKA_JAR" ]; then
  if QUORLANE_TIKA_JAR="$(bash scripts/tika-server.sh fetch)"; then
    export QUORLANE_TIKA_JAR
  else
    unset QUORLANE_TIKA_JAR
    echo "WARNING: the Apache Tika server could not be fetched; the Tika server tests will be SKIPPED." >&2
  fi
fi
export QT_QPA_PLATFORM=offscreen
cd "${BUILD_DIR:-build}"
ctest --output-on-failure -j "$(nproc)"

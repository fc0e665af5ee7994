#!/usr/bin/env bash
# Installs what is missing (Java among it), fetches the Apache Tika server file, builds, and
# starts Quorlane. The program starts the Tika server itself when a document comparison needs it.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
if ! bash scripts/tika-server.sh fetch >/dev/null; then
  echo "WARNING: the Apache Tika server could not be fetched; document comparison will not work." >&2
fi
bash scripts/build.sh
exec "${BUILD_DIR:-build}/quorlane"

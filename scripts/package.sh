#!/usr/bin/env bash
# Builds the Debian package dist/quorlane_1.0_amd64.deb: a Release build of the program alone
# (no tests; no start-up update check, since apt updates an installed package), then CPack,
# whose dependencies dpkg-shlibdeps computes from the binary.
#
#   scripts/package.sh            build the package
#   scripts/package.sh --install  build it, then install it with apt-get (needs root or sudo)
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
BUILD_DIR="${PACKAGE_BUILD_DIR:-build-package}"
OUT_DIR="${PACKAGE_OUT_DIR:-$PWD/dist}"
cmake -S . -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQUORLANE_BUILD_TESTS=OFF -DQUORLANE_UPDATE_CHECK=OFF >/dev/null
cmake --build "$BUILD_DIR" -j "$(nproc)" --target quorlane
mkdir -p "$OUT_DIR"
(cd "$BUILD_DIR" && cpack -G DEB -B "$OUT_DIR" >/dev/null)
rm -rf "$OUT_DIR/_CPack_Packages"
DEB="$(ls -t "$OUT_DIR"/quorlane_*.deb | head -n 1)"
echo "$DEB"
if [ "${1:-}" = "--install" ]; then
    SUDO=""
    if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
    $SUDO apt-get install -y "$DEB"
fi

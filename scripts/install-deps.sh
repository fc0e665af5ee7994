#!/usr/bin/env bash
# Installs the Debian packages the build, the program and the tests need, and any named as
# arguments; does nothing when all are there.
set -euo pipefail

PACKAGES=(
  g++ cmake ninja-build pkg-config
  qt6-base-dev qt6-svg-dev libgl-dev
  fonts-liberation fonts-dejavu-core fonts-noto-mono
  xvfb xauth
  diffutils
  openssl
  openjdk-17-jre-headless maven
  desktop-file-utils appstream dpkg-dev lintian git patch openbox xdotool wmctrl x11-utils imagemagick time
)
# Callers may ask for more (scripts/fuzz.sh adds clang).
PACKAGES+=("$@")

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null

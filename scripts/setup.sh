#!/usr/bin/env bash
# Installs every Debian package that building, running and testing Vell needs.
# Safe to run again: apt-get skips what is already there.
set -euo pipefail

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi

BUILD_PACKAGES=(
  build-essential cmake ninja-build pkg-config clang-format
  qt6-base-dev qt6-base-dev-tools qt6-declarative-dev qt6-multimedia-dev qt6-websockets-dev
  qcoro-qt6-dev
  libx11-dev libxi-dev libxext-dev libxcomposite-dev libxres-dev libxtst-dev libxfixes-dev
  libpocketsphinx-dev libsphinxbase-dev pocketsphinx-en-us
  libpulse-dev
)
RUNTIME_PACKAGES=(
  qml6-module-qtquick qml6-module-qtquick-window qml6-module-qtquick-controls
  qml6-module-qtquick-layouts qml6-module-qtqml-workerscript qml6-module-qtquick-templates
  qml6-module-qtquick-shapes
  libqt6multimedia6 gstreamer1.0-plugins-base gstreamer1.0-pulseaudio
  sound-theme-freedesktop pulseaudio-utils
)
TEST_PACKAGES=(
  xvfb xauth x11-utils openbox xcompmgr trayer xclip xdotool
  pulseaudio pocketsphinx-testdata
  chromium openssl python3 procps
)

want=("${BUILD_PACKAGES[@]}" "${RUNTIME_PACKAGES[@]}")
if [ "${1:-}" = "--tests" ]; then want+=("${TEST_PACKAGES[@]}"); fi

missing=()
for p in "${want[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ "${#missing[@]}" -gt 0 ]; then
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update -q
  $SUDO apt-get install -y -q --no-install-recommends "${missing[@]}"
fi

#!/usr/bin/env bash
# Installs the Debian 12 packages the build, the program and the tests need; skips what is there.
set -euo pipefail

PACKAGES=(
  build-essential cmake pkg-config
  qtbase5-dev qtdeclarative5-dev
  qml-module-qtquick-controls qml-module-qtquick-dialogs qml-module-qt-labs-settings
  qml-module-qtquick-layouts qml-module-qtquick-window2 qml-module-qtquick2 qml-module-qttest
  libvtk9-dev libglew-dev libgl1-mesa-dri mesa-utils
  xvfb xauth x11-utils xdotool imagemagick
  libgtest-dev libgmock-dev
  libarchive-dev libpng-dev
  fonts-dejavu-core
  clang libclang-rt-14-dev
)

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
$SUDO apt-get update
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y --no-install-recommends "${missing[@]}"

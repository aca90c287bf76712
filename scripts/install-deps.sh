#!/usr/bin/env bash
# Installs the Debian 12 packages the build, the program and the tests need; skips what is there.
# Prints one line per step; the package manager's own output goes to a log file whose path is
# printed when a step fails.
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

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
LOG="$(mktemp "${TMPDIR:-/tmp}/quonixvr-install-deps-XXXXXX.log")"

# step DESCRIPTION COMMAND...: one line, "done" or the log's path.
step() {
  local what="$1"
  shift
  printf '%s ... ' "$what"
  echo "== $what: $*" >>"$LOG"
  if "$@" >>"$LOG" 2>&1 </dev/null; then
    echo "done"
  else
    echo "failed"
    echo "The package manager's output is in $LOG" >&2
    exit 1
  fi
}

step "Fetching the package lists" $SUDO apt-get update
step "Installing ${missing[*]}" \
  $SUDO env DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends "${missing[@]}"
rm -f "$LOG"

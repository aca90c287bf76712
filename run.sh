#!/usr/bin/env bash
# Sets up a fresh Debian 12 machine, builds, and runs the program:
#   ./run.sh                  the main window
#   ./run.sh file.sce         opens a scene file
#   ./run.sh host port        connects to a simulation server
# Without a display the program runs under Xvfb.
set -euo pipefail
cd "$(dirname "$0")"
scripts/install-deps.sh
scripts/build.sh
BIN="${QUONIX_BUILD_DIR:-build}/bin/quonixvr"
if [ -z "${DISPLAY:-}" ]; then
  exec xvfb-run -a -s "-screen 0 1280x1024x24 -noreset" "$BIN" "$@"
fi
exec "$BIN" "$@"

#!/usr/bin/env bash
# Sets up a fresh Debian 12 machine, builds, and runs the whole test suite.
# Window and OpenGL tests run under Xvfb; the run ends with ctest's summary.
set -euo pipefail
cd "$(dirname "$0")"
scripts/install-deps.sh
QUONIX_BUILD_TARGET= scripts/build.sh
BUILD_DIR="${QUONIX_BUILD_DIR:-build}"
cd "$BUILD_DIR"
export QSG_RENDER_LOOP=threaded
exec xvfb-run -a -s "-screen 0 1280x1024x24 -noreset" ctest --output-on-failure -j"$(nproc)" "$@"

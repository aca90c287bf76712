#!/usr/bin/env bash
# Configures and builds into build/ (or $QUONIX_BUILD_DIR). Extra arguments go to cmake.
# QUONIX_BUILD_TARGET builds one target instead of everything (./run.sh: quonix_program, the
# program and what it runs with).
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD_DIR="${QUONIX_BUILD_DIR:-build}"
cmake -S . -B "$BUILD_DIR" -DCMAKE_BUILD_TYPE="${CMAKE_BUILD_TYPE:-RelWithDebInfo}" "$@" >/dev/null
cmake --build "$BUILD_DIR" -j"$(nproc)" ${QUONIX_BUILD_TARGET:+--target "$QUONIX_BUILD_TARGET"}

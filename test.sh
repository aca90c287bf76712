#!/usr/bin/env bash
# Sets up a fresh Debian 12 machine, builds, and runs the whole test suite.
# Window and OpenGL tests run under Xvfb; the run ends with ctest's summary.
set -euo pipefail
cd "$(dirname "$0")"
scripts/install-deps.sh
QUONIX_BUILD_TARGET= scripts/build.sh
BUILD_DIR="${QUONIX_BUILD_DIR:-build}"

# With an OpenVR SDK beside the repository, the program is also built against it, in its own
# folder and only with what its tests need: they run it through the SDK's loader.
OPENVR_SDK=../shared/openvr-sdk
if [ -d "$OPENVR_SDK" ]; then
  sdk_start=$SECONDS
  SDK_BUILD_DIR="${BUILD_DIR}-openvr-sdk"
  cmake -S . -B "$SDK_BUILD_DIR" -DCMAKE_BUILD_TYPE="${CMAKE_BUILD_TYPE:-RelWithDebInfo}" \
    -DQUONIX_OPENVR_SDK="$OPENVR_SDK" >/dev/null
  cmake --build "$SDK_BUILD_DIR" -j"$(nproc)" --target test_openvr_runtime_loader test_e2e_openvr_runtime
  (cd "$SDK_BUILD_DIR" && QSG_RENDER_LOOP=threaded \
    xvfb-run -a -s "-screen 0 1280x1024x24 -noreset" ctest --output-on-failure)
  echo "OpenVR SDK configuration built and tested in $((SECONDS - sdk_start)) s"
fi

cd "$BUILD_DIR"
export QSG_RENDER_LOOP=threaded
exec xvfb-run -a -s "-screen 0 1280x1024x24 -noreset" ctest --output-on-failure -j"$(nproc)" "$@"

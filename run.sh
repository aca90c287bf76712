#!/usr/bin/env bash
# Sets up a fresh Debian 12 machine, builds, and runs the program on the simulated headset:
#   ./run.sh                  opens the sample scene (build/bin/sample_vr.sce)
#   ./run.sh file.sce         opens a scene file
#   ./run.sh host port        connects to a simulation server
# Without a display the program runs under Xvfb for a few seconds and leaves the headset's eye
# images and a screenshot of its window in a folder whose name it prints
# (QUONIX_RUN_OUTPUT chooses the folder; QUONIX_RUN_SECONDS how long the program runs).
set -euo pipefail
cd "$(dirname "$0")"
scripts/install-deps.sh
QUONIX_BUILD_TARGET=quonix_program scripts/build.sh
BIN_DIR="${QUONIX_BUILD_DIR:-build}/bin"
BIN="$BIN_DIR/quonixvr"
if [ "$#" -eq 0 ]; then
  set -- "$BIN_DIR/sample_vr.sce"
fi
if [ -n "${DISPLAY:-}" ]; then
  exec "$BIN" "$@"
fi

OUT="${QUONIX_RUN_OUTPUT:-$(mktemp -d "${TMPDIR:-/tmp}/quonixvr-run-XXXXXX")}"
mkdir -p "$OUT/eyes"
OUT="$(cd "$OUT" && pwd)"
export QUONIX_RUN_OUTPUT="$OUT" QUONIX_RUN_SECONDS="${QUONIX_RUN_SECONDS:-8}" QUONIX_BIN="$(cd "$BIN_DIR" && pwd)/quonixvr"
export QUONIX_VRSIM_CAPTURE_DIR="$OUT/eyes" QUONIX_VRSIM_CAPTURE_EVERY="${QUONIX_VRSIM_CAPTURE_EVERY:-10}"
status=0
xvfb-run -a -s "-screen 0 1280x1024x24 -noreset" bash -c '
  "$QUONIX_BIN" "$@" >"$QUONIX_RUN_OUTPUT/stdout.txt" 2>"$QUONIX_RUN_OUTPUT/stderr.txt" &
  pid=$!
  end=$((SECONDS + QUONIX_RUN_SECONDS))
  while [ $SECONDS -lt $end ] && kill -0 $pid 2>/dev/null; do
    # The scene and frame pickers take their first entry, as Return on them does.
    for picker in $(xdotool search --onlyvisible --pid $pid --name "^Select (scene|frame)$" 2>/dev/null); do
      xdotool windowfocus --sync "$picker" key Return 2>/dev/null || true
    done
    sleep 0.5
  done
  if kill -0 $pid 2>/dev/null; then
    window=$(xdotool search --onlyvisible --pid $pid --name "^Mavolin Quonix Virtual Reality" 2>/dev/null | head -n 1)
    if [ -n "$window" ]; then
      xdotool getwindowname "$window" >"$QUONIX_RUN_OUTPUT/title.txt"
      import -window "$window" "$QUONIX_RUN_OUTPUT/window.png"
    fi
    kill -TERM $pid
  fi
  wait $pid
' quonixvr "$@" || status=$?
echo "quonixvr ran under Xvfb: eye images in $OUT/eyes ($(ls "$OUT/eyes" | wc -l) files)," \
  "window screenshot $OUT/window.png, window title, output and errors beside them"
exit $status

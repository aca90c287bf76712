#!/usr/bin/env bash
# CPU of the program's idle loop: the real program on the sample scene (first frame set, first
# frame), headset still and paced at its own rate (90 Hz by default), nobody touching anything.
# Prints the frames per second and the CPU the whole process used in that time, in cores
# (1.00 = one core busy), per run.
#
# Usage: bench/sceneview/idle_loop.sh [program (default build/bin/quonixvr)] [frames to measure
# (default 900)] [runs (default 3)]. Several programs may be given separated by commas
# (prog1,prog2): their runs then alternate, so drift of a shared machine moves both alike.
# Needs xvfb-run and xdotool. The program's base folder (config.ini, assets, the sample) is the
# one beside each program.
set -euo pipefail
cd "$(dirname "$0")/../.."
PROGRAMS="${1:-build/bin/quonixvr}"
FRAMES="${2:-900}"
RUNS="${3:-3}"
# The measurement starts this many frames after the first one: start-up work (the back buffer's
# first pass, the icon and palette preload) is over by then.
SETTLE=450
TICKS=$(getconf CLK_TCK)

run_one() {
  local bin="$1" out
  out="$(mktemp -d "${TMPDIR:-/tmp}/idle-loop-XXXXXX")"
  mkdir -p "$out/eyes"
  local first=$SETTLE last=$((SETTLE + FRAMES))
  QUONIX_VRSIM_CAPTURE_DIR="$out/eyes" QUONIX_VRSIM_CAPTURE_FRAMES="$first,$last" QUONIX_OUT="$out" \
    QUONIX_BIN="$bin" QUONIX_FIRST="$first" QUONIX_LAST="$last" QUONIX_TICKS="$TICKS" \
    xvfb-run -a -s "-screen 0 1280x1024x24 -noreset" bash -c '
      ticks() { awk "{print \$14 + \$15}" "/proc/$1/stat"; }
      now() { date +%s.%N; }
      # A frame is whole once its right eye is written.
      captured() { [ -e "$QUONIX_OUT/eyes/$(printf frame-%06d-right.png "$1")" ]; }
      sample="$(dirname "$QUONIX_BIN")/sample_vr.sce"
      "$QUONIX_BIN" "$sample" >"$QUONIX_OUT/stdout" 2>"$QUONIX_OUT/stderr" &
      pid=$!
      deadline=$((SECONDS + 300))
      t0= c0= t1= c1=
      while kill -0 $pid 2>/dev/null && [ $SECONDS -lt $deadline ]; do
        for picker in $(xdotool search --onlyvisible --pid $pid --name "^Select (scene|frame)$" 2>/dev/null); do
          xdotool windowfocus --sync "$picker" key Return 2>/dev/null || true
        done
        if [ -z "$t0" ] && captured "$QUONIX_FIRST"; then t0=$(now); c0=$(ticks $pid); fi
        if [ -n "$t0" ] && captured "$QUONIX_LAST"; then t1=$(now); c1=$(ticks $pid); break; fi
        sleep 0.02
      done
      kill -TERM $pid 2>/dev/null || true
      wait $pid 2>/dev/null || true
      if [ -z "$t1" ]; then echo "no frame $QUONIX_LAST within the limit" >&2; exit 1; fi
      awk -v t0=$t0 -v t1=$t1 -v c0=$c0 -v c1=$c1 -v hz=$QUONIX_TICKS -v n=$((QUONIX_LAST - QUONIX_FIRST)) \
        "BEGIN { printf \"%7.1f fps   %5.2f cores\n\", n / (t1 - t0), (c1 - c0) / hz / (t1 - t0) }"
    '
  rm -rf "$out"
}

IFS=, read -r -a LIST <<<"$PROGRAMS"
echo "idle loop on the sample: frames $SETTLE to $((SETTLE + FRAMES)); load $(cut -d' ' -f1-3 /proc/loadavg)"
for ((r = 1; r <= RUNS; ++r)); do
  for bin in "${LIST[@]}"; do
    printf "run %d  %-40s " "$r" "$bin"
    run_one "$(realpath "$bin")" || echo "failed"
  done
done
echo "load $(cut -d' ' -f1-3 /proc/loadavg)"

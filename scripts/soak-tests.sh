#!/usr/bin/env bash
# Repeats chosen tests of the built suite under load and prints each test's pass count:
#   scripts/soak-tests.sh [-n N] [-j J] [-b BUILD_DIR] [TEST...]
# Every named ctest test (all of them when none is named) runs N times (default 10), J runs at
# once (default: the number of cores). Each of the J slots has an X server of its own, so the
# end-to-end tests, which take the display's keyboard focus, may run side by side. The output of
# each failed run is kept in a folder whose name the summary prints. Exit status 1 when any run
# failed.
set -euo pipefail
cd "$(dirname "$0")/.."

runs=10
jobs="$(nproc)"
build="${QUONIX_BUILD_DIR:-build}"
usage() {
  sed -n '2,9p' "$0" | sed 's/^# \{0,1\}//' >&2
  exit 2
}
while getopts "n:j:b:h" option; do
  case "$option" in
    n) runs="$OPTARG" ;;
    j) jobs="$OPTARG" ;;
    b) build="$OPTARG" ;;
    *) usage ;;
  esac
done
shift $((OPTIND - 1))
[[ "$runs" =~ ^[1-9][0-9]*$ && "$jobs" =~ ^[1-9][0-9]*$ ]] || usage
[ -f "$build/CTestTestfile.cmake" ] || {
  echo "soak-tests: no test suite in $build (build it first: scripts/build.sh)" >&2
  exit 2
}
build="$(cd "$build" && pwd)"

all="$(cd "$build" && ctest -N | sed -n 's/^ *Test *#[0-9]*: //p')"
tests=("$@")
if [ ${#tests[@]} -eq 0 ]; then
  mapfile -t tests <<<"$all"
fi
for t in "${tests[@]}"; do
  grep -qxF "$t" <<<"$all" || {
    echo "soak-tests: no test named $t in $build" >&2
    exit 2
  }
done

out="$(mktemp -d "${TMPDIR:-/tmp}/quonix-soak-XXXXXX")"
# The runs, round after round, dealt to the slots in turn.
tasks=()
for ((r = 1; r <= runs; ++r)); do
  for t in "${tests[@]}"; do tasks+=("$t $r"); done
done

# One slot: its own X server, its share of the runs one after another; one result line per run.
slot() {
  local index="$1" display xvfb
  exec 3>"$out/display-$index"
  Xvfb -displayfd 3 -screen 0 1280x1024x24 -noreset -nolisten tcp >"$out/xvfb-$index.log" 2>&1 &
  xvfb=$!
  exec 3>&-
  for _ in $(seq 100); do
    display="$(cat "$out/display-$index")"
    [ -n "$display" ] && break
    sleep 0.1
  done
  if [ -z "$display" ]; then
    echo "soak-tests: slot $index: Xvfb did not start (see $out/xvfb-$index.log)" >&2
    kill "$xvfb" 2>/dev/null || true
    return
  fi
  local i name run log
  for ((i = index; i < ${#tasks[@]}; i += jobs)); do
    name="${tasks[$i]% *}"
    run="${tasks[$i]#* }"
    log="$out/$name-$run.log"
    if (cd "$build" && DISPLAY=":$display" QSG_RENDER_LOOP=threaded \
        ctest -R "^${name}\$" --output-on-failure >"$log" 2>&1); then
      echo "$name pass" >>"$out/results-$index"
      rm -f "$log"
    else
      echo "$name fail $log" >>"$out/results-$index"
    fi
  done
  kill "$xvfb" 2>/dev/null || true
  wait "$xvfb" 2>/dev/null || true
}

start=$SECONDS
pids=()
for ((s = 0; s < jobs && s < ${#tasks[@]}; ++s)); do
  slot "$s" &
  pids+=($!)
done
trap 'kill "${pids[@]}" 2>/dev/null || true' INT TERM
for p in "${pids[@]}"; do wait "$p" || true; done

failed=0
echo "Soak: ${#tests[@]} test(s), $runs run(s) each, $jobs at once, $((SECONDS - start)) s"
for t in "${tests[@]}"; do
  passes=$(cat "$out"/results-* 2>/dev/null | grep -c "^$t pass$" || true)
  printf '  %-40s %d/%d passed\n' "$t" "$passes" "$runs"
  [ "$passes" -eq "$runs" ] || failed=1
done
if [ "$failed" -ne 0 ]; then
  echo "Failed runs' output:"
  cat "$out"/results-* | sed -n 's/^[^ ]* fail /  /p'
  exit 1
fi
rm -rf "$out"

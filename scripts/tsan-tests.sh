#!/usr/bin/env bash
# Builds the ThreadSanitizer configuration into build-tsan/ (or $QUONIX_BUILD_DIR) and runs the
# test suite under it, as test.sh runs it; extra arguments go to ctest (e.g. -R test_e2e_server).
# TSAN_JOBS sets how many tests run at once (default 2: every test runs several times slower and
# larger). Every report lands in build-tsan/tsan-reports/; the summary counts them and names the
# ones that reach the project's own code. Exit status 1 when a test failed or a report came.
set -euo pipefail
cd "$(dirname "$0")/.."
SOURCE_DIR="$(pwd)"
BUILD_DIR="${QUONIX_BUILD_DIR:-build-tsan}"
JOBS="${TSAN_JOBS:-2}"

scripts/install-deps.sh
cmake -S . -B "$BUILD_DIR" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUONIX_SANITIZE=thread \
  -DQUONIX_BUILD_FUZZ=OFF -DQUONIX_BUILD_BENCH=OFF >/dev/null
cmake --build "$BUILD_DIR" -j"$(nproc)"

REPORTS="$BUILD_DIR/tsan-reports"
rm -rf "$REPORTS"
mkdir -p "$REPORTS"
start=$SECONDS
status=0
(cd "$BUILD_DIR" && QSG_RENDER_LOOP=threaded xvfb-run -a -s "-screen 0 1280x1024x24 -noreset" \
  ctest --output-on-failure -j"$JOBS" "$@") || status=$?
echo "ThreadSanitizer suite: $((SECONDS - start)) s"

reports=0
own=0
for f in "$REPORTS"/report.*; do
  [ -e "$f" ] || continue
  n=$(grep -c "^WARNING: ThreadSanitizer" "$f" || true)
  reports=$((reports + n))
  # A report whose stacks pass through a source file of the project.
  if grep -q "$SOURCE_DIR/\(src\|platform\|server\|utilities\|tests\)/" "$f"; then
    own=$((own + 1))
    echo "  reaches the project's code: $f"
  fi
done
echo "ThreadSanitizer reports: $reports (files reaching the project's code: $own), in $REPORTS"
[ "$reports" -eq 0 ] || status=1
exit $status

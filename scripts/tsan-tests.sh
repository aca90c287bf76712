#!/usr/bin/env bash
# Builds the ThreadSanitizer configuration into build-tsan/ (or $QUONIX_BUILD_DIR) and runs the
# test suite under it, as test.sh runs it; extra arguments go to ctest (e.g. -R test_e2e_server).
# TSAN_JOBS sets how many tests run at once (default 2: every test runs several times slower and
# larger). Every report lands in build-tsan/tsan-reports/; the summary counts them and those with
# an access in the project's own code. Exit status 1 when a test failed or such a report came.
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

# A report is the project's when one of its accesses was made in the project's own code (the
# innermost frame outside the sanitizer is in one of its programs or libraries, or names one of its
# source folders); the others lie inside
# system libraries, where Qt's private functions have no names a suppression could use.
summary=$(cat "$REPORTS"/report.* 2>/dev/null | awk -v dir="$SOURCE_DIR" '
  BEGIN { own_path = "(^|[ /])(\\.\\./)*(src|platform|server|utilities|tests)/" }
  /^WARNING: ThreadSanitizer/ { in_report = 1; own = 0; want = 0; next }
  in_report && /^  (Write|Read|Previous|Atomic)/ { want = 1; next }
  in_report && want && /^    #[0-9]+ / {
    if ($0 ~ /libtsan\.so/) next
    module = $0
    sub(/^.*\(/, "", module)
    sub(/\+0x[0-9a-f]+\)$/, "", module)
    # The project programs and libraries, or one of its source files (inlined into them).
    if (index($0, dir "/") || $0 ~ own_path || module !~ /\.so/ || module ~ /^libZelt/) own = 1
    want = 0
    next
  }
  in_report && /^SUMMARY: ThreadSanitizer/ { total++; if (own) owned++; in_report = 0 }
  END { print total + 0, owned + 0 }')
read -r reports own <<<"$summary"
echo "ThreadSanitizer reports: $reports, of which $own with an access in the project's own code (in $REPORTS)"
[ "$own" -eq 0 ] || status=1
exit $status

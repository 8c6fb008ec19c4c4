#!/usr/bin/env bash
# Sets up, builds and runs every test: the full build, the widget-free parts under
# AddressSanitizer/UndefinedBehaviorSanitizer, the CAN tests under ThreadSanitizer (when present),
# and bounded fuzzing runs of the receiver and of the payload and selection parsers (when clang
# is available).
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT=$(pwd)

bash scripts/setup.sh

JOBS=${CMAKE_BUILD_PARALLEL_LEVEL:-$(nproc)}
FUZZ_SECONDS=${ZEL_FUZZ_SECONDS:-30}
# The payload and selection parsers are small: 15 s unless ZEL_FUZZ_SECONDS says otherwise.
TEXT_FUZZ_SECONDS=${ZEL_FUZZ_SECONDS:-15}
PASSED=0
FAILED=0

# Runs ctest in a build folder and adds its counts to the totals; fails the script on a failure.
run_ctest() {
  local dir=$1; shift
  local log
  log=$(mktemp)
  set +e
  ctest --test-dir "$dir" --output-on-failure --timeout 300 -j"$JOBS" "$@" 2>&1 | tee "$log"
  local rc=${PIPESTATUS[0]}
  set -e
  local line
  line=$(grep -E 'tests passed, [0-9]+ tests failed out of [0-9]+' "$log" | tail -n 1 || true)
  if [ -n "$line" ]; then
    local total failed
    failed=$(sed -E 's/.* ([0-9]+) tests failed out of ([0-9]+).*/\1/' <<<"$line")
    total=$(sed -E 's/.* ([0-9]+) tests failed out of ([0-9]+).*/\2/' <<<"$line")
    PASSED=$((PASSED + total - failed))
    FAILED=$((FAILED + failed))
  fi
  rm -f "$log"
  if [ "$rc" -ne 0 ]; then
    echo "tests: $PASSED passed, $((FAILED > 0 ? FAILED : 1)) failed"
    exit "$rc"
  fi
}

echo "== sanitizer build (widget-free parts, ASan + UBSan)"
cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DZEL_CORE_ONLY=ON -DZEL_SANITIZE=ON
cmake --build build-asan -j"$JOBS"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 \
LSAN_OPTIONS=suppressions=$ROOT/scripts/lsan.supp:print_suppressions=0 \
UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  run_ctest build-asan

if [ -f scripts/tsan-can.sh ]; then
  echo "== CAN tests under ThreadSanitizer"
  bash scripts/tsan-can.sh
fi

if command -v clang++ >/dev/null 2>&1; then
  echo "== fuzzing the receiver for ${FUZZ_SECONDS}s"
  cmake -S fuzz -B build-fuzz -G Ninja -DCMAKE_CXX_COMPILER=clang++
  cmake --build build-fuzz -j"$JOBS"
  mkdir -p build-fuzz/corpus
  cp -n fuzz/corpus/* build-fuzz/corpus/ 2>/dev/null || true
  if ! ./build-fuzz/receiver_fuzz -max_total_time="$FUZZ_SECONDS" -print_final_stats=1 build-fuzz/corpus \
      > build-fuzz/fuzz.log 2>&1; then
    cat build-fuzz/fuzz.log
    echo "tests: $PASSED passed, 1 failed"
    exit 1
  fi
  tail -n 12 build-fuzz/fuzz.log

  echo "== fuzzing the payload and selection parsers for ${TEXT_FUZZ_SECONDS}s"
  mkdir -p build-fuzz/corpus-cmdtext
  cp -n fuzz/corpus-cmdtext/* build-fuzz/corpus-cmdtext/ 2>/dev/null || true
  if ! ./build-fuzz/cmdtext_fuzz -max_total_time="$TEXT_FUZZ_SECONDS" -print_final_stats=1 build-fuzz/corpus-cmdtext \
      > build-fuzz/cmdtext_fuzz.log 2>&1; then
    cat build-fuzz/cmdtext_fuzz.log
    echo "tests: $PASSED passed, 1 failed"
    exit 1
  fi
  tail -n 12 build-fuzz/cmdtext_fuzz.log
else
  echo "== clang++ not found: fuzzing skipped"
fi

echo "== full build and tests"
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBUILD_TESTING=ON -DZEL_BUILD_BENCH=ON
cmake --build build -j"$JOBS"
run_ctest build

echo "== console on a real X server (xvfb-run, xcb), with a screenshot while a move runs"
mkdir -p build/screenshots
if ZEL_SCREENSHOT="$ROOT/build/screenshots/console.png" QT_QPA_PLATFORM=xcb \
    xvfb-run -a -s "-screen 0 1280x1024x24" \
    build/tests/ui/console_e2e_tests --gtest_filter=ConsoleE2E.LiveStateWhileAMoveRuns; then
  PASSED=$((PASSED + 1))
  echo "screenshot: build/screenshots/console.png"
else
  echo "tests: $PASSED passed, $((FAILED + 1)) failed"
  exit 1
fi

echo "== the console's own start (font warm-up thread, first paint, orderly end) on a real X server"
if QT_QPA_PLATFORM=xcb xvfb-run -a -s "-screen 0 1280x1024x24" build/tests/ui/console_start_tests; then
  PASSED=$((PASSED + 1))
else
  echo "tests: $PASSED passed, $((FAILED + 1)) failed"
  exit 1
fi

echo "== install into a temporary prefix"
if bash scripts/install-check.sh build; then
  PASSED=$((PASSED + 1))
else
  echo "tests: $PASSED passed, $((FAILED + 1)) failed"
  exit 1
fi

echo "== the Debian package, unpacked into a temporary root"
if bash scripts/package-check.sh build; then
  PASSED=$((PASSED + 1))
else
  echo "tests: $PASSED passed, $((FAILED + 1)) failed"
  exit 1
fi

echo "tests: $PASSED passed, $FAILED failed"

#!/usr/bin/env bash
# Sets up, builds and runs every test, with warnings as errors: the whole offscreen suite (widgets
# included) under AddressSanitizer/UndefinedBehaviorSanitizer, the CAN tests under
# ThreadSanitizer, bounded fuzzing runs of the receiver, of the payload and selection parsers and
# of the readers of logs, recordings, settings and zelctl's scripts (when clang is available), and
# a plain build for what must run without sanitizers: the console on a real X server, the
# installed programs and device library, and the benchmarks' compilation.
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT=$(pwd)

bash scripts/setup.sh

JOBS=${CMAKE_BUILD_PARALLEL_LEVEL:-$(nproc)}
FUZZ_SECONDS=${ZEL_FUZZ_SECONDS:-30}
# The payload and selection parsers are small: 15 s unless ZEL_FUZZ_SECONDS says otherwise.
TEXT_FUZZ_SECONDS=${ZEL_FUZZ_SECONDS:-15}
# The file and script readers: 12 s each unless ZEL_FUZZ_SECONDS says otherwise.
FILE_FUZZ_SECONDS=${ZEL_FUZZ_SECONDS:-12}
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

# Runs one check that counts as a test; fails the script when it fails.
must_pass() {
  if "$@"; then
    PASSED=$((PASSED + 1))
  else
    echo "tests: $PASSED passed, $((FAILED + 1)) failed"
    exit 1
  fi
}

# Starts a timed step.
STEP_START=$SECONDS
step() {
  echo "== $* (at $((SECONDS - STEP_START)) s)"
}

step "the whole suite under ASan + UBSan (offscreen)"
cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZEL_SANITIZE=ON -DZEL_WERROR=ON \
  -DZEL_PYTHON=OFF
cmake --build build-asan -j"$JOBS"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 \
LSAN_OPTIONS=suppressions=$ROOT/scripts/lsan.supp:print_suppressions=0 \
UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  run_ctest build-asan

# The CAN tests also ran above under ASan with leak checking; here they run under TSan.
step "CAN tests under ThreadSanitizer"
bash scripts/tsan-can.sh thread

# Runs one fuzz target over its seed corpus for a bounded time; fails the script on a finding.
fuzz() {
  local target=$1 corpus=$2 seconds=$3
  mkdir -p "build-fuzz/$corpus"
  cp -n "fuzz/$corpus"/* "build-fuzz/$corpus/" 2>/dev/null || true
  if ! "./build-fuzz/$target" -max_total_time="$seconds" -print_final_stats=1 "build-fuzz/$corpus" \
      > "build-fuzz/$target.log" 2>&1; then
    cat "build-fuzz/$target.log"
    echo "tests: $PASSED passed, 1 failed"
    exit 1
  fi
  tail -n 12 "build-fuzz/$target.log"
}

if command -v clang++ >/dev/null 2>&1; then
  step "building the fuzz targets (clang, libFuzzer)"
  cmake -S fuzz -B build-fuzz -G Ninja -DCMAKE_CXX_COMPILER=clang++
  cmake --build build-fuzz -j"$JOBS"
  step "fuzzing the receiver for ${FUZZ_SECONDS}s"
  fuzz receiver_fuzz corpus "$FUZZ_SECONDS"
  step "fuzzing the payload and selection parsers for ${TEXT_FUZZ_SECONDS}s"
  fuzz cmdtext_fuzz corpus-cmdtext "$TEXT_FUZZ_SECONDS"
  step "fuzzing the link parser for ${TEXT_FUZZ_SECONDS}s"
  fuzz linkaddress_fuzz corpus-link "$TEXT_FUZZ_SECONDS"
  # What users hand the programs: saved command logs, sensor recordings, settings files and
  # zelctl's scripts and words, each through its real reader.
  # and zel-gateway's configuration file and its clients' Modbus requests.
  for target in logcsv recording ini zelctl gatewayconfig gateway; do
    step "fuzzing the ${target} reader for ${FILE_FUZZ_SECONDS}s"
    fuzz "${target}_fuzz" "corpus-$target" "$FILE_FUZZ_SECONDS"
  done
else
  echo "== clang++ not found: fuzzing skipped"
fi

# The tests ran above under the sanitizers; this build has the programs, the Python module (an
# interpreter cannot load a sanitized one), the two tests that run on a real X server and the
# benchmarks (compiled, not run: their figures are for people). Packaging installs only what this
# list built, not everything.
step "plain build: programs, Python module, X server tests, benchmarks"
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZEL_WERROR=ON -DCMAKE_SKIP_INSTALL_ALL_DEPENDENCY=ON
cmake --build build -j"$JOBS" --target zel-console zel-taq zel-sim zelctl zel-gateway manpages changelog zel_python \
  console_e2e_tests console_start_tests benchmarks

step "the Python module against zel-sim (pytest)"
run_ctest build -R '^python_zel$'

step "console on a real X server (xvfb-run, xcb), with a screenshot while a move runs"
mkdir -p build/screenshots
must_pass env ZEL_SCREENSHOT="$ROOT/build/screenshots/console.png" QT_QPA_PLATFORM=xcb \
  xvfb-run -a -s "-screen 0 1280x1024x24" \
  build/tests/ui/console_e2e_tests --gtest_filter=ConsoleE2E.LiveStateWhileAMoveRuns
echo "screenshot: build/screenshots/console.png"

step "the console's own start (first paint, orderly end) on a real X server"
must_pass env QT_QPA_PLATFORM=xcb xvfb-run -a -s "-screen 0 1280x1024x24" build/tests/ui/console_start_tests

step "install into a temporary prefix"
must_pass bash scripts/install-check.sh build

step "a program of its own on the installed device library, against zel-sim"
must_pass bash scripts/example-check.sh build

step "the Debian package, unpacked into a temporary root"
must_pass bash scripts/package-check.sh build

step "done"

echo "tests: $PASSED passed, $FAILED failed"

#!/usr/bin/env bash
# Builds the CAN tests (library layer, transport, dialog, end to end against zel-sim) with
# ThreadSanitizer and runs them; then the same under AddressSanitizer with leak checking, which
# covers the repeated open/close cycles. Each sanitizer has its own build folder.
#   bash scripts/tsan-can.sh            both
#   bash scripts/tsan-can.sh thread     ThreadSanitizer only
#   bash scripts/tsan-can.sh address    AddressSanitizer + LeakSanitizer only
# ZEL_JOBS sets the build parallelism (default: the number of cores).
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT=$(pwd)
JOBS=${ZEL_JOBS:-$(nproc)}
MODES=("$@")
[ ${#MODES[@]} -eq 0 ] && MODES=(thread address)

# Without address-space randomisation: the sanitizers' fixed shadow layout and high-entropy
# mmap placement of newer kernels do not always agree.
NORAND=()
if command -v setarch >/dev/null 2>&1 && setarch "$(uname -m)" -R true 2>/dev/null; then
  NORAND=(setarch "$(uname -m)" -R)
fi

run_mode() {
  local mode=$1 dir option
  case "$mode" in
    thread) dir=build-tsan-can; option=-DZEL_TSAN=ON ;;
    address) dir=build-asan-can; option=-DZEL_SANITIZE=ON ;;
    *) echo "tsan-can: unknown mode $mode (thread or address)" >&2; return 2 ;;
  esac
  echo "== CAN tests under the $mode sanitizer ($dir)"
  cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "$option" >/dev/null
  cmake --build "$dir" --target can_tests -j"$JOBS"
  TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1 suppressions=$ROOT/scripts/tsan.supp" \
  ASAN_OPTIONS="detect_leaks=1:abort_on_error=1" \
  LSAN_OPTIONS="suppressions=$ROOT/scripts/lsan.supp:print_suppressions=0" \
  UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1" \
    "${NORAND[@]}" ctest --test-dir "$dir" -L '^can$' --output-on-failure --timeout 300 --no-tests=error
}

for mode in "${MODES[@]}"; do
  run_mode "$mode"
done

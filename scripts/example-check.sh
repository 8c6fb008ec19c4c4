#!/usr/bin/env bash
# Installs a built tree into a temporary prefix, builds examples/grip and examples/cell against it
# with find_package(ZEL) as a program outside the tree would, and runs grip against zel-sim over
# TCP and cell against four of them; zelctl and the examples run without any display.
#   bash scripts/example-check.sh [BUILD_DIR]   (default: build)
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT=$(pwd)
BUILD=${1:-build}
WORK=$(mktemp -d)
SIM_PID=
CELL_PIDS=()
cleanup() {
  [ -n "$SIM_PID" ] && kill "$SIM_PID" 2>/dev/null || true
  for pid in "${CELL_PIDS[@]}"; do kill "$pid" 2>/dev/null || true; done
  rm -rf "$WORK"
}
trap cleanup EXIT

cmake --install "$BUILD" --prefix "$WORK/prefix" >/dev/null
# Only the installed package: the tree's sources are not on any path of the example's build.
for example in grip cell; do
  if ! { cmake -S "examples/$example" -B "$WORK/$example" -G Ninja -DCMAKE_PREFIX_PATH="$WORK/prefix" &&
         cmake --build "$WORK/$example"; } >"$WORK/build.log" 2>&1; then
    cat "$WORK/build.log"; echo "example-check: examples/$example does not build against the installed package"; exit 1
  fi
done

"$ROOT/$BUILD/tools/zel-sim/zel-sim" --tcp 0 --part 20 >"$WORK/sim.out" 2>&1 &
SIM_PID=$!
for _ in $(seq 100); do
  grep -q '^ready' "$WORK/sim.out" && break
  sleep 0.1
done
PORT=$(sed -n 's/^tcp 127\.0\.0\.1:\([0-9]*\)$/\1/p' "$WORK/sim.out")
[ -n "$PORT" ] || { echo "example-check: zel-sim did not start"; cat "$WORK/sim.out"; exit 1; }

# No display: neither zelctl nor the example may need one, nor link the widget stack.
for program in "$BUILD/tools/zelctl/zelctl" "$BUILD/tools/zel-sim/zel-sim"; do
  if ldd "$program" | grep -Eq 'libQt6(Widgets|Gui)'; then
    echo "example-check: $program links the widget stack"; exit 1
  fi
done
env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM -u XDG_RUNTIME_DIR \
  "$BUILD/tools/zelctl/zelctl" --tcp "127.0.0.1:$PORT" info
env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$WORK/grip/grip" tcp 127.0.0.1 "$PORT" 20 | tee "$WORK/grip.out"
grep -q '^move to 60 mm: E_SUCCESS' "$WORK/grip.out"
grep -q '^grasp: E_SUCCESS' "$WORK/grip.out"
if ldd "$WORK/grip/grip" | grep -Eq 'libQt6(Widgets|Gui)'; then
  echo "example-check: the example links the widget stack"; exit 1
fi

# Four grippers at once from one thread.
LINKS=()
for i in 1 2 3 4; do
  "$ROOT/$BUILD/tools/zel-sim/zel-sim" --tcp 0 --part 20 --referenced >"$WORK/sim$i.out" 2>&1 &
  CELL_PIDS+=($!)
done
for i in 1 2 3 4; do
  for _ in $(seq 100); do
    grep -q '^ready' "$WORK/sim$i.out" && break
    sleep 0.1
  done
  port=$(sed -n 's/^tcp 127\.0\.0\.1:\([0-9]*\)$/\1/p' "$WORK/sim$i.out")
  [ -n "$port" ] || { echo "example-check: zel-sim $i did not start"; cat "$WORK/sim$i.out"; exit 1; }
  LINKS+=("tcp://127.0.0.1:$port")
done
env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$WORK/cell/cell" "${LINKS[@]}" | tee "$WORK/cell.out"
grep -q '^cell: all four done' "$WORK/cell.out"
[ "$(grep -c ': release: E_SUCCESS$' "$WORK/cell.out")" = 4 ]
echo "example-check: ok"

#!/usr/bin/env bash
# Installs what running needs, builds zel-sim and zel-console, starts zel-sim in the background as
# a gripper and opens zel-console against it. Closing the console stops the simulator.
#   --sensor     zel-sim as the TAQ matrix sensor, and the sensor's window zel-taq instead
#   ZEL_SIM_TCP  TCP port (default 1000, the gripper's own; ports below 1024 need privileges, so
#                when it cannot be bound the simulator takes 11000, then any free port)
#   ZEL_SIM_UDP  UDP port (default 1500; any free port when taken)
#   ZEL_SIM_PTY  symbolic link to the simulator's pseudo-terminal (default /tmp/zel-tty, or
#                /tmp/zel-tty-USER for a user who is not root)
#   CMAKE_BUILD_PARALLEL_LEVEL  build jobs (default: one per processor)
# The console's link settings (tcp.cfg, udp.cfg, uart.cfg beside the program in the build tree)
# are seeded with the simulator's address, ports and pseudo-terminal only when they do not exist.
set -euo pipefail
cd "$(dirname "$0")/.."

if [ "$(id -u)" -eq 0 ]; then DEFAULT_PTY=/tmp/zel-tty; else DEFAULT_PTY="/tmp/zel-tty-$(id -un)"; fi
TCP=${ZEL_SIM_TCP:-1000}
UDP=${ZEL_SIM_UDP:-1500}
PTY=${ZEL_SIM_PTY:-$DEFAULT_PTY}
SIM=build/tools/zel-sim/zel-sim
CONSOLE=build/src/ui/zel-console
DEVICE=gripper LABEL="ZEL gripper"
if [ "${1:-}" = "--sensor" ]; then DEVICE=sensor LABEL="TAQ matrix sensor" CONSOLE=build/src/ui/zel-taq; fi

bash scripts/setup.sh run
# A fresh build tree is configured without tests, benchmarks and GoogleTest; an existing one (the
# test command's) is built as it is configured.
if [ ! -f build/CMakeCache.txt ]; then
  cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBUILD_TESTING=OFF -DZEL_PYTHON=OFF >/dev/null
fi
if [ -n "${CMAKE_BUILD_PARALLEL_LEVEL:-}" ]; then
  cmake --build build --target zel-sim "$(basename "$CONSOLE")"
else
  cmake --build build -j"$(nproc)" --target zel-sim "$(basename "$CONSOLE")"
fi

# A window needs a display; offscreen and other platforms chosen on purpose are left alone.
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
  echo "run.sh: no display (neither DISPLAY nor WAYLAND_DISPLAY is set), so the console window cannot open." >&2
  echo "        Run it in a desktop session, or on a virtual X display with:" >&2
  echo "          xvfb-run -a -s \"-screen 0 1280x1024x24\" bash scripts/run.sh" >&2
  command -v xvfb-run >/dev/null 2>&1 || echo "        (xvfb-run comes with the Debian package xvfb)" >&2
  exit 1
fi

WORK=$(mktemp -d)
SIM_PID=""
cleanup() {
  if [ -n "$SIM_PID" ]; then
    kill "$SIM_PID" 2>/dev/null || true
    wait "$SIM_PID" 2>/dev/null || true
  fi
  rm -rf "$WORK"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

# Starts the simulator on the given ports; true once it reports "ready".
start_sim() {
  : >"$WORK/out"
  "$SIM" --device "$DEVICE" --tcp "$1" --udp "$2" --pty "$PTY" >"$WORK/out" 2>"$WORK/err" &
  SIM_PID=$!
  for _ in $(seq 1 100); do
    if grep -q '^ready' "$WORK/out"; then return 0; fi
    if ! kill -0 "$SIM_PID" 2>/dev/null; then
      wait "$SIM_PID" 2>/dev/null || true
      SIM_PID=""
      return 1
    fi
    sleep 0.1
  done
  kill "$SIM_PID" 2>/dev/null || true
  SIM_PID=""
  return 1
}

why=""
if ! start_sim "$TCP" "$UDP"; then
  first_err=$(cat "$WORK/err")
  start_sim 11000 "$UDP" || start_sim 0 "$UDP" || start_sim 0 0 || {
    echo "zel-sim does not start: $first_err; $(cat "$WORK/err")" >&2
    exit 1
  }
  case "$first_err" in
    *protected*|*ermission*) why="ports below 1024 are kept for privileged programs" ;;
    *) why="${first_err#zel-sim: }" ;;
  esac
fi

endpoint() { sed -n "s/^$1 //p" "$WORK/out" | head -n 1; }
SIM_TCP=$(endpoint tcp)
SIM_UDP=$(endpoint udp)
SIM_PTY=$(endpoint pty-link)
[ -n "$SIM_PTY" ] || SIM_PTY=$(endpoint pty)
TCP_PORT=${SIM_TCP##*:}
UDP_PORT=${SIM_UDP##*:}
# Information, not a failure: the simulator works the same on any port.
if [ -n "$why" ]; then
  moved=()
  [ "$TCP_PORT" = "$TCP" ] || moved+=("TCP port $TCP_PORT instead of $TCP")
  [ "$UDP_PORT" = "$UDP" ] || moved+=("UDP port $UDP_PORT instead of $UDP")
  echo "Note: zel-sim uses $(IFS=,; echo "${moved[*]}" | sed 's/,/ and /') ($why)."
  echo "      The console's link settings and the summary below name the ports it uses."
fi

# A console in its build tree keeps its link settings beside itself; the operator's own are never
# replaced.
CFG_DIR=$(dirname "$CONSOLE")
seed() {
  local file="$CFG_DIR/$1"
  shift
  if [ -e "$file" ]; then
    echo "  $file exists; left as it is"
  else
    printf '%s\n' "$@" >"$file"
    echo "  $file written"
  fi
}
echo "Console link settings:"
seed tcp.cfg "[Common]" "host=127.0.0.1" "port=$TCP_PORT"
seed udp.cfg "[Common]" "ipaddr=127.0.0.1" "listening_port=1501" "transmit_port=$UDP_PORT"
seed uart.cfg "[Common]" "Portname=$SIM_PTY" "baudrate=115200"
stored_tcp=$(sed -n 's/^port=//p' "$CFG_DIR/tcp.cfg" | head -n 1)
if [ "$stored_tcp" != "$TCP_PORT" ]; then
  echo "  note: tcp.cfg names port ${stored_tcp:-none}; the simulator listens on $TCP_PORT: enter that in the TCP dialog"
fi
stored_pty=$(sed -n 's/^Portname=//p' "$CFG_DIR/uart.cfg" | head -n 1)
if [ "$stored_pty" != "$SIM_PTY" ]; then
  echo "  note: uart.cfg names ${stored_pty:-no port}; the simulator's pseudo-terminal is $SIM_PTY"
fi

cat <<EOF

zel-sim runs as a $LABEL:
  Ethernet/TCP    host 127.0.0.1, port $TCP_PORT
  Ethernet/UDP    address 127.0.0.1, transmit port $UDP_PORT (the console listens on 1501)
  Serial (RS232)  $SIM_PTY
In the console: Device > Connect (F2), choose "Ethernet/TCP" and confirm the host dialog
(or choose one of the other links above). Closing the console stops the simulator.

EOF

set +e
"$CONSOLE"
rc=$?
set -e
echo "Console closed; stopping zel-sim."
exit "$rc"

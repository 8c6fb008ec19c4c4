#!/usr/bin/env bash
# Sets up and builds everything, starts zel-sim in the background as a gripper and runs the
# console against it. Stopping the console stops the simulator.
#   ZEL_SIM_TCP (default 1000), ZEL_SIM_UDP (default 1500), ZEL_SIM_PTY (default /tmp/zel-tty)
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j"$(nproc)"

TCP=${ZEL_SIM_TCP:-1000}
UDP=${ZEL_SIM_UDP:-1500}
PTY=${ZEL_SIM_PTY:-/tmp/zel-tty}
SIM=build/tools/zel-sim/zel-sim
CONSOLE=build/src/ui/zel-console
CTL=build/tools/zelctl/zelctl

if [ ! -x "$SIM" ]; then
  echo "zel-sim is not built yet; nothing to run." >&2
  exit 1
fi

"$SIM" --device gripper --tcp "$TCP" --udp "$UDP" --pty "$PTY" &
SIM_PID=$!
trap 'kill "$SIM_PID" 2>/dev/null; wait "$SIM_PID" 2>/dev/null || true' EXIT
sleep 1

echo "zel-sim runs as a gripper: TCP 127.0.0.1:$TCP, UDP 127.0.0.1:$UDP (console listens on 1501), serial $PTY"
if [ -x "$CONSOLE" ]; then
  echo "Starting the console; connect with Device > Connect and choose one of the links above."
  "$CONSOLE"
elif [ -x "$CTL" ]; then
  echo "The console window is not built yet; showing the device through zelctl instead."
  "$CTL" --settings "$(mktemp -d)" --tcp "127.0.0.1:$TCP" info limits home move 50 100 grasp 20 80 stats release 60 100
else
  echo "Neither the console nor zelctl is built yet; the simulator runs until Ctrl+C."
  wait "$SIM_PID"
fi

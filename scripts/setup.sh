#!/usr/bin/env bash
# Installs the Debian packages the project needs.
#   bash scripts/setup.sh        everything: build, test, benchmark, fuzz, package (the test command)
#   bash scripts/setup.sh run    only what building and running the console and zel-sim needs
# Idempotent: packages already present are skipped; nothing is installed when all are there.
set -euo pipefail

RUN_PACKAGES=(
  build-essential cmake ninja-build pkg-config
  qt6-base-dev qt6-base-dev-tools qt6-serialport-dev qt6-serialbus-dev
  libqt6serialbus6 libqt6serialbus6-bin libsocketcan2
  libgl-dev libxkbcommon-dev
  libmodbus-dev
  prometheus-cpp-dev
)
TEST_PACKAGES=(
  xvfb
  libgtest-dev libgmock-dev libbenchmark-dev
  pybind11-dev python3-dev python3-pytest python3-numpy
  python3-pymodbus python3-serial-asyncio
  prometheus
  clang libclang-rt-dev
  desktop-file-utils dpkg-dev file man-db
)

case "${1:-all}" in
  run) PACKAGES=("${RUN_PACKAGES[@]}") ;;
  all) PACKAGES=("${RUN_PACKAGES[@]}" "${TEST_PACKAGES[@]}") ;;
  *) echo "usage: setup.sh [run|all]" >&2; exit 2 ;;
esac

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  echo "setup: all packages present"
  exit 0
fi

echo "setup: installing ${missing[*]}"
SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"

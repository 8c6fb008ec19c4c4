#!/usr/bin/env bash
# Installs a built tree into a temporary prefix and checks what a user of the installed programs
# meets: the programs start, the desktop entry validates, and an installed program whose folder
# it cannot write keeps its settings in the user's configuration folder.
#   bash scripts/install-check.sh [BUILD_DIR]   (default: build)
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD=${1:-build}
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
chmod 755 "$WORK"
PREFIX=$WORK/prefix
FAILS=0
check() { # name, command...
  local name=$1; shift
  if "$@" >"$WORK/out" 2>&1; then
    echo "install-check: ok   $name"
  else
    echo "install-check: FAIL $name"; sed 's/^/    /' "$WORK/out"; FAILS=$((FAILS + 1))
  fi
}

cmake --install "$BUILD" --prefix "$PREFIX" >/dev/null
check "zelctl --help" "$PREFIX/bin/zelctl" --help
check "zel-sim --help" "$PREFIX/bin/zel-sim" --help
if [ -x "$PREFIX/bin/zel-console" ]; then
  check "zel-console --version" sh -c '"$0" --version | grep -Eqx "zel-console [0-9]+\.[0-9]+\.[0-9]+"' "$PREFIX/bin/zel-console"
  check "zel-console --help" "$PREFIX/bin/zel-console" --help
fi
check "desktop entry validates" desktop-file-validate "$PREFIX/share/applications/zel-console.desktop"
check "icon installed" test -s "$PREFIX/share/icons/hicolor/scalable/apps/zel-console.svg"

# As an unprivileged user the installed bin folder is read-only: the TCP link's settings, which
# are written when a connection starts, must land in that user's configuration folder.
if [ "$(id -u)" -eq 0 ] && command -v setpriv >/dev/null 2>&1; then
  mkdir -p "$WORK/home"
  chown nobody "$WORK/home"
  setpriv --reuid=nobody --regid=nogroup --clear-groups \
    env HOME="$WORK/home" XDG_CONFIG_HOME="$WORK/home/.config" QT_QPA_PLATFORM=offscreen \
    "$PREFIX/bin/zelctl" --tcp 127.0.0.1:1 info >/dev/null 2>&1 || true
  check "settings in the configuration folder" test -s "$WORK/home/.config/zelctl/tcp.cfg"
  check "nothing written beside the program" test ! -e "$PREFIX/bin/tcp.cfg"
else
  echo "install-check: settings fall-back not tried (needs root to run as another user)"
fi

echo "install-check: $FAILS failed"
exit $((FAILS > 0))

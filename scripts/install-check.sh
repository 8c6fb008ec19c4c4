#!/usr/bin/env bash
# Installs a built tree into a temporary prefix and checks what a user of the installed programs
# meets: the programs start, the desktop entry validates, and an installed program keeps its
# settings in the user's configuration folder.
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
for window in zel-console zel-taq; do
  check "$window --version" sh -c '"$0" --version | grep -Eqx "$1 [0-9]+\.[0-9]+\.[0-9]+"' "$PREFIX/bin/$window" "$window"
  check "$window --help" "$PREFIX/bin/$window" --help
  # Without a display it says so and ends with status 1, never Qt's abort.
  check "$window without a display" sh -c 'env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$0" 2>&1; test $? -eq 1' "$PREFIX/bin/$window"
  check "$window's desktop entry validates" desktop-file-validate "$PREFIX/share/applications/$window.desktop"
  check "$window's icon installed" test -s "$PREFIX/share/icons/hicolor/scalable/apps/$window.svg"
done

# An installed program keeps its settings in the user's configuration folder, never beside itself,
# even where it could write there (root): the TCP link's settings, written when a connection
# starts, land in ~/.config/zel-console. Then the same as an ordinary user, and settings an
# earlier version left beside the program are carried over into the folder of a user who has none.
connect_as() { # home, [setpriv arguments...]
  local home=$1; shift
  "$@" env HOME="$home" XDG_CONFIG_HOME="$home/.config" QT_QPA_PLATFORM=offscreen \
    "$PREFIX/bin/zelctl" --tcp 127.0.0.1:1 info >/dev/null 2>&1 || true
}
mkdir -p "$WORK/me"
connect_as "$WORK/me"
check "settings in the configuration folder" test -s "$WORK/me/.config/zel-console/tcp.cfg"
check "nothing written beside the program" test ! -e "$PREFIX/bin/tcp.cfg"
if [ "$(id -u)" -eq 0 ] && command -v setpriv >/dev/null 2>&1; then
  printf '[Common]\nipaddr=earlier.example\n' >"$PREFIX/bin/udp.cfg"
  mkdir -p "$WORK/user"
  chown nobody "$WORK/user"
  connect_as "$WORK/user" setpriv --reuid=nobody --regid=nogroup --clear-groups
  check "an ordinary user's settings in the configuration folder" test -s "$WORK/user/.config/zel-console/tcp.cfg"
  check "settings left beside the program are carried over" \
    grep -q "ipaddr=earlier.example" "$WORK/user/.config/zel-console/udp.cfg"
  rm -f "$PREFIX/bin/udp.cfg"
else
  echo "install-check: an ordinary user's settings not tried (needs root to run as another user)"
fi

echo "install-check: $FAILS failed"
exit $((FAILS > 0))

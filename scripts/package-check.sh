#!/usr/bin/env bash
# Builds the Debian packages of a build tree (programs, Python module, device library), checks what
# each holds, unpacks the programs' package into a temporary root (dpkg -x) and checks what an
# installed system gets: documentation with the README's pictures, copyright and changelog, manual
# pages, the desktop entries and icons, stripped programs, the package relations, and that the
# programs run from the unpacked root.
#   bash scripts/package-check.sh [BUILD_DIR]   (default: build)
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD=$(cd "${1:-build}" && pwd)
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
ROOT=$WORK/root
FAILS=0
check() { # name, command...
  local name=$1; shift
  if "$@" >"$WORK/out" 2>&1; then
    echo "package-check: ok   $name"
  else
    echo "package-check: FAIL $name"; sed 's/^/    /' "$WORK/out"; FAILS=$((FAILS + 1))
  fi
}

(cd "$BUILD" && cpack -G DEB >"$WORK/cpack.log" 2>&1) || { cat "$WORK/cpack.log"; exit 1; }
VERSION=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$BUILD/CMakeCache.txt")
DEB=$(ls "$BUILD"/zel-console_"$VERSION"_*.deb)
DEV=$(ls "$BUILD"/zel-console-dev_"$VERSION"_*.deb)
PY=$(ls "$BUILD"/python3-zel_"$VERSION"_*.deb)
dpkg -x "$DEB" "$ROOT"
# The programs' package holds no library, header or Python module: those have packages of their own.
check "zel-console holds the programs only" sh -c '! dpkg -c "$0" | grep -E "/usr/include/|\.a$|\.so$|/cmake/"' "$DEB"
check "zel-console-dev: headers, static libraries, CMake package, Qt's development packages" sh -c '
  dpkg -c "$0" | grep -q "/usr/include/zel/engine/CommandComponent.h" && dpkg -c "$0" | grep -q "/usr/lib/libzel_device.a" &&
  dpkg -c "$0" | grep -q "/cmake/ZEL/ZELConfig.cmake" && dpkg-deb -f "$0" Depends | grep -qw qt6-serialbus-dev' "$DEV"
check "python3-zel: the module, depending on python3" sh -c '
  dpkg -c "$0" | grep -q "/usr/lib/python3/dist-packages/zel/_zel.*\.so" && dpkg-deb -f "$0" Depends | grep -qw python3' "$PY"
DOC=$ROOT/usr/share/doc/zel-console

check "README and the pictures it shows" sh -c '
  test -s "$0/README.md" || exit 1
  for p in $(grep -o "](docs/[^)]*)" "$0/README.md" | tr -d "()]"); do test -s "$0/$p" || { echo "missing $p"; exit 1; }; done' "$DOC"
check "copyright" grep -q '^Copyright: ' "$DOC/copyright"
check "changelog names this version" sh -c 'gzip -dc "$0/changelog.gz" | head -n 1 | grep -q "^zel-console ($1)"' "$DOC" "$VERSION"
for p in zel-console zel-taq zel-sim zelctl zel-gateway; do
  check "man page $p(1)" sh -c 'gzip -dc "$0" | grep -q "^\.SH NAME" && man -l "$0" >/dev/null' "$ROOT/usr/share/man/man1/$p.1.gz"
  check "$p is stripped" sh -c 'file -L "$0" | grep -q ", stripped"' "$ROOT/usr/bin/$p"
done
# The page says everything the help says: every option of zelctl's help is in it.
check "man zelctl shows every option, the exit status and the settings folder" sh -c '
  page=$(MANWIDTH=200 man -l "$0/usr/share/man/man1/zelctl.1.gz" 2>/dev/null)
  for o in $("$0/usr/bin/zelctl" --help | grep -o -- "--[a-z][a-z-]*" | sort -u); do
    printf "%s" "$page" | grep -q -- "$o" || { echo "missing $o"; exit 1; }
  done
  printf "%s" "$page" | grep -q "EXIT STATUS" && printf "%s" "$page" | grep -q "zel-console"' "$ROOT"
for window in zel-console zel-taq; do
  check "$window's desktop entry validates" desktop-file-validate "$ROOT/usr/share/applications/$window.desktop"
  check "$window's icon" test -s "$ROOT/usr/share/icons/hicolor/scalable/apps/$window.svg"
done
check "recommends libsocketcan2, suggests can-utils" sh -c '
  dpkg-deb -f "$0" Recommends | grep -qw libsocketcan2 && dpkg-deb -f "$0" Suggests | grep -qw can-utils' "$DEB"
check "debugging information in the -dbgsym package" sh -c '
  ls "$0"/zel-console-dbgsym_*.ddeb >/dev/null 2>&1 || ls "$0"/zel-console-dbgsym_*.deb >/dev/null 2>&1' "$BUILD"
# The unpacked programs run.
if "$ROOT/usr/bin/zelctl" --help 2>&1 | grep -q -- "--version"; then
  check "zelctl --version" sh -c '"$0" --version | grep -q "$1"' "$ROOT/usr/bin/zelctl" "$VERSION"
else
  check "zelctl --help" "$ROOT/usr/bin/zelctl" --help
fi
check "zel-console --version" sh -c '"$0" --version | grep -qx "zel-console $1"' "$ROOT/usr/bin/zel-console" "$VERSION"
check "zel-sim --help" "$ROOT/usr/bin/zel-sim" --help
check "zel-gateway --version" sh -c '"$0" --version | grep -qx "zel-gateway $1"' "$ROOT/usr/bin/zel-gateway" "$VERSION"
check "zel-gateway's service reads /etc/zel-gateway.ini" grep -q "^ExecStart=/usr/bin/zel-gateway --config /etc/zel-gateway.ini$" \
  "$ROOT/usr/lib/systemd/system/zel-gateway.service"
check "zel-gateway's example configuration is accepted" \
  "$ROOT/usr/bin/zel-gateway" --config "$DOC/examples/zel-gateway.ini" --check
check "the register map, for people and for programs" test -s "$DOC/docs/modbus-map.md" -a -s "$DOC/docs/modbus-map.csv"

SIZE=$(du -k "$DEB" | cut -f1)
INSTALLED=$(du -sk "$ROOT" | cut -f1)
echo "package-check: $(basename "$DEB"): ${SIZE} kB, ${INSTALLED} kB installed"
echo "package-check: $FAILS failed"
exit $((FAILS > 0))

#!/bin/sh
# zel-console without a usable display: one line that says what to do, exit status 1; a bad
# --connect link: the parser's message, exit status 2.
#   no_display_test.sh PATH_TO_ZEL_CONSOLE
console=$1
fails=0
try() { # case, env arguments...
  name=$1; shift
  out=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$@" "$console" 2>&1)
  rc=$?
  last=$(printf '%s\n' "$out" | tail -n 1)
  if [ "$rc" -ne 1 ] || ! printf '%s' "$last" | grep -q '^zel-console: .*xvfb-run -a zel-console$'; then
    echo "FAIL $name: exit $rc, output:"; printf '%s\n' "$out"; fails=$((fails + 1))
  fi
}
try "no display named"
try "unreachable display" DISPLAY=:987
# Without a display nothing but that line is printed.
lines=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$console" 2>&1 | wc -l)
[ "$lines" -eq 1 ] || { echo "FAIL: $lines lines without a display"; fails=$((fails + 1)); }
# A link that cannot be read is refused before the display is looked for, naming the mistake.
out=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$console" --connect tcp://gripper:0 2>&1)
rc=$?
if [ "$rc" -ne 2 ] || [ "$out" != "zel-console: Invalid link 'tcp://gripper:0': port '0' is not a number from 1 to 65535" ]; then
  echo "FAIL bad --connect link: exit $rc, output:"; printf '%s\n' "$out"; fails=$((fails + 1))
fi
exit $fails

#!/usr/bin/env bash
# "scripts/quickstart run" without a display: status 1 and a plain message,
# before anything is installed or built.   Usage: $0 PATH-TO-quickstart
out=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM bash "$1" run 2>&1 </dev/null)
status=$?
printf '%s\n' "$out"
[ "$status" -eq 1 ] || { echo "FAIL: status $status, expected 1"; exit 1; }
grep -q 'quickstart: there is no display to show the window on' <<<"$out" || exit 1
! grep -q -e 'apt-get' -e 'Configuring' -e 'Building' <<<"$out" || { echo "FAIL: it built first"; exit 1; }

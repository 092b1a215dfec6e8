#!/bin/sh
# Runs a Windows test program under wine for CTest:
#   wine-test.sh <program.exe> [arguments...]
# QtTest's report reaches a file but not wine's standard output, so it is
# written to one and shown after. wine's own output goes nowhere: a
# wineserver started by this run keeps the descriptors it was given open
# until the last wine program of the run ends, and CTest would wait for it.
program=$1
shift
report=$(mktemp --suffix=.txt)
trap 'rm -f "$report"' EXIT
wine "$program" -o "Z:$report,txt" "$@" </dev/null >/dev/null 2>&1
status=$?
cat "$report"
exit $status

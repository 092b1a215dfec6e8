#!/usr/bin/env bash
# Median start-up time and peak memory of the main window and of the floor
# (an empty window built the same way), over N runs each (default 15), on the
# platform given by QT_QPA_PLATFORM (default offscreen; run under xvfb-run
# with QT_QPA_PLATFORM=xcb for a real X server).
#   bench/startup.sh <build-dir> [N]
set -euo pipefail
exe="$1/bench/startup_bench"
runs=${2:-15}
export QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen}
"$exe" >/dev/null 2>&1; "$exe" floor >/dev/null 2>&1 # warm the file cache

median() { sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

for kind in floor window; do
    results=$(mktemp)
    for _ in $(seq "$runs"); do
        start=$(date +%s%N)
        line=$("$exe" $([ "$kind" = floor ] && echo floor) 2>/dev/null)
        end=$(date +%s%N)
        echo "$line $(((end - start) / 1000))" >>"$results"
    done
    printf '%-6s first paint %s ms, shown and closed %s ms, whole process %s us, peak RSS %s KiB (medians of %d runs)\n' \
        "$kind" "$(awk '{print $2}' "$results" | median)" "$(awk '{print $3}' "$results" | median)" \
        "$(awk '{print $5}' "$results" | median)" "$(awk '{print $4}' "$results" | median)" "$runs"
    rm -f "$results"
done

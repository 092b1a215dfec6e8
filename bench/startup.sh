#!/usr/bin/env bash
# Median start-up time and peak memory of the main window and of the floor
# (an empty window), over N runs each (default 15), on the platform given by
# QT_QPA_PLATFORM (default offscreen; run under xvfb-run with xcb for a real
# X server).  Usage: bench/startup.sh <build-dir> [N]
set -euo pipefail
exe="$1/bench/startup_bench"
runs=${2:-15}
export QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen}
"$exe" >/dev/null; "$exe" floor >/dev/null # warm the file cache
for kind in floor window; do
    for _ in $(seq "$runs"); do
        start=$(date +%s%N)
        line=$("$exe" $([ "$kind" = floor ] && echo floor) 2>/dev/null)
        end=$(date +%s%N)
        echo "$line $(((end - start) / 1000))"
    done | sort -n -k2 | awk -v runs="$runs" '
        { paint[NR] = $2; total[NR] = $3; rss[NR] = $4; proc[NR] = $5 / 1000; kind = $1 }
        END {
            m = int((runs + 1) / 2)
            n = asort(total); asort(rss); asort(proc)
            printf "%-6s first paint %7.2f ms  shown+closed %7.2f ms  process %7.2f ms  peak RSS %6d KiB (median of %d)\n",
                kind, paint[m], total[m], proc[m], rss[m], runs
        }'
done

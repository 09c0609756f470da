#!/bin/sh
# Runs one fuzz target for a bounded time from the seed corpus; new inputs and any failing input
# go to a temporary folder that is removed afterwards. Prints how many inputs were tried.
set -u
target=$1 seeds=$2 seconds=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/corpus"
# A unit is a few KB of text that the parsers read in linear time: 60 s of one unit is a hang. A
# loaded machine once held a unit in ASan's quarantine for 10 s, which a shorter limit took for one.
"$target" -max_total_time="$seconds" -timeout=60 -rss_limit_mb=2048 -print_final_stats=1 \
    -artifact_prefix="$work/" "$work/corpus" "$seeds" >"$work/log" 2>&1
status=$?
grep -E 'stat::number_of_executed_units|stat::peak_rss_mb|Done [0-9]+ runs' "$work/log"
if [ "$status" -ne 0 ]; then
    tail -n 40 "$work/log"
    for input in "$work"/crash-* "$work"/timeout-* "$work"/leak-* "$work"/oom-*; do
        [ -f "$input" ] && { echo "failing input $(basename "$input"):"; od -c "$input" | head -n 20; }
    done
fi
exit "$status"

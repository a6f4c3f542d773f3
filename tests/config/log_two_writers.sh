#!/usr/bin/env bash
# log_two_writers.sh LOG_STRESS COUNT [EMULATOR]: two processes log COUNT lines each to one
# file at the same time; the checker then accounts for every line.
set -euo pipefail
stress=$1 count=$2
emulator=${3:-}
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
log="$dir/shared.log"
run() { if [ -n "$emulator" ]; then "$emulator" "$stress" "$@"; else "$stress" "$@"; fi; }
# Wine wants paths it can map; a Unix path works for both (Z: drive).
run write "$log" 1 "$count" >"$dir/out1" &
p1=$!
run write "$log" 2 "$count" >"$dir/out2" &
p2=$!
wait $p1
wait $p2
tail -n 1 "$dir/out1" "$dir/out2"
run check "$log" "$count" "$dir/out1" "$dir/out2" | tr -d '\r'

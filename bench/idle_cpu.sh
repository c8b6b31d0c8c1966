#!/usr/bin/env bash
# CPU share of the running tool: bench/idle_cpu.sh SECONDS [tool options ...]
# Starts the tool under xvfb-run with the given options, lets it settle for two seconds, then
# reports user+system CPU time over SECONDS as a percentage of one core.
set -euo pipefail
cd "$(dirname "$0")/.."
secs=${1:-20}
shift || true
tool=build/default/app/kvam2100
[ -x "$tool" ] || { echo "build first: scripts/build" >&2; exit 1; }
xvfb-run -a -s "-screen 0 1024x768x24" "$tool" "$@" &
runner=$!
sleep 3
pid=$(pgrep -n -f "$tool") || { echo "tool did not start" >&2; kill $runner; exit 1; }
ticks() { awk '{print $14 + $15}' "/proc/$pid/stat"; }
hz=$(getconf CLK_TCK)
a=$(ticks)
sleep "$secs"
b=$(ticks)
kill "$pid" 2>/dev/null || true
wait $runner 2>/dev/null || true
awk -v a="$a" -v b="$b" -v hz="$hz" -v s="$secs" -v opts="$*" \
    'BEGIN { printf "tool %s: %.2f%% of one core over %d s\n", opts, 100 * (b - a) / hz / s, s }'

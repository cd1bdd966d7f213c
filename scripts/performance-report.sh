#!/usr/bin/env bash
# Prints every performance figure with its target in one table, so that a reader sees at a
# glance where the program stands. Builds what it needs (build-bench/, RelWithDebInfo), runs
# scripts/bench.sh and scripts/endurance.sh (about ten minutes in all) and keeps their full
# output in build-bench/performance.log. The table is Markdown, ready for docs/performance.md.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${TAVREL_BUILD_DIR:-$root/build-bench}"
export TAVREL_BUILD_DIR="$build"
mkdir -p "$build"
log="$build/performance.log"

if [ "${TAVREL_BENCH_SKIP_BUILD:-0}" != 1 ]; then
    "$root/scripts/install-deps.sh"
    cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
    cmake --build "$build" -j"$(nproc)" --target tavrel tavrel-virtual-supply tavrel-control tavrel-bench >/dev/null
fi
export TAVREL_BENCH_SKIP_BUILD=1
{
    "$root/scripts/bench.sh"
    "$root/scripts/endurance.sh"
} 2>&1 | tee "$log" | grep -v '^RESULT' || true

echo
echo "Performance report ($(nproc) cores, load average at the end $(cut -d' ' -f1-3 /proc/loadavg); full output in $log)"
echo
echo "| Figure | What | Measured | Target | Status |"
echo "|---|---|---|---|---|"
grep '^RESULT' "$log" | sort -t$'\t' -k2,2V | while IFS=$'\t' read -r _ key what measured target status; do
    echo "| $key | $what | $measured | $target | $status |"
done
missed="$(grep -c $'^RESULT\t.*\tMISSED$' "$log" || true)"
echo
if [ "$missed" = 0 ]; then
    echo "Every target met."
else
    echo "$missed target(s) missed; see the detail lines above and docs/performance.md."
fi

#!/usr/bin/env bash
# Measures the performance figures and prints each with its target: the in-process figures
# (tavrel-bench, the lab network's with a private broker on 127.0.0.1 among them), the start-up
# of the real program (tavrel-bench 6), its last will after a SIGKILL (tavrel-bench 12c), and a
# minute of the real program on auto refresh against the tavrel-virtual-supply program (CPU and
# resident memory from /proc). Builds what it needs into build-bench/ (or $TAVREL_BUILD_DIR), RelWithDebInfo.
# Every figure ends in a tab-separated RESULT line (see tools/bench/BenchReport.h).
#   TAVREL_BENCH_SECONDS   length of the auto-refresh run (default 60)
#   TAVREL_BENCH_SKIP_BUILD=1  use the programs as built
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${TAVREL_BUILD_DIR:-$root/build-bench}"
seconds="${TAVREL_BENCH_SECONDS:-60}"

if [ "${TAVREL_BENCH_SKIP_BUILD:-0}" != 1 ]; then
    "$root/scripts/install-deps.sh"
    cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
    cmake --build "$build" -j"$(nproc)" --target tavrel tavrel-virtual-supply tavrel-control tavrel-bench >/dev/null
fi
tavrel="$build/tavrel"
supply_program="$build/tools/virtual-supply/tavrel-virtual-supply"
control="$build/tools/control/tavrel-control"
bench="$build/tools/bench/tavrel-bench"

echo "Benchmarks on $(nproc) cores, load average $(cut -d' ' -f1-3 /proc/loadavg), $(date -u '+%Y-%m-%d %H:%M UTC')"

# The offscreen platform says this once per window; it is no finding.
quiet() { grep -v 'does not support propagateSizeHints' >&2 || true; }

"$bench" 2> >(quiet) || echo "tavrel-bench ended with status $?"
"$bench" 6 "$tavrel" 5 2> >(quiet) || echo "tavrel-bench 6 ended with status $?"
"$bench" 12c "$tavrel" 5 2> >(quiet) || echo "tavrel-bench 12c ended with status $?"

# ---- Figures 5 and 7: the real program for a minute of auto refresh at 1 Hz ----
echo "Figures 5 and 7"
work="$(mktemp -d)"
supply_pid=""
program_pid=""
cleanup() {
    [ -n "$program_pid" ] && kill "$program_pid" 2>/dev/null || true
    [ -n "$supply_pid" ] && kill "$supply_pid" 2>/dev/null || true
    wait 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT
mkdir -p "$work/config/tavrel" "$work/runtime"
chmod 700 "$work/runtime"
export XDG_CONFIG_HOME="$work/config" XDG_RUNTIME_DIR="$work/runtime" QT_QPA_PLATFORM=offscreen
printf '[Ports]\nCOM1=%s\n' "$work/com1" > "$XDG_CONFIG_HOME/tavrel/tavrel.ini"

# A little noise on the monitors, so that every refresh changes Label_UMon(0) and can be seen.
"$supply_program" --link "$work/com1" --noise 0.001 > "$work/supply.out" &
supply_pid=$!
for _ in $(seq 100); do [ -e "$work/com1" ] && break; sleep 0.05; done
"$tavrel" /COM1 > "$work/program.out" 2> >(quiet) &
program_pid=$!

# Started: the control link answers with the monitor text of a completed read-back.
started=0
for _ in $(seq 100); do
    text="$("$control" request 'Label_UMon(0)' 2>/dev/null || true)"
    if [ -n "${text// /}" ]; then started=1; break; fi
    sleep 0.1
done
result() { printf 'RESULT\t%s\t%s\t%s\t%s\t%s\n' "$@"; }
if [ "$started" != 1 ]; then
    result 5 "Process CPU over ${seconds} s of auto refresh at 1 Hz (tavrel process)" "not measured: the program did not start" "< 1 % of one core" MISSED
    result 7 "Resident memory (VmRSS) of tavrel after start and after ${seconds} s" "not measured: the program did not start" "no target; for information" info
    exit 0
fi
# 100 eV on the energy module, so that its monitor shows a live value (0 V shows no noise).
"$control" poke DA_set_voltage 1 >/dev/null
sleep 2 # let the start-up passes end, so the minute holds refresh cycles only

ticks="$(getconf CLK_TCK)"
cpu_ticks() { awk '{ sub(/^.*\) /, ""); print $12 + $13 }' "/proc/$program_pid/stat"; }
rss_kib() { awk '/^VmRSS:/ { print $2 }' "/proc/$program_pid/status"; }
now() { date +%s.%N; }

rss_start="$(rss_kib)"; cpu_start="$(cpu_ticks)"; t_start="$(now)"
sleep "$seconds"
rss_end="$(rss_kib)"; cpu_end="$(cpu_ticks)"; t_end="$(now)"

# Auto refresh really ran: the label changes once a second.
changes="$(timeout 3.5 "$control" advise 'Label_UMon(0)' 2>/dev/null | wc -l || true)"

read -r cpu_s wall_s percent < <(awk -v a="$cpu_start" -v b="$cpu_end" -v t="$ticks" -v s="$t_start" -v e="$t_end" \
    'BEGIN { c = (b - a) / t; w = e - s; printf "%.2f %.1f %.3f\n", c, w, 100 * c / w }')
echo "  tavrel pid $program_pid: utime+stime $cpu_start -> $cpu_end ticks ($ticks a second) over $wall_s s;" \
     "Label_UMon(0) changed $changes times in the 3.5 s after"
met5="$(awk -v p="$percent" 'BEGIN { print (p < 1.0) ? "met" : "MISSED" }')"
result 5 "Process CPU over ${seconds} s of auto refresh at 1 Hz (tavrel process, /proc stat)" \
    "$cpu_s s CPU in $wall_s s = $percent % of one core" "< 1 % of one core" "$met5"
growth=$((rss_end - rss_start))
result 7 "Resident memory (VmRSS) of tavrel after start and after ${seconds} s" \
    "$(awk -v a="$rss_start" -v b="$rss_end" -v g="$growth" 'BEGIN { printf "%.1f MiB -> %.1f MiB (%+d KiB)", a / 1024, b / 1024, g }')" \
    "no target; for information" info

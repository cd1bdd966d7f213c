#!/usr/bin/env bash
# The endurance run: the main window in-process (offscreen) against the unpaced virtual supply,
# refresh cycles back to back with auto refresh on, while control-link clients connect,
# advise, request, poke and disconnect. Prints resident memory after warm-up, along the way
# and at the end (target: no growth beyond 2 MiB), and every message the window showed.
# Builds into build-bench/ (or $TAVREL_BUILD_DIR). Arguments go to tavrel-bench endurance, e.g.
#   scripts/endurance.sh --reads 1000000 --clients 4
# TAVREL_BENCH_SKIP_BUILD=1 uses the program as built.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${TAVREL_BUILD_DIR:-$root/build-bench}"
if [ "${TAVREL_BENCH_SKIP_BUILD:-0}" != 1 ]; then
    "$root/scripts/install-deps.sh"
    cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
    cmake --build "$build" -j"$(nproc)" --target tavrel-bench >/dev/null
fi
QT_QPA_PLATFORM=offscreen "$build/tools/bench/tavrel-bench" endurance "$@" \
    2> >(grep -v 'does not support propagateSizeHints' >&2 || true)

#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs them.
#   scripts/fuzz.sh [--ci] [--seconds N] [target...]
# Default: every target for 600 s, growing its corpus in build-fuzz/fuzz-corpus/<target>
# (seeded from tests/fuzz/corpus/<target>). --ci: every target for 5 s over the seed corpus
# only. A finding is saved under build-fuzz/fuzz-findings/<target>/ and makes the script exit
# non-zero; keep it as a regression in tests/fuzz/regressions/<target>/.
set -euo pipefail
cd "$(dirname "$0")/.."

all_targets=(fuzz_valof fuzz_reply fuzz_profile fuzz_link_execute fuzz_link_server fuzz_command_line)
ci=0
seconds=600
targets=()
while [ $# -gt 0 ]; do
    case "$1" in
        --ci) ci=1; seconds=5 ;;
        --seconds) seconds="$2"; shift ;;
        --seconds=*) seconds="${1#--seconds=}" ;;
        -h|--help) sed -n '2,8p' "$0"; exit 0 ;;
        fuzz_*) targets+=("$1") ;;
        *) echo "unknown argument: $1 (targets: ${all_targets[*]})" >&2; exit 2 ;;
    esac
    shift
done
[ ${#targets[@]} -eq 0 ] && targets=("${all_targets[@]}")

TAVREL_FUZZ=1 scripts/install-deps.sh

build=build-fuzz
mkdir -p "$build"
# Two runs side by side (one per core) must not build in the same folder at once.
exec 9>"$build/.fuzz-build.lock"
flock 9
if [ ! -f "$build/CMakeCache.txt" ]; then
    CC=clang CXX=clang++ cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DTAVREL_FUZZ=ON -DTAVREL_BUILD_TESTS=ON >/dev/null
fi
# Only the fuzz programs: the rest of the project need not build with the fuzz instrumentation.
cmake --build "$build" -j2 --target "${targets[@]}" >"$build/fuzz-build.log" 2>&1 \
    || { tail -n 40 "$build/fuzz-build.log" >&2; exit 1; }
flock -u 9

# The targets' scratch files (settings, sockets, profiles) live in a folder of this run.
scratch="$(mktemp -d "${TMPDIR:-/tmp}/tavrel-fuzz-run.XXXXXX")"
trap 'rm -rf "$scratch"' EXIT
export TMPDIR="$scratch"
# Short allocation stacks: recording them dominates the run time of these string-heavy targets.
export ASAN_OPTIONS="detect_leaks=0:abort_on_error=1:symbolize=1:malloc_context_size=4"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"

failed=()
for target in "${targets[@]}"; do
    seeds="tests/fuzz/corpus/$target"
    findings="$build/fuzz-findings/$target"
    mkdir -p "$findings"
    # The control link target sends overlong lines too (past 4096 bytes).
    max_len=8192
    if [ "$ci" = 1 ]; then
        # From the seeds; new inputs go to a scratch folder, never into the source tree.
        corpus_dirs=("$(mktemp -d "$scratch/$target.XXXXXX")" "$seeds")
    else
        corpus="$build/fuzz-corpus/$target"
        mkdir -p "$corpus"
        corpus_dirs=("$corpus" "$seeds")
    fi
    # Kept findings are run too, in every mode (libFuzzer writes new inputs only into the first folder).
    if [ -d "tests/fuzz/regressions/$target" ]; then
        corpus_dirs+=("tests/fuzz/regressions/$target")
    fi
    echo "== $target: ${seconds}s"
    log="$build/fuzz-findings/$target.log"
    if "$build/tests/fuzz/$target" -max_total_time="$seconds" -max_len="$max_len" -timeout=25 \
        -rss_limit_mb=4096 -print_final_stats=1 -artifact_prefix="$findings/" \
        "${corpus_dirs[@]}" >"$log" 2>&1; then
        grep -E '^(Done|stat::number_of_executed_units|stat::average_exec_per_sec|stat::new_units_added)' "$log" || true
    else
        echo "FINDING in $target (see $log and $findings/):" >&2
        grep -E 'fuzz property broken|ERROR: |runtime error|SUMMARY' "$log" | head -5 >&2 || true
        failed+=("$target")
    fi
done

if [ ${#failed[@]} -gt 0 ]; then
    echo "fuzz findings in: ${failed[*]}" >&2
    exit 1
fi
echo "fuzz: ${#targets[@]} targets, no finding"

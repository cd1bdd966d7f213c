#!/usr/bin/env bash
# Builds everything and runs every test with CTest. TAVREL_SANITIZE=1 builds and runs the suite
# under AddressSanitizer and UndefinedBehaviorSanitizer in build-sanitize/.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
if [ "${TAVREL_SANITIZE:-0}" = 1 ]; then
    export TAVREL_BUILD_DIR="${TAVREL_BUILD_DIR:-$root/build-sanitize}"
    export TAVREL_BUILD_TYPE=Debug
    "$root/scripts/build.sh" -DTAVREL_SANITIZE=ON
else
    "$root/scripts/build.sh"
fi
build="${TAVREL_BUILD_DIR:-$root/build}"
cd "$build"
ctest --output-on-failure -j"$(nproc)" "$@"

#!/usr/bin/env bash
# Installs what the project needs on Debian 12, configures, builds and runs every test.
#   scripts/test.sh            release build with warnings, all tests
#   scripts/test.sh sanitize   the same under address and undefined-behaviour sanitizers
set -euo pipefail
cd "$(dirname "$0")/.."

mode="${1:-release}"
"$(dirname "$0")/install-deps.sh"

case "$mode" in
    release)  build=build;          extra=(-DMX40D_WERROR=ON) ;;
    sanitize) build=build-sanitize; extra=(-DMX40D_WERROR=ON -DMX40D_SANITIZE=ON -DMX40D_BUILD_BENCH=OFF -DCMAKE_BUILD_TYPE=Debug) ;;
    *) echo "usage: $0 [release|sanitize]" >&2; exit 2 ;;
esac

cmake -S . -B "$build" -G Ninja "${extra[@]}"
cmake --build "$build" -j "$(nproc)"
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
export QT_QPA_PLATFORM="${QT_QPA_PLATFORM:-offscreen}"
ctest --test-dir "$build" --output-on-failure -j "$(nproc)"

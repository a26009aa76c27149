#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (address and undefined-behaviour sanitizers) and
# runs each for the given number of seconds. Any finding fails the run; its input is left in
# build-fuzz/findings/.
#   scripts/fuzz.sh [SECONDS]      (default 60)
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-60}"
"$(dirname "$0")/install-deps.sh"

build=build-fuzz
CC=clang CXX=clang++ cmake -S . -B "$build" -G Ninja -DMX40D_BUILD_FUZZ=ON \
    -DMX40D_BUILD_TESTS=OFF -DMX40D_BUILD_BENCH=OFF -DMX40D_WERROR=ON \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j "$(nproc)"

mkdir -p "$build/findings"
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
status=0
for target in "$build"/fuzz/fuzz_*; do
    [ -x "$target" ] || continue
    name=$(basename "$target")
    corpus="$build/corpus/$name"
    mkdir -p "$corpus"
    seeds=()
    [ -d "fuzz/corpus/$name" ] && seeds=("fuzz/corpus/$name")
    echo "== $name for ${seconds}s"
    if ! "$target" -max_total_time="$seconds" -print_final_stats=1 \
        -artifact_prefix="$build/findings/$name-" "$corpus" "${seeds[@]}" \
        >"$build/$name.log" 2>&1; then
        echo "FINDING in $name:"
        tail -n 60 "$build/$name.log"
        status=1
    else
        grep -E '^stat::number_of_executed_units' "$build/$name.log" || true
    fi
done
exit $status

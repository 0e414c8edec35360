#!/usr/bin/env bash
# Builds the libFuzzer targets in build/fuzz and runs each for SECONDS (default 20) on a copy of
# its seeds in fuzz/corpus/<target>/. New inputs it finds stay in build/fuzz/corpus/ for the
# next run; a crash is kept in build/fuzz/crashes/ and fails the script.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-20}
targets=(fuzz_config fuzz_forms fuzz_chat_request fuzz_stream_decoder)
build=build/fuzz

scripts/install-deps.sh
source scripts/debian-release.sh
CC=clang-$fuzz_clang CXX=clang++-$fuzz_clang cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug \
    -DPINDLE_FUZZ=ON -DPINDLE_BUILD_TESTS=OFF -DPINDLE_BUILD_BENCH=OFF >/dev/null
cmake --build "$build" --target "${targets[@]}"

export ASAN_OPTIONS="detect_leaks=1:strict_string_checks=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
mkdir -p "$build/crashes" "$build/logs"
failed=()
for target in "${targets[@]}"; do
    corpus=$build/corpus/$target
    log=$build/logs/$target.log
    mkdir -p "$corpus"
    cp fuzz/corpus/"$target"/* "$corpus"/
    if "$build/fuzz/$target" "$corpus" -max_total_time="$seconds" -timeout=10 \
        -artifact_prefix="$build/crashes/$target-" >"$log" 2>&1; then
        echo "$target: $(grep -o 'Done [0-9]* runs' "$log" | tail -1), $(ls "$corpus" | wc -l) inputs"
    else
        tail -n 40 "$log"
        echo "$target FAILED: see $log; the input is in $build/crashes/$target-*" >&2
        failed+=("$target")
    fi
done
if ((${#failed[@]})); then
    echo "Fuzzing found problems in: ${failed[*]}" >&2
    exit 1
fi

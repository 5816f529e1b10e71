#!/bin/sh
# Builds the libFuzzer targets of tests/fuzz (clang, with address and undefined-behaviour
# checks over the whole tree) and runs each for SECONDS seconds (default 600) from its
# seeds in tests/fuzz/corpus (".hex" seeds are bytes written as hexadecimal text). What a
# run finds and the inputs it grew stay in BUILD/fuzz/TARGET. Prints one line per target;
# exits 1 when any target found a fault. Usage: scripts/fuzz.sh [SECONDS] [BUILD]
set -eu
cd "$(dirname "$0")/.."
seconds=${1:-600}
build=${2:-build-fuzz}
scripts/install-packages.sh clang libclang-rt-14-dev perl
CC=clang CXX=clang++ cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DSTICKFORGE_SANITIZE=address -DSTICKFORGE_FUZZ=ON >/dev/null
cmake --build "$build" -j "$(nproc)" --target fuzz_targets >/dev/null
status=0
for source in tests/fuzz/*_fuzz.cpp; do
    target=$(basename "$source" .cpp)
    work="$build/fuzz/$target"
    rm -rf "$work"
    mkdir -p "$work/corpus" "$work/findings"
    for seed in "tests/fuzz/corpus/$target"/*; do
        case $seed in
        *.hex) perl -ne 'chomp; print pack "H*", $_' "$seed" >"$work/corpus/$(basename "$seed" .hex)" ;;
        *) cp "$seed" "$work/corpus/" ;;
        esac
    done
    started=$(date +%s)
    if "$build/tests/fuzz/$target" -max_total_time="$seconds" -rss_limit_mb=2048 \
        -artifact_prefix="$work/findings/" -print_final_stats=1 "$work/corpus" >"$work/log" 2>&1; then
        result=ok
    else
        result="FAULT (see $work/log and $work/findings)"
        status=1
    fi
    runs=$(awk '/stat::number_of_executed_units/ { print $2 }' "$work/log")
    rate=$(awk '/stat::average_exec_per_sec/ { print $2 }' "$work/log")
    echo "$target: $(($(date +%s) - started)) s, ${runs:-?} runs, ${rate:-?} exec/s: $result"
done
exit $status

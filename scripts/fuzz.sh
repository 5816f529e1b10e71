#!/bin/sh
# Builds the libFuzzer targets of tests/fuzz (clang, with address and undefined-behaviour
# checks over the whole tree) and runs each for SECONDS seconds (default 600) from its
# seeds in tests/fuzz/corpus (".hex" seeds are bytes written as hexadecimal text),
# FUZZ_JOBS targets at a time (default 1). What a run finds and the inputs it grew stay
# in BUILD/fuzz/TARGET. Prints one line per target; exits 1 when any target found a
# fault. Usage: scripts/fuzz.sh [SECONDS] [BUILD]
set -eu
cd "$(dirname "$0")/.."

# One target: SECONDS BUILD TARGET; prints its line, exits 1 on a finding.
run_target() {
    seconds=$1 build=$2 target=$3
    work="$build/fuzz/$target"
    rm -rf "$work"
    mkdir -p "$work/corpus" "$work/findings"
    # The targets' scratch folders: in memory where there is a tmpfs (the targets write
    # and remove files on every input), never the system's TEMP itself.
    scratch=$(mktemp -d /dev/shm/stickforge-fuzz.XXXXXX 2>/dev/null) ||
        scratch=$(mkdir -p "$work/tmp" && mktemp -d "$PWD/$work/tmp/XXXXXX")
    for seed in "tests/fuzz/corpus/$target"/*; do
        case $seed in
        *.hex) perl -ne 'chomp; print pack "H*", $_' "$seed" >"$work/corpus/$(basename "$seed" .hex)" ;;
        *) cp "$seed" "$work/corpus/" ;;
        esac
    done
    started=$(date +%s)
    status=0
    TMPDIR="$scratch" "$build/tests/fuzz/$target" -max_total_time="$seconds" \
        -timeout=20 -rss_limit_mb=2048 -artifact_prefix="$work/findings/" \
        -print_final_stats=1 "$work/corpus" >"$work/log" 2>&1 || status=1
    runs=$(awk '/stat::number_of_executed_units/ { print $2 }' "$work/log")
    rate=$(awk '/stat::average_exec_per_sec/ { print $2 }' "$work/log")
    findings=$(find "$work/findings" -type f | wc -l)
    [ "$findings" -eq 0 ] || status=1
    result=ok
    [ "$status" -eq 0 ] || result="FAULT, see $work/log and $work/findings"
    echo "$target: $(($(date +%s) - started)) s, ${runs:-?} execs, ${rate:-?} execs/s," \
        "$findings findings: $result"
    echo "$result" >"$work/result"
    rm -rf "$scratch" "$work/tmp"
    return "$status"
}

if [ "${1:-}" = "--target" ]; then
    shift
    run_target "$@"
    exit
fi

seconds=${1:-600}
build=${2:-build-fuzz}
jobs=${FUZZ_JOBS:-1}
scripts/install-packages.sh clang libclang-rt-14-dev perl
CC=clang CXX=clang++ cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DSTICKFORGE_SANITIZE=address -DSTICKFORGE_FUZZ=ON >/dev/null
cmake --build "$build" -j "$(nproc)" --target fuzz_targets >/dev/null
mkdir -p "$build/fuzz"
targets=$(for source in tests/fuzz/*_fuzz.cpp; do basename "$source" .cpp; done)
echo "$targets" | xargs -P "$jobs" -I TARGET sh scripts/fuzz.sh --target "$seconds" "$build" TARGET ||
    true
passed=0 failed=0
for target in $targets; do
    if [ "$(cat "$build/fuzz/$target/result" 2>/dev/null)" = ok ]; then
        passed=$((passed + 1))
    else
        failed=$((failed + 1))
    fi
done
echo "fuzz: $passed passed, $failed failed"
[ "$failed" -eq 0 ]

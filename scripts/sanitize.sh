#!/bin/sh
# Builds the tests of the Linux tree under a sanitizer (clang) and runs them.
#   address: AddressSanitizer with UndefinedBehaviorSanitizer, the unit tests and the root
#            integration tests. The same tree builds the fuzz targets (scripts/fuzz.sh).
#   thread:  ThreadSanitizer, the tests that run worker threads, the toolkits' calls from
#            them, the download engine and the recovery list shared with the list update.
# Usage: scripts/sanitize.sh address|thread [BUILD]
set -eu
cd "$(dirname "$0")/.."
mode=$1
build=${2:-build-$mode}
scripts/install-packages.sh clang libclang-rt-14-dev

case $mode in
address)
    extra="-DSTICKFORGE_FUZZ=ON"
    targets="stickforge_tests stickforge-cli stickforge_cli_test_key download_tests clover_tests
        recovery_tests recovery_online_stick_tests tools_tests imaging_tests format_tests
        fltk_thread_tests"
    # The boot chains and the boots after a format (legacy and UEFI) run firmware and boot
    # code in QEMU, which the sanitizers do not see, for most of the plain tree's test
    # time; the GUI smoke test and the Download Tool screenshot need the GUI program, which
    # the toolkit thread tests stand in for.
    tests='^(download_|clover_(Rev|Lat|CloverData|CloverAdd)|recovery_|tools_|imaging_|format_|cli_smoke|[A-Z])'
    skip='^qemu_|FormatBoot|FormatUefi|^format_uefi_tests|^format_cli$|^recovery_download_tool_gui$'
    ;;
thread)
    extra=""
    targets="stickforge_tests download_tests clover_tests tools_tests fltk_thread_tests
        recovery_tests"
    tests='^(Dispatch|StartUp|DrawProgress|LayoutProgress|FltkInterfaceThread|download_|clover_(Lat|CloverData)|tools_Configuration|recovery_RecoveryListThreads)'
    skip='^download_(cli|soak)$'
    ;;
*)
    echo "usage: scripts/sanitize.sh address|thread [BUILD]" >&2
    exit 2
    ;;
esac

# shellcheck disable=SC2086 # one word per option and target
CC=clang CXX=clang++ cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DSTICKFORGE_SANITIZE="$mode" $extra >/dev/null
# shellcheck disable=SC2086
cmake --build "$build" -j "$(nproc)" --target $targets >/dev/null

# Leaks count as faults too. No suppressions: none of the findings was a library's own.
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1:strict_string_checks=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
export TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1"
cd "$build"
ctest --output-on-failure -j "$(nproc)" -R "$tests" -E "$skip"

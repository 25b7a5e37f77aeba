#!/usr/bin/env bash
# Builds everything and runs every test, four ways:
#   1. the normal build and the whole suite;
#   2. the whole suite built with AddressSanitizer, UndefinedBehaviorSanitizer
#      and LeakSanitizer (build-asan);
#   3. the tests that run threads, built with ThreadSanitizer (build-tsan);
#   4. every fuzz target for a short run (build-fuzz, scripts/fuzz.sh).
# Every step runs even when an earlier one failed; a summary ends the output.
# Usage: scripts/test.sh [fuzz seconds per target, default 20]
set -uo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh build test || exit 1

fuzzSeconds=${1:-20}
jobs=$(nproc)
root=$(pwd)
export LANG=C.UTF-8 LC_ALL=C.UTF-8 QT_QPA_PLATFORM=offscreen

# Tests whose threads ThreadSanitizer watches: parsing and stopping on worker
# threads, the window's parse, export and close paths, and the stress runs.
threadedTests=(tst_datahub tst_ascparser tst_csvparser tst_blfparser tst_exporter
    tst_window tst_window_stress tst_capacity tst_framestore tst_filterui)

summary=()
failures=0

# step <title> <command...>: runs the command, timed, and records the outcome.
step() {
    local title=$1
    shift
    echo
    echo "=== $title"
    local start=$SECONDS
    "$@"
    local rc=$?
    local took=$((SECONDS - start))
    local outcome=PASS
    if [ $rc -ne 0 ]; then
        outcome=FAIL
        failures=$((failures + 1))
    fi
    summary+=("$(printf '%-4s  %-44s %3dm%02ds' \
        "$outcome" "$title" $((took / 60)) $((took % 60)))")
}

configure() { # <build dir> [cmake options...]
    local dir=$1
    shift
    cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" > "$dir.configure.log" 2>&1 \
        || { cat "$dir.configure.log"; return 1; }
    rm -f "$dir.configure.log"
}

normal() {
    configure build && cmake --build build -j"$jobs" \
        && ctest --test-dir build --output-on-failure -j"$jobs"
}

asan() {
    CC=clang CXX=clang++ configure build-asan -DTAVRIX_SANITIZE=address,undefined \
        && cmake --build build-asan -j"$jobs" || return 1
    ASAN_OPTIONS=halt_on_error=1:detect_leaks=1:detect_stack_use_after_return=1 \
    LSAN_OPTIONS=suppressions=$root/tests/sanitizers/lsan.supp:print_suppressions=0 \
    UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
        ctest --test-dir build-asan --output-on-failure -j"$jobs"
}

tsan() {
    CC=clang CXX=clang++ configure build-tsan -DTAVRIX_SANITIZE=thread \
        && cmake --build build-tsan -j"$jobs" --target "${threadedTests[@]}" || return 1
    local pattern
    pattern="^($(IFS='|'; echo "${threadedTests[*]}"))\$"
    # Qt is not instrumented; tests/sanitizers/tsan.supp names the Qt frames
    # whose ordering ThreadSanitizer cannot see.
    local options="halt_on_error=1 second_deadlock_stack=1"
    options+=" suppressions=$root/tests/sanitizers/tsan.supp"
    TSAN_OPTIONS=$options ctest --test-dir build-tsan --output-on-failure -j"$jobs" -R "$pattern"
}

step "normal build, all tests" normal
step "ASan+UBSan+LSan build, all tests" asan
step "TSan build, threaded tests" tsan
step "fuzz targets, ${fuzzSeconds}s each" scripts/fuzz.sh "$fuzzSeconds"

echo
echo "=== Summary"
printf '%s\n' "${summary[@]}"
echo "test.sh: $((${#summary[@]} - failures)) passed, $failures failed"
[ $failures -eq 0 ]

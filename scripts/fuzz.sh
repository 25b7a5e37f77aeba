#!/usr/bin/env bash
# Builds the libFuzzer targets (clang, with ASan and UBSan) in build-fuzz and
# runs each for the given number of seconds, one after the other.
# Usage: scripts/fuzz.sh [seconds per target, default 60] [target...]
# Targets: asc csv binlog blfparser dbc candump trc filter (all when none is named).
# New inputs that add coverage collect in build-fuzz/corpus/<target>; an input
# that breaks a target is written to build-fuzz/artifacts/ and the script
# fails. Keep such an input as tests/fuzz/regressions/<target>/<name>, where
# the test run replays it.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
shift || true
targets=("$@")
[ ${#targets[@]} -eq 0 ] && targets=(asc csv binlog blfparser dbc candump trc filter)

scripts/deps.sh build test
CC=clang CXX=clang++ cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DTAVRIX_FUZZ=ON -DTAVRIX_BUILD_TESTS=ON > build-fuzz.log 2>&1 \
    || { cat build-fuzz.log; exit 1; }
cmake --build build-fuzz -j"$(nproc)" --target "${targets[@]/#/fuzz_}" >> build-fuzz.log 2>&1 \
    || { tail -50 build-fuzz.log; exit 1; }
rm -f build-fuzz.log

export LANG=C.UTF-8 LC_ALL=C.UTF-8
export ASAN_OPTIONS=halt_on_error=1:detect_leaks=1:allocator_may_return_null=1
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
mkdir -p build-fuzz/artifacts
status=0
for target in "${targets[@]}"; do
    corpus=build-fuzz/corpus/$target
    mkdir -p "$corpus"
    echo "fuzz_$target: ${seconds}s"
    if ! build-fuzz/tests/fuzz/fuzz_"$target" "$corpus" tests/fuzz/seeds/"$target" \
        -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
        -artifact_prefix=build-fuzz/artifacts/"$target"- > build-fuzz/fuzz_"$target".log 2>&1
    then
        status=1
        echo "fuzz_$target FAILED:"
        grep -m1 -A30 -E "ERROR|runtime error|contract broken|Test unit written" \
            build-fuzz/fuzz_"$target".log || tail -30 build-fuzz/fuzz_"$target".log
    fi
    grep -E "stat::number_of_executed_units|stat::new_units_added" build-fuzz/fuzz_"$target".log \
        | sed "s/^/  /"
done
exit $status

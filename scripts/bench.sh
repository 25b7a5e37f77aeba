#!/usr/bin/env bash
# Builds tavrix-bench and runs it. Usage: scripts/bench.sh [FRAMES] [tavrix-bench options]
# Not part of the test command: timings depend on the machine and its load.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh build

cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTAVRIX_BUILD_BENCH=ON
cmake --build build -j"$(nproc)" --target tavrix-bench
export LANG=C.UTF-8 LC_ALL=C.UTF-8
exec build/bench/tavrix-bench "$@"

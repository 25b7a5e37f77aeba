#!/usr/bin/env bash
# Builds everything and runs every test. Usage: scripts/test.sh
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh build test

jobs=$(nproc)
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j"$jobs"
export LANG=C.UTF-8 LC_ALL=C.UTF-8 QT_QPA_PLATFORM=offscreen
ctest --test-dir build --output-on-failure -j"$jobs"

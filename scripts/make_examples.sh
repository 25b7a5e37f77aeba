#!/usr/bin/env bash
# Remakes the example logs in examples/ (ASC, CSV, BLF and candump) from one set
# of varied frames, written by the program's own exporter.
# Usage: scripts/make_examples.sh
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh build

cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j"$(nproc)" --target tavrix_examples
mkdir -p examples
build/tests/tavrix_examples examples
echo "Wrote examples/example.asc, example.csv, example.blf and example.log"

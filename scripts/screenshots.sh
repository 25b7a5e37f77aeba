#!/usr/bin/env bash
# Photographs the real window with the example ASC log shown, in English and
# in Chinese: docs/screenshot-en.png and docs/screenshot-zh.png. Runs on the
# offscreen platform, so no display is needed. Usage: scripts/screenshots.sh
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh build run

cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j"$(nproc)" --target tavrix_screenshot

# Copies in a short folder of our own, so the file list shows tidy paths.
demo="${TMPDIR:-/tmp}/tavrix-demo"
rm -rf "$demo"
mkdir -p "$demo"
trap 'rm -rf "$demo"' EXIT
cp examples/example.asc examples/example.csv "$demo/"

mkdir -p docs
QT_QPA_PLATFORM=offscreen LANG=C.UTF-8 LC_ALL=C.UTF-8 \
    build/tests/tavrix_screenshot docs/screenshot-en.png docs/screenshot-zh.png \
    "$demo/example.asc" "$demo/example.csv"
echo "Wrote docs/screenshot-en.png and docs/screenshot-zh.png"

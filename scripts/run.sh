#!/usr/bin/env bash
# Builds the window (the program and its translations, nothing else: the tests
# and the bench are built by scripts/test.sh) and starts it.
# Usage: scripts/run.sh
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh build run

cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j"$(nproc)" --target tavrix

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    echo "No display found (DISPLAY and WAYLAND_DISPLAY are unset)." >&2
    echo "Run this from a desktop session, or over 'ssh -X', or under a virtual display:" >&2
    echo "    apt-get install xvfb && xvfb-run -a build/ui/tavrix" >&2
    exit 1
fi
exec build/ui/tavrix

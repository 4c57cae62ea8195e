#!/usr/bin/env bash
# Builds Tolvik with its tests and runs every test.
# Usage: scripts/test.sh [build-dir] [extra cmake args...]
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
build=${1:-build}
shift || true
cmake -S . -B "$build" -G Ninja -DTOLVIK_TESTS=ON "$@"
cmake --build "$build"
ctest --test-dir "$build" --output-on-failure -j2

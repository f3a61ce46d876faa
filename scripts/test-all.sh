#!/usr/bin/env bash
# Sets up a fresh Debian machine (as root), builds everything and runs every test.
# Usage: scripts/test-all.sh [build-dir]     (default: build)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}

scripts/install-deps.sh build tests
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DOKT_BUILD_TESTS=ON
cmake --build "$build" -j"$(nproc)"
ctest --test-dir "$build" --output-on-failure -j"$(nproc)"

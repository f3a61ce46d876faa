#!/usr/bin/env bash
# Builds the board's package on a fresh Debian machine: the cross tools and the sysroot
# (scripts/mipsel-sysroot.sh), a mipsel build whose shipped programs are linked statically, and
# with CPack
#   <build>/okt32-service-tools_<version>_mipsel.deb     for boards with dpkg
#   <build>/okt32-service-tools_<version>_mipsel.tar.gz  the same tree, entries from usr/ on:
#       tar -xzf okt32-service-tools_<version>_mipsel.tar.gz --strip-components=1 -C /usr/local
# The package paths are the last two lines printed.
#
# Usage: scripts/package-board.sh [build-dir]     (default: build-mipsel in the source tree)
set -euo pipefail

start=$(date +%s)
src=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$src/build-mipsel}

run() {
    echo "+ $*" >&2
    "$@"
}

run "$src/scripts/mipsel-sysroot.sh" "$build"
build=$(cd "$build" && pwd)
# MinSizeRel: the smallest program of the four build types, and as fast as the board needs.
run cmake -S "$src" -B "$build" \
    -DCMAKE_TOOLCHAIN_FILE="$src/cmake/toolchain-mipsel-linux-gnu.cmake" \
    -DOKT_MIPSEL_SYSROOT="$build/sysroot" -DOKT_STATIC_PROGRAMS=ON -DCMAKE_BUILD_TYPE=MinSizeRel \
    -DOKT_BUILD_TESTS=OFF -DOKT_BUILD_BENCH=OFF
run cmake --build "$build" -j"$(nproc)"
rm -f "$build"/okt32-service-tools_*.deb "$build"/okt32-service-tools_*.tar.gz
(cd "$build" && run cpack)

echo "package-board: done in $(($(date +%s) - start)) s" >&2
ls -1 "$build"/okt32-service-tools_*.deb "$build"/okt32-service-tools_*.tar.gz

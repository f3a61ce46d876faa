#!/usr/bin/env bash
# Gate: the build types the other gates leave out, each with everything a build makes (programs,
# simulators, tests, benchmarks), natively and with -Werror as every build: Release with GCC and
# MinSizeRel with Clang. The other gates build Debug (sanitizers, GCC), RelWithDebInfo (the tests
# and valgrind with GCC, fuzzing with Clang) and MinSizeRel (the board's package, with the mipsel
# cross compiler). A build that fails, a warning among them, fails the gate; the tests are run by
# the other gates.
#
# Usage: scripts/gate-build-types.sh [build-dir-prefix]
#        default: build-types in the source tree (build-types-release-gcc,
#        build-types-minsizerel-clang)
set -euo pipefail

start=$(date +%s)
src=$(cd "$(dirname "$0")/.." && pwd)
"$src/scripts/install-deps.sh" gates >/dev/null
prefix=${1:-$src/build-types}
jobs=2
clang_c=$(command -v clang || command -v clang-14)
clang_cxx=$(command -v clang++ || command -v clang++-14)

run() {
    echo "+ $*" >&2
    "$@"
}

# build TYPE NAME C-COMPILER C++-COMPILER
build() {
    local type=$1 name=$2 cc=$3 cxx=$4
    local dir
    dir=$prefix-$(tr '[:upper:]' '[:lower:]' <<<"$type")-$name
    local t0
    t0=$(date +%s)
    echo "== $type with $name in $dir" >&2
    CC=$cc CXX=$cxx run cmake -S "$src" -B "$dir" -DCMAKE_BUILD_TYPE="$type" \
        -DOKT_BUILD_TESTS=ON -DOKT_BUILD_BENCH=ON
    run cmake --build "$dir" -j$jobs
    echo "== $type with $name: built in $(($(date +%s) - t0)) s" >&2
}

build Release gcc gcc g++
build MinSizeRel clang "$clang_c" "$clang_cxx"

echo "gate-build-types: passed in $(($(date +%s) - start)) s"

#!/usr/bin/env bash
# Gate: every program a system test starts runs under valgrind's memcheck. An invalid access, a
# use of an uninitialised value, or a definite, indirect or possible leak makes the program exit
# with 99 instead of its own status, and the test that compares exit statuses fails. valgrind
# writes its findings to the program's standard error (-q: nothing else), so tests that look at
# standard output only are not disturbed by a clean run.
#
# LD_PRELOAD for the i2c-dev emulation passes through the plain environment: valgrind hands it
# on to the program next to its own preload.
#
# The launcher is handed to the tests through the environment, so an existing build with tests
# (scripts/test-all.sh's) is used as it is; a missing one is configured and built first.
#
# Usage: scripts/gate-valgrind.sh [build-dir]     (default: build in the source tree)
set -euo pipefail

start=$(date +%s)
src=$(cd "$(dirname "$0")/.." && pwd)
"$src/scripts/install-deps.sh" gates >/dev/null
build=${1:-$src/build}
jobs=2

run() {
    echo "+ $*" >&2
    "$@"
}

launcher="valgrind;--error-exitcode=99;--leak-check=full;--show-leak-kinds=definite,indirect,possible"
launcher+=";--errors-for-leak-kinds=definite,indirect,possible;-q"

if [ ! -f "$build/CTestTestfile.cmake" ]; then
    run cmake -S "$src" -B "$build" -DOKT_BUILD_TESTS=ON
    run cmake --build "$build" -j$jobs
fi
export OKT_TEST_LAUNCHER="${launcher//;/ }" OKT_TEST_LAUNCHER_ENV_FLAG=
export OKT_TEST_PROGRAM_DIR= OKT_TEST_LIBRARY_DIR=
run ctest --test-dir "$build" -j$jobs --output-on-failure --no-tests=error

echo "gate-valgrind: passed in $(($(date +%s) - start)) s"

#!/usr/bin/env bash
# Gate: the whole tree built with AddressSanitizer and UndefinedBehaviorSanitizer (OKT_SANITIZE,
# cmake/Sanitizers.cmake), then every test. The tests' programs inherit the options below, so a
# finding in a program under test changes its exit status to 99 and fails the test that ran it;
# a finding in a test program fails that test directly. Leaks count (LeakSanitizer).
#
# Usage: scripts/gate-sanitizers.sh [build-dir]     (default: build-sanitize in the source tree)
set -euo pipefail

start=$(date +%s)
src=$(cd "$(dirname "$0")/.." && pwd)
"$src/scripts/install-deps.sh" gates >/dev/null
build=${1:-$src/build-sanitize}
jobs=2

run() {
    echo "+ $*" >&2
    "$@"
}

# verify_asan_link_order=0: the i2c-dev emulation is preloaded ahead of the sanitizer runtime
# (which it links itself), and ASan would otherwise refuse to start the program.
export ASAN_OPTIONS=detect_leaks=1:exitcode=99:verify_asan_link_order=0:strict_string_checks=1:detect_stack_use_after_return=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1:exitcode=99
export LSAN_OPTIONS=exitcode=99

run cmake -S "$src" -B "$build" -DOKT_SANITIZE=ON -DOKT_BUILD_TESTS=ON -DOKT_BUILD_BENCH=OFF \
    -DCMAKE_BUILD_TYPE=Debug
run cmake --build "$build" -j$jobs
run ctest --test-dir "$build" -j$jobs --output-on-failure --no-tests=error

echo "gate-sanitizers: passed in $(($(date +%s) - start)) s"

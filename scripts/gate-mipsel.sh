#!/usr/bin/env bash
# Gate: the board's own architecture.
#   1. sysroot and cross tools (scripts/mipsel-sysroot.sh);
#   2. cross build of the whole tree for mipsel (programs, simulators, preload libraries);
#   3. the native tests (an existing build with tests is used as it is), pointed through the
#      environment at the mipsel programs and libraries and started through qemu-mipsel
#      (LD_PRELOAD goes to the guest with qemu's -E);
#   4. then a stripped install of the mipsel programs, with their sizes.
# Any failure fails the gate.
#
# Usage: scripts/gate-mipsel.sh [mipsel-build-dir [native-test-build-dir]]
#        defaults: build-mipsel and build in the source tree
set -euo pipefail

start=$(date +%s)
src=$(cd "$(dirname "$0")/.." && pwd)
cross=${1:-$src/build-mipsel}
native=${2:-$src/build}
jobs=2

run() {
    echo "+ $*" >&2
    "$@"
}

step() {
    echo "== $* ($(($(date +%s) - start)) s)" >&2
}

step "sysroot"
run "$src/scripts/mipsel-sysroot.sh" "$cross"
mkdir -p "$cross" "$native"
cross=$(cd "$cross" && pwd)
native=$(cd "$native" && pwd)
sysroot=$cross/sysroot
case $sysroot in
*[[:space:]]*)
    # The launcher reaches the tests as one blank-separated string.
    echo "gate-mipsel: the build folder's path must not contain blanks: $cross" >&2
    exit 1
    ;;
esac

step "mipsel build"
run cmake -S "$src" -B "$cross" \
    -DCMAKE_TOOLCHAIN_FILE="$src/cmake/toolchain-mipsel-linux-gnu.cmake" \
    -DOKT_MIPSEL_SYSROOT="$sysroot" \
    -DOKT_BUILD_TESTS=OFF -DOKT_BUILD_BENCH=OFF
run cmake --build "$cross" -j$jobs

step "smoke run under qemu"
# The updater prints its banner and usage without arguments and exits non-zero.
banner=$(qemu-mipsel -L "$sysroot" "$cross/bin/avr-fwupdate" 2>&1 || true)
echo "$banner" | head -3
if [ -z "$banner" ]; then
    echo "gate-mipsel: avr-fwupdate printed nothing under qemu-mipsel" >&2
    exit 1
fi

step "native tests"
if [ ! -f "$native/CTestTestfile.cmake" ]; then
    run cmake -S "$src" -B "$native" -DOKT_BUILD_TESTS=ON
    run cmake --build "$native" -j$jobs
fi

step "ctest under qemu-mipsel"
export OKT_TEST_LAUNCHER="qemu-mipsel -L $sysroot" OKT_TEST_LAUNCHER_ENV_FLAG=-E
export OKT_TEST_PROGRAM_DIR="$cross/bin" OKT_TEST_LIBRARY_DIR="$cross/lib"
run ctest --test-dir "$native" -j$jobs --output-on-failure --no-tests=error

step "stripped install"
install_dir=$cross/install
rm -rf "$install_dir"
run cmake --install "$cross" --prefix "$install_dir" --strip
for prog in "$install_dir"/bin/*; do
    file "$prog" | grep -q 'MIPS' || {
        echo "gate-mipsel: not a MIPS binary: $prog" >&2
        exit 1
    }
    if mipsel-linux-gnu-readelf -S "$prog" | grep -q '\.debug_\|\.symtab'; then
        echo "gate-mipsel: not stripped: $prog" >&2
        exit 1
    fi
    printf '%-40s %8d bytes\n' "${prog#"$install_dir"/}" "$(stat -c %s "$prog")"
done
find "$install_dir" -type f -path '*/man*' -printf '%P\n'

echo "gate-mipsel: passed in $(($(date +%s) - start)) s"

#!/usr/bin/env bash
# Gate: the board's own architecture. Any failing step fails the gate.
#   1. the board's package (scripts/package-board.sh): sysroot, cross build with the shipped
#      programs linked statically, .deb and .tar.gz;
#   2. every shipped program is static (readelf: no NEEDED entry, no INTERP program header) and
#      has the floor the README states (kernel 3.2, MIPS32 release 2, FP ABI "any FPU");
#   3. a dynamic cross build of the same sources (okt-eepromtool, the simulators and the preload
#      library), because the LD_PRELOAD i2c-dev emulation cannot reach a static program;
#   4. the native tests (an existing build with tests is used as it is), pointed through the
#      environment at the mipsel programs and started through qemu-mipsel, in three groups:
#        a. every test program but those of okt-eepromtool and the simulator programs: against
#           the static programs, with an empty folder as qemu's library root, so that no library
#           of the host or the sysroot can stand in for a missing one;
#        b. okt-eepromtool's cases that reach no I2C bus (usage, exit statuses): its static
#           program, the same way;
#        c. okt-eepromtool's and the simulator programs' tests: against the dynamic build, the
#           sysroot as library root, the emulation preloaded (qemu's -E);
#   5. PACK files of every version and avr-fwinfo's reports (text and JSON) made by the static
#      programs from tests/fixtures/avr equal, byte for byte, those of the native build;
#   6. the package: dpkg-deb --info (no Depends) and --contents, its tree unpacked with
#      dpkg-deb -x into an empty folder and the programs run from there the same way; the
#      .tar.gz holds the same files from usr/ on.
#
# Usage: scripts/gate-mipsel.sh [mipsel-build-dir [native-test-build-dir]]
#        defaults: build-mipsel and build in the source tree; the dynamic build goes to
#        <mipsel-build-dir>-dynamic
set -euo pipefail

start=$(date +%s)
src=$(cd "$(dirname "$0")/.." && pwd)
"$src/scripts/install-deps.sh" gates >/dev/null
cross=${1:-$src/build-mipsel}
native=${2:-$src/build}
jobs=2
programs=(avr-fwupdate okt-eepromtool avr-fwinfo)
# Test programs that need the dynamic build: the I2C emulation or a simulator program.
dynamic_tests='^(test_eepromtool_cmdline|test_eepromtool_editor|test_i2cdev_sim|avrboot_sim_program_tests|avrboot_sim_program_session_tests)$'
# okt-eepromtool's cases that touch no bus: on this machine every bus is missing without the
# emulation, which is what they expect.
no_bus_cases='^eepromtool\.(ABadCommandLineShowsTheUsageAndTouchesNoBus|AMissingBusDeviceIsAProbeError|WithoutArgumentsAFailedFirstReadIsAProbeError)$'

run() {
    echo "+ $*" >&2
    "$@"
}

step() {
    echo "== $* ($(($(date +%s) - start)) s)" >&2
}

fail() {
    echo "gate-mipsel: $*" >&2
    exit 1
}

step "package: sysroot, static cross build, cpack"
run "$src/scripts/package-board.sh" "$cross"
mkdir -p "$native"
cross=$(cd "$cross" && pwd)
native=$(cd "$native" && pwd)
sysroot=$cross/sysroot
dynamic=$cross-dynamic
case $cross in
*[[:space:]]*)
    # The launcher reaches the tests as one blank-separated string.
    fail "the build folder's path must not contain blanks: $cross"
    ;;
esac
work=$(mktemp -d "${TMPDIR:-/tmp}/gate-mipsel.XXXXXX")
trap 'rm -rf "$work"' EXIT
empty=$work/empty-root
mkdir "$empty"

# check_static FILE: a static MIPS32r2 program for Linux 3.2 or later, any FPU.
check_static() {
    local prog=$1 dyn head kind
    [ -x "$prog" ] || fail "missing program: $prog"
    dyn=$(mipsel-linux-gnu-readelf -d "$prog")
    head=$(mipsel-linux-gnu-readelf -l "$prog")
    if grep -q NEEDED <<<"$dyn"; then
        fail "$prog needs shared objects: $(grep NEEDED <<<"$dyn")"
    fi
    if grep -q INTERP <<<"$head"; then
        fail "$prog asks for a program interpreter"
    fi
    kind=$(file "$prog")
    grep -q 'MIPS32 rel2.*statically linked.*for GNU/Linux 3\.2\.0' <<<"$kind" ||
        fail "not a static MIPS32r2 program for Linux 3.2: $kind"
    grep -q 'FP ABI: *Hard float (32-bit CPU, Any FPU)' <<<"$(mipsel-linux-gnu-readelf -A "$prog")" ||
        fail "$prog: FP ABI is not 'any FPU'"
    echo "$prog: readelf -d: '$(head -n1 <<<"${dyn#$'\n'}")', no NEEDED; readelf -l: no INTERP"
}

step "static programs"
for p in "${programs[@]}"; do
    check_static "$cross/bin/$p"
done

step "dynamic cross build for the emulated I2C tests"
run cmake -S "$src" -B "$dynamic" \
    -DCMAKE_TOOLCHAIN_FILE="$src/cmake/toolchain-mipsel-linux-gnu.cmake" \
    -DOKT_MIPSEL_SYSROOT="$sysroot" -DOKT_STATIC_PROGRAMS=OFF \
    -DOKT_BUILD_TESTS=OFF -DOKT_BUILD_BENCH=OFF
run cmake --build "$dynamic" -j$jobs --target okt-eepromtool i2cdev_sim i2cdev_sim_client avr-bootsim \
    avr-fwupdate
grep -q 'NEEDED.*libi2c' <<<"$(mipsel-linux-gnu-readelf -d "$dynamic/bin/okt-eepromtool")" ||
    fail "the dynamic build's okt-eepromtool does not load libi2c: the emulation would miss it"

step "native tests"
if [ ! -f "$native/CTestTestfile.cmake" ]; then
    run cmake -S "$src" -B "$native" -DOKT_BUILD_TESTS=ON
fi
run cmake --build "$native" -j$jobs
# Every named case must still exist: a renamed one would silently leave the group.
selected=$(ctest --test-dir "$native" -N -L '^test_eepromtool_cmdline$' -R "$no_bus_cases" |
    sed -n 's/^Total Tests: //p')
named=$(grep -o '|' <<<"$no_bus_cases" | wc -l)
[ "$selected" -eq $((named + 1)) ] ||
    fail "okt-eepromtool's no-bus cases: $selected found, $((named + 1)) named in this script"

# under ROOT PROGRAM-DIR LIBRARY-DIR ctest-arguments...
under() {
    local root=$1 bin=$2 lib=$3
    shift 3
    OKT_TEST_LAUNCHER="qemu-mipsel -L $root" OKT_TEST_LAUNCHER_ENV_FLAG=-E \
        OKT_TEST_PROGRAM_DIR=$bin OKT_TEST_LIBRARY_DIR=$lib \
        run ctest --test-dir "$native" -j$jobs --output-on-failure --no-tests=error "$@"
}

step "tests against the static programs, empty library root"
under "$empty" "$cross/bin" "$dynamic/lib" -LE "$dynamic_tests"
step "okt-eepromtool's cases without a bus against its static program, empty library root"
under "$empty" "$cross/bin" "$dynamic/lib" -L '^test_eepromtool_cmdline$' -R "$no_bus_cases"
[ -z "$(ls -A "$empty")" ] || fail "something was written into the empty library root: $(ls -A "$empty")"
step "okt-eepromtool and simulator tests against the dynamic build, sysroot, emulation"
under "$sysroot" "$dynamic/bin" "$dynamic/lib" -L "$dynamic_tests"

# transcript DIR BIN-DIR [full]: runs the programs of BIN-DIR (under qemu-mipsel when they are
# mipsel programs) on the fixtures inside DIR, writing their outputs and exit statuses to
# DIR/transcript and their PACK files to DIR. Both sides name the same inputs and relative
# outputs and give the same argv[0], so a native and a board transcript must be equal.
transcript() {
    local dir=$1 bin=$2 full=${3:-}
    local fx=$src/tests/fixtures/avr
    mkdir -p "$dir"
    (
        cd "$dir"
        call() {
            local prog=$1
            shift
            local status=0
            echo "\$ $prog $*" >>transcript
            if [[ $(file -L "$bin/$prog") == *MIPS* ]]; then
                qemu-mipsel -0 "$prog" -L "$empty" "$bin/$prog" "$@" >>transcript 2>&1 || status=$?
            else
                (exec -a "$prog" "$bin/$prog" "$@") >>transcript 2>&1 || status=$?
            fi
            echo "exit status $status" >>transcript
        }
        call avr-fwupdate
        call okt-eepromtool bogus
        call avr-fwinfo
        local pairs=("flash.hex eeprom.hex")
        local options=(-pack3)
        if [ -n "$full" ]; then
            pairs+=("flash-linear16.hex eeprom.hex" "flash-linear32.hex eeprom-linear32.hex"
                "flash-segment32.hex eeprom.hex")
            options=(-pack1 -pack2 -pack3 -pack)
        fi
        local pair flash eeprom opt pack n=0
        for pair in "${pairs[@]}"; do
            read -r flash eeprom <<<"$pair"
            n=$((n + 1))
            call avr-fwinfo "$fx/$flash" "$fx/$eeprom"
            [ -z "$full" ] || call avr-fwinfo --json "$fx/$flash" "$fx/$eeprom"
            for opt in "${options[@]}"; do
                pack=pair$n$opt.pack
                call avr-fwupdate "$opt" "$pack" "$fx/$flash" "$fx/$eeprom"
                call avr-fwinfo "$pack"
                [ -z "$full" ] || call avr-fwinfo --json "$pack"
            done
        done
    )
}

# same NATIVE-DIR BOARD-DIR: equal transcripts and PACK files.
same() {
    local a=$1 b=$2
    if ! diff -r "$a" "$b"; then
        fail "the board's programs differ from the native build ($a, $b)"
    fi
    echo "equal: $(find "$b" -name '*.pack' | wc -l) PACK files and $(grep -c '^\$ ' "$b/transcript") runs" >&2
}

step "PACK files and avr-fwinfo reports: static mipsel programs against the native build"
transcript "$work/native" "$native/bin" full
transcript "$work/board" "$cross/bin" full
same "$work/native" "$work/board"

step "package"
deb=$(ls "$cross"/okt32-service-tools_*_mipsel.deb)
tgz=${deb%.deb}.tar.gz
[ -f "$tgz" ] || fail "no .tar.gz next to $deb"
run dpkg-deb --info "$deb"
info=$(dpkg-deb --field "$deb")
version=$(sed -n 's/^project(okt32-service-tools VERSION \([0-9.]*\) .*/\1/p' "$src/CMakeLists.txt")
for field in "Package: okt32-service-tools" "Version: $version" "Architecture: mipsel"; do
    grep -qx "$field" <<<"$info" || fail "the package's control lacks '$field'"
done
if grep -qiE '^(Pre-)?Depends:' <<<"$info"; then
    fail "the package depends on something: $(grep -iE '^(Pre-)?Depends:' <<<"$info")"
fi
[ "$(basename "$deb")" = "okt32-service-tools_${version}_mipsel.deb" ] || fail "package name: $deb"

expected="usr/bin/avr-fwinfo
usr/bin/avr-fwupdate
usr/bin/okt-eepromtool
usr/share/doc/okt32-service-tools/changelog.gz
usr/share/doc/okt32-service-tools/copyright
usr/share/man/man1/avr-fwinfo.1.gz
usr/share/man/man1/avr-fwupdate.1.gz
usr/share/man/man1/okt-eepromtool.1.gz"
run dpkg-deb --contents "$deb"
deb_files=$(dpkg-deb --contents "$deb" | awk '$1 !~ /^d/ {print $6}' | sed 's|^\./||' | sort)
[ "$deb_files" = "$expected" ] || fail "the .deb holds other files:"$'\n'"$deb_files"
tgz_entries=$(tar -tzf "$tgz" | sort)
if grep -qv '^usr/' <<<"$tgz_entries"; then
    fail "the .tar.gz has entries outside usr/: $(grep -v '^usr/' <<<"$tgz_entries" | head -3)"
fi
[ "$(grep -v '/$' <<<"$tgz_entries")" = "$expected" ] || fail "the .tar.gz holds other files"

unpacked=$work/unpacked
mkdir "$unpacked"
run dpkg-deb -x "$deb" "$unpacked"
prefix=$work/prefix
mkdir "$prefix"
run tar -xzf "$tgz" --strip-components=1 -C "$prefix"
for p in "${programs[@]}"; do
    check_static "$unpacked/usr/bin/$p"
    if grep -q '\.debug_\|\.symtab' <<<"$(mipsel-linux-gnu-readelf -S "$unpacked/usr/bin/$p")"; then
        fail "not stripped: $p"
    fi
    cmp "$unpacked/usr/bin/$p" "$prefix/bin/$p" || fail "the .tar.gz's $p differs from the .deb's"
done
gzip -t "$unpacked"/usr/share/man/man1/*.gz "$unpacked"/usr/share/doc/okt32-service-tools/changelog.gz

step "the unpacked package's programs under qemu-mipsel, empty library root"
transcript "$work/native-short" "$native/bin"
transcript "$work/package" "$unpacked/usr/bin"
same "$work/native-short" "$work/package"

echo "stripped sizes:"
for p in "${programs[@]}"; do
    printf '  %-16s %9d bytes\n' "$p" "$(stat -c %s "$unpacked/usr/bin/$p")"
done
printf '  %-16s %9d bytes\n' "$(basename "$deb")" "$(stat -c %s "$deb")"
printf '  %-16s %9d bytes\n' "$(basename "$tgz")" "$(stat -c %s "$tgz")"

echo "gate-mipsel: passed in $(($(date +%s) - start)) s"

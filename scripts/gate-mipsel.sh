#!/usr/bin/env bash
# Gate: the board's own architecture. Any failing step fails the gate.
#   1. the board's package (scripts/package-board.sh): sysroot, cross build of the one static
#      program okt32-tools, .deb and .tar.gz;
#   2. that program is static (readelf: no NEEDED entry, no INTERP program header) and has the
#      floor the README states (kernel 3.2, MIPS32 release 2, FP ABI "any FPU");
#   3. a dynamic cross build of the same sources (okt-eepromtool, okt-idrec, the simulators and
#      the preload library), because the LD_PRELOAD i2c-dev emulation cannot reach a static
#      program;
#   4. the native tests (an existing build with tests is used as it is), pointed through the
#      environment at the mipsel programs and started through qemu-mipsel, in three groups:
#        a. every test program but those of okt-eepromtool, okt-idrec's on the modules and the
#           simulator programs: against the static program under each shipped name (a folder of
#           hard links, okt32-tools among them for its own tests), with an empty folder as
#           qemu's library root, so that no library of the host or the sysroot can stand in for
#           a missing one; okt-idrec's tests on record files and its command line are among them;
#        b. okt-eepromtool's cases that reach no I2C bus (usage, exit statuses): the static
#           program as okt-eepromtool, the same way;
#        c. okt-eepromtool's, okt-idrec's on the modules (read, write, the JSON of every command)
#           and the simulator programs' tests: against the dynamic build, the sysroot as library
#           root, the emulation preloaded (qemu's -E);
#   5. PACK files of every version and avr-fwinfo's reports (text and JSON) made by the static
#      programs from tests/fixtures/avr, and okt-idrec's record files and reports (text and JSON)
#      made from fields, equal, byte for byte, those of the native build;
#   6. the package: dpkg-deb --info (no Depends) and --contents, its tree unpacked with
#      dpkg-deb -x into an empty folder and the programs run from there the same way, as
#      /usr/bin/NAME; the .tar.gz holds the same files from usr/ on; in both the programs are one
#      file under four names (hard links), and another name is refused;
#   7. the budgets: the installed programs together (each file once) at most 1,000,000 bytes,
#      the .deb at most 450,000 bytes;
#   8. reproducible: scripts/reproducible-board.sh builds the package twice more, in two fresh
#      folders, and finds the program, the .deb and the .tar.gz equal byte for byte.
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
programs=(avr-fwupdate okt-eepromtool avr-fwinfo okt-idrec)
max_programs_bytes=1000000
max_deb_bytes=450000
refusal="okt32-tools: run as one of: ${programs[*]}"
# Test programs that need the dynamic build: the I2C emulation or a simulator program. Their
# ctest label is the program's name.
dynamic_programs=(test_eepromtool_cmdline test_eepromtool_editor test_idrec_modules test_i2cdev_sim
    test_avrboot_sim_program test_avrboot_sim_program_session)
dynamic_tests="^($(IFS='|' && echo "${dynamic_programs[*]}"))\$"
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

step "static program"
check_static "$cross/bin/okt32-tools"
# The tests find the programs by name in one folder: the one program under every name.
names=$work/names
mkdir "$names"
cp "$cross/bin/okt32-tools" "$names/okt32-tools"
for p in "${programs[@]}"; do
    ln "$names/okt32-tools" "$names/$p"
done

step "dynamic cross build for the emulated I2C tests"
run cmake -S "$src" -B "$dynamic" \
    -DCMAKE_TOOLCHAIN_FILE="$src/cmake/toolchain-mipsel-linux-gnu.cmake" \
    -DOKT_MIPSEL_SYSROOT="$sysroot" -DOKT_STATIC_PROGRAMS=OFF \
    -DOKT_BUILD_TESTS=OFF -DOKT_BUILD_BENCH=OFF
run cmake --build "$dynamic" -j$jobs --target okt-eepromtool okt-idrec i2cdev_sim i2cdev_sim_client \
    avr-bootsim avr-fwupdate
for p in okt-eepromtool okt-idrec; do
    grep -q 'NEEDED.*libi2c' <<<"$(mipsel-linux-gnu-readelf -d "$dynamic/bin/$p")" ||
        fail "the dynamic build's $p does not load libi2c: the emulation would miss it"
done

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
for p in "${dynamic_programs[@]}"; do
    selected=$(ctest --test-dir "$native" -N -L "^$p\$" | sed -n 's/^Total Tests: //p')
    [ "$selected" -gt 0 ] || fail "the dynamic group names $p, which has no tests"
done

# under ROOT PROGRAM-DIR LIBRARY-DIR ctest-arguments...
under() {
    local root=$1 bin=$2 lib=$3
    shift 3
    OKT_TEST_LAUNCHER="qemu-mipsel -L $root" OKT_TEST_LAUNCHER_ENV_FLAG=-E \
        OKT_TEST_PROGRAM_DIR=$bin OKT_TEST_LIBRARY_DIR=$lib \
        run ctest --test-dir "$native" -j$jobs --output-on-failure --no-tests=error "$@"
}

step "tests against the static program under each name, empty library root"
under "$empty" "$names" "$dynamic/lib" -LE "$dynamic_tests"
step "okt-eepromtool's cases without a bus against the static program, empty library root"
under "$empty" "$names" "$dynamic/lib" -L '^test_eepromtool_cmdline$' -R "$no_bus_cases"
[ -z "$(ls -A "$empty")" ] || fail "something was written into the empty library root: $(ls -A "$empty")"
step "okt-eepromtool, okt-idrec's module and simulator tests against the dynamic build, sysroot, emulation"
under "$sysroot" "$dynamic/bin" "$dynamic/lib" -L "$dynamic_tests"

# transcript DIR BIN-DIR [full|short [ARGV0-PREFIX]]: runs the programs of BIN-DIR (under
# qemu-mipsel when they are mipsel programs) on the fixtures inside DIR, writing their outputs and
# exit statuses to DIR/transcript and their PACK files to DIR. Both sides name the same inputs and
# relative outputs and give the same argv[0] (the program's name after ARGV0-PREFIX), so a native
# and a board transcript must be equal.
transcript() {
    local dir=$1 bin=$2 full=${3:-} argv0=${4:-}
    [ "$full" != short ] || full=
    local fx=$src/tests/fixtures/avr
    mkdir -p "$dir"
    (
        cd "$dir"
        call() {
            local prog=$1
            shift
            local status=0
            echo "\$ $argv0$prog $*" >>transcript
            if [[ $(file -L "$bin/$prog") == *MIPS* ]]; then
                qemu-mipsel -0 "$argv0$prog" -L "$empty" "$bin/$prog" "$@" >>transcript 2>&1 ||
                    status=$?
            else
                (exec -a "$argv0$prog" "$bin/$prog" "$@") >>transcript 2>&1 || status=$?
            fi
            echo "exit status $status" >>transcript
        }
        call avr-fwupdate
        call okt-eepromtool bogus
        call avr-fwinfo
        call okt-idrec
        # A record made from fields, shown as text and JSON; refusals name their field.
        call okt-idrec make x1.rec --serial X1-2025-01234 --desc 'WLD OKT-MOD-X1' --rev A \
            --manuf-date 29.02.24-09:30 --maint-date 31.12.59-23:59 --bootcntr 0xffffffff
        call okt-idrec show x1.rec
        call okt-idrec show --json x1.rec
        call okt-idrec make x2.rec --from x1.rec --serial X1-2025-01235 --bootcntr 42
        call okt-idrec show --json x1.rec x2.rec
        call okt-idrec make x3.rec --manuf-date 31.04.25-12:00
        call okt-idrec make x3.rec --desc 'sixteen bytes!!!'
        call okt-idrec show "$fx/eeprom.hex"
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
    echo "equal: $(find "$b" -name '*.pack' | wc -l) PACK files, $(find "$b" -name '*.rec' | wc -l)" \
        "record files and $(grep -c '^\$ ' "$b/transcript") runs" >&2
}

step "PACK files, records and reports: static mipsel programs against the native build"
transcript "$work/native" "$native/bin" full
transcript "$work/board" "$names" full
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
usr/bin/okt-idrec
usr/share/doc/okt32-service-tools/changelog.gz
usr/share/doc/okt32-service-tools/copyright
usr/share/man/man1/avr-fwinfo.1.gz
usr/share/man/man1/avr-fwupdate.1.gz
usr/share/man/man1/okt-eepromtool.1.gz
usr/share/man/man1/okt-idrec.1.gz"
run dpkg-deb --contents "$deb"
deb_files=$(dpkg-deb --contents "$deb" | awk '$1 !~ /^d/ {print $6}' | sed 's|^\./||' | sort)
[ "$deb_files" = "$expected" ] || fail "the .deb holds other files:"$'\n'"$deb_files"
tgz_entries=$(tar -tzf "$tgz" | sort)
if grep -qv '^usr/' <<<"$tgz_entries"; then
    fail "the .tar.gz has entries outside usr/: $(grep -v '^usr/' <<<"$tgz_entries" | head -3)"
fi
[ "$(grep -v '/$' <<<"$tgz_entries")" = "$expected" ] || fail "the .tar.gz holds other files"
# One program: in each archive the first name is the file, the others are hard links to it.
for listing in "$(dpkg-deb --contents "$deb" | sed 's| \./| |g')" "$(tar -tvzf "$tgz")"; do
    bin_entries=$(grep ' usr/bin/.' <<<"$listing")
    first=$(grep '^-' <<<"$bin_entries" | awk '{print $6}')
    [ "$(wc -w <<<"$first")" -eq 1 ] || fail "not one program file in usr/bin:"$'\n'"$bin_entries"
    links=$(grep -c "^h.* link to $first\$" <<<"$bin_entries" || true)
    [ "$links" -eq $((${#programs[@]} - 1)) ] ||
        fail "not every other name a hard link to $first:"$'\n'"$bin_entries"
done

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
    for tree in "$unpacked/usr/bin" "$prefix/bin"; do
        [ "$tree/$p" -ef "$tree/${programs[0]}" ] ||
            fail "unpacked, $tree/$p is another file than ${programs[0]}"
    done
done
gzip -t "$unpacked"/usr/share/man/man1/*.gz "$unpacked"/usr/share/doc/okt32-service-tools/changelog.gz

step "the unpacked package's programs under qemu-mipsel as /usr/bin/NAME, empty library root"
transcript "$work/native-short" "$native/bin" short /usr/bin/
transcript "$work/package" "$unpacked/usr/bin" short /usr/bin/
same "$work/native-short" "$work/package"
# Under a name it does not answer to, the program says which it does.
status=0
qemu-mipsel -0 /usr/bin/okt32 -L "$empty" "$unpacked/usr/bin/avr-fwinfo" --version \
    >"$work/refused.out" 2>"$work/refused.err" || status=$?
if [ "$status" -ne 1 ] || [ -s "$work/refused.out" ] || [ "$(cat "$work/refused.err")" != "$refusal" ]; then
    fail "as /usr/bin/okt32: exit status $status, output '$(cat "$work/refused.out")'," \
        "errors '$(cat "$work/refused.err")' instead of 1, none, '$refusal'"
fi

step "budgets"
# Each file once: the names are hard links to one program.
programs_bytes=$(find "$unpacked/usr/bin" -type f -printf '%i %s\n' | sort -u | awk '{s += $2} END {print s}')
deb_bytes=$(stat -c %s "$deb")
printf '  %-52s %9d bytes (at most %d)\n' "usr/bin (${programs[*]}: one file)" "$programs_bytes" \
    "$max_programs_bytes" "$(basename "$deb")" "$deb_bytes" "$max_deb_bytes"
printf '  %-52s %9d bytes\n' "$(basename "$tgz")" "$(stat -c %s "$tgz")"
[ "$programs_bytes" -le "$max_programs_bytes" ] ||
    fail "the programs take $programs_bytes bytes, more than $max_programs_bytes"
[ "$deb_bytes" -le "$max_deb_bytes" ] || fail "the .deb has $deb_bytes bytes, more than $max_deb_bytes"

step "reproducible: the package built twice more, in two fresh folders"
run "$src/scripts/reproducible-board.sh"

echo "gate-mipsel: passed in $(($(date +%s) - start)) s"

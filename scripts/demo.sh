#!/usr/bin/env bash
# The main job on a simulated board, no hardware needed: sets up a fresh Debian machine (as root)
# with the build packages, builds the programs and the simulators, then
#   1. updates the firmware of a simulated AVR boot loader from the example HEX files,
#   2. packs the same firmware as a version-3 PACK file, inspects it and updates from it,
#   3. prints, saves and writes ID-EEPROM records of emulated I2C modules,
#   4. makes a record from fields, writes it to an emulated module with a backup, shows the backup.
# Usage: scripts/demo.sh [--keep] [build-dir]     (default: build-demo)
#   --keep  keep the demo's files (PACK file, AVR memories, EEPROM files) and say where they are
set -euo pipefail
cd "$(dirname "$0")/.."
src=$(pwd)

keep=
if [ "${1:-}" = --keep ]; then
    keep=1
    shift
fi
case ${1:-} in
-*)
    echo "usage: scripts/demo.sh [--keep] [build-dir]" >&2
    exit 2
    ;;
esac
build=$(realpath -m "${1:-build-demo}")

step() { printf 'demo: %s\n' "$*"; }

step "checking the build packages (apt-get installs what is missing; the first run takes a minute)"
scripts/install-deps.sh build
step "configuring and building the programs and simulators in $build (about a minute on 2 cores)"
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DOKT_BUILD_TESTS=OFF \
    -DOKT_BUILD_BENCH=OFF >/dev/null
build_log=$build/demo-build.log
if ! cmake --build "$build" -j"$(nproc)" \
    -t avr-fwupdate avr-fwinfo okt-eepromtool okt-idrec avr-bootsim i2cdev_sim 2>&1 | tee "$build_log" |
    awk '/Built target/ && !seen[$0]++ { print "demo:   " $0; fflush() }'; then
    tail -n 40 "$build_log"
    step "the build failed; its whole output is in $build_log"
    exit 1
fi
bin=$build/bin
fixtures=$src/tests/fixtures/avr
work=$(mktemp -d /tmp/okt32-demo.XXXXXX)
sim_pid=
cleanup() {
    if [ -n "$sim_pid" ]; then kill "$sim_pid" 2>/dev/null || true; fi
    if [ -z "$keep" ]; then rm -rf "$work"; fi
}
trap cleanup EXIT

say() { printf '\n\033[1m### %s\033[0m\n' "$*"; }
failures=0
failed() {
    echo "(exit $1)"
    failures=$((failures + 1))
}

# The simulated AVR (installed firmware B1.0.2 for the same hardware) serves two updates in a row
# on the pseudo-terminal behind the link $tty, keeping its memories between them.
tty=$work/avr-tty
"$bin/avr-bootsim" --link "$tty" --sessions 2 --ident B,1,0,2,25,3,1,OKT32-BB \
    --baud 115200 --page-time 4.5 \
    --save-flash "$work/avr-flash.bin" --save-eeprom "$work/avr-eeprom.bin" >"$work/sim.out" &
sim_pid=$!
until [ -e "$tty" ]; do
    if ! kill -0 "$sim_pid" 2>/dev/null; then
        cat "$work/sim.out"
        step "the simulated AVR did not start"
        exit 1
    fi
    sleep 0.1
done

say "avr-fwupdate: update from the HEX pair (simulated AVR at 115200 baud)"
echo "\$ avr-fwupdate $tty 115200 flash.hex eeprom.hex"
"$bin/avr-fwupdate" "$tty" 115200 "$fixtures/flash.hex" "$fixtures/eeprom.hex" || failed "$?"

say "avr-fwupdate: build a version-3 PACK file"
echo "\$ avr-fwupdate -pack3 firmware.pack flash.hex eeprom.hex"
"$bin/avr-fwupdate" -pack3 "$work/firmware.pack" "$fixtures/flash.hex" "$fixtures/eeprom.hex"

say "avr-fwinfo: inspect the PACK file before flashing it"
echo "\$ avr-fwinfo --expect-hwid OKT32-BB firmware.pack"
"$bin/avr-fwinfo" --expect-hwid OKT32-BB "$work/firmware.pack" || failed "$?"

say "avr-fwupdate: update from the PACK file"
echo "\$ avr-fwupdate $tty 115200 firmware.pack"
"$bin/avr-fwupdate" "$tty" 115200 "$work/firmware.pack" || failed "$?"

wait "$sim_pid" || failed "$?"
sim_pid=
echo "--- the simulated AVR reports:"
tail -n +2 "$work/sim.out"

say "okt-eepromtool on emulated I2C modules"
eep=$work/eeproms
mkdir -p "$eep"
# record: boot counter, manufacture and maintenance date (BCD), description, revision, serial
record() {
    {
        printf "$1"
        printf '\x14\x06\x25\x20\x09\x30\x02\x12\x25\x20\x16\x45'
        for text in "$2" "$3" "$4"; do
            printf '%s' "$text"
            head -c $((16 - ${#text})) /dev/zero
        done
        head -c 64 /dev/zero
        head -c 128 /dev/zero | tr '\0' '\377'
    } >"$5"
}
record '\x2a\x00\x00\x00' "WLD OKT-CPU-B1" "R2" "CPU-2025-00417" "$eep/i2c-0-50"
record '\x07\x00\x00\x00' "WLD OKT-MOBO-L" "C" "BB-2025-00093" "$eep/i2c-1-50"
record '\x00\x00\x00\x00' "WLD OKT-MOD-X1" "A" "X1-2025-01234" "$eep/i2c-0-52"
head -c 256 /dev/zero | tr '\0' '\377' >"$eep/i2c-0-53"
eeptool() {
    echo "\$ okt-eepromtool $*"
    LD_PRELOAD=$build/lib/libi2cdev-sim.so I2CSIM_DIR=$eep "$bin/okt-eepromtool" "$@" ||
        failed "$?"
}
eeptool serialcpu
eeptool serialbb
eeptool dumpext0 "$work/ext0.rec"
echo "--- saved record of Extension Module 0:"
od -A x -t x1z -v "$work/ext0.rec" | head -n 8
eeptool setext1 "$work/ext0.rec"
echo "--- Extension Module 1 now holds the same record:"
od -A x -t x1z -v -N 64 "$eep/i2c-0-53"

say "okt-idrec: a record made from fields, written to Extension Module 1 behind its guards"
idrec() {
    echo "\$ okt-idrec $*"
    LD_PRELOAD=$build/lib/libi2cdev-sim.so I2CSIM_DIR=$eep "$bin/okt-idrec" "$@" || failed "$?"
}
idrec make "$work/x1-01235.rec" --serial X1-2025-01235 --desc "WLD OKT-MOD-X1" --rev B \
    --manuf-date now --bootcntr 0
# The module holds a programmed record (the copy above): written only when its serial is named.
idrec write ext1 "$work/x1-01235.rec" --expect-serial X1-2025-01234 \
    --backup "$work/ext1-before.rec"
echo "--- the backup of what Extension Module 1 held before:"
idrec show "$work/ext1-before.rec"
echo "--- and what it holds now, as an inventory line:"
idrec read ext1 --json

echo
echo "The programs are in $bin (manuals: man -l docs/avr-fwupdate.1, and the others in docs/)."
if [ -n "$keep" ]; then
    echo "The demo's files are kept in $work. Try the interactive editor on its EEPROMs:"
    echo "  LD_PRELOAD=$build/lib/libi2cdev-sim.so I2CSIM_DIR=$eep $bin/okt-eepromtool"
else
    echo "The demo's files were removed; run scripts/demo.sh --keep to keep them and try the"
    echo "interactive editor on the emulated EEPROMs."
fi
if [ "$failures" -gt 0 ]; then
    step "$failures step(s) above did not succeed"
    exit 1
fi

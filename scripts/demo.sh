#!/usr/bin/env bash
# The main job on a simulated board, no hardware needed: sets up a fresh Debian machine (as root),
# builds, then
#   1. updates the firmware of a simulated AVR boot loader from the example HEX files,
#   2. packs the same firmware as a version-3 PACK file, inspects it and updates from it,
#   3. prints, saves and writes ID-EEPROM records of emulated I2C modules.
# Usage: scripts/demo.sh [build-dir]     (default: build)
set -euo pipefail
cd "$(dirname "$0")/.."
src=$(pwd)
build=$(realpath -m "${1:-build}")

scripts/install-deps.sh >/dev/null
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j"$(nproc)" \
    -t avr-fwupdate avr-fwinfo okt-eepromtool avr-bootsim i2cdev_sim >/dev/null
bin=$build/bin
fixtures=$src/tests/fixtures/avr
work=$(mktemp -d /tmp/okt32-demo.XXXXXX)
sim_pid=
trap '[ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null; rm -rf "$work"' EXIT

say() { printf '\n\033[1m### %s\033[0m\n' "$*"; }

# Starts the simulated AVR (installed firmware B1.0.2 for the same hardware) and waits for the
# pseudo-terminal it serves.
start_avr() {
    "$bin/avr-bootsim" --ident B,1,0,2,25,3,1,OKT32-BB --baud 115200 --page-time 4.5 \
        --save-flash "$work/avr-flash.bin" --save-eeprom "$work/avr-eeprom.bin" \
        >"$work/sim.out" &
    sim_pid=$!
    for _ in $(seq 100); do
        [ -s "$work/sim.out" ] && break
        sleep 0.05
    done
    tty=$(head -n 1 "$work/sim.out")
}

finish_avr() {
    wait "$sim_pid" || true
    sim_pid=
    echo "--- the simulated AVR reports:"
    tail -n +2 "$work/sim.out"
}

say "avr-fwupdate: update from the HEX pair (simulated AVR at 115200 baud)"
start_avr
echo "\$ avr-fwupdate $tty 115200 flash.hex eeprom.hex"
"$bin/avr-fwupdate" "$tty" 115200 "$fixtures/flash.hex" "$fixtures/eeprom.hex" || echo "(exit $?)"
finish_avr

say "avr-fwupdate: build a version-3 PACK file"
echo "\$ avr-fwupdate -pack3 firmware.pack flash.hex eeprom.hex"
"$bin/avr-fwupdate" -pack3 "$work/firmware.pack" "$fixtures/flash.hex" "$fixtures/eeprom.hex"

say "avr-fwinfo: inspect the PACK file before flashing it"
echo "\$ avr-fwinfo firmware.pack"
"$bin/avr-fwinfo" "$work/firmware.pack" || echo "(exit $?)"

say "avr-fwupdate: update from the PACK file"
start_avr
echo "\$ avr-fwupdate $tty 115200 firmware.pack"
"$bin/avr-fwupdate" "$tty" 115200 "$work/firmware.pack" || echo "(exit $?)"
finish_avr

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
        echo "(exit $?)"
}
eeptool serialcpu
eeptool serialbb
eeptool dumpext0 "$work/ext0.rec"
echo "--- saved record of Extension Module 0:"
od -A x -t x1z -v "$work/ext0.rec" | head -n 8
eeptool setext1 "$work/ext0.rec"
echo "--- Extension Module 1 now holds the same record:"
od -A x -t x1z -v -N 64 "$eep/i2c-0-53"
echo
echo "The interactive editor: LD_PRELOAD=$build/lib/libi2cdev-sim.so I2CSIM_DIR=$eep $bin/okt-eepromtool"
echo "(the demo's files are removed when it ends: copy $eep first to keep them)"

#!/bin/sh
# Runs one AVR firmware update on the board and watches it.
#
# The updater only warns when the AVR reports other hardware than the new firmware names, then
# counts down ten seconds and flashes anyway; nobody watches a fleet rollout, so this watch ends
# the updater as soon as that warning appears. It also ends a run that outlasts the time limit.
# Both only need a POSIX shell, grep, kill, ls and sleep, which every board has.
#
# Usage: sh FOLDER/avr-update-watch.sh RUN LIMIT COMMAND [ARGUMENT...]
#   RUN      number of the run (1, 2, ...): the updater's output goes to FOLDER/update-RUN.log
#   LIMIT    seconds the run may take
#   COMMAND  the updater's command line (e.g. env VAR=... /opt/okt/bin/avr-fwupdate PORT BAUD PACK)
#
# FOLDER, the folder the script lies in, must be the caller's own private folder (a directory
# owned by the caller, mode 0700, not a symbolic link), and the log must not exist yet: the log
# is made new there and no link is followed, whoever else can log into the board.
#
# Prints the updater's output, then one result line for the controller:
#   OKT-AVR-UPDATE status=<exit status> stopped=<none|hardware|timeout> seconds=<run time>
# and exits with 0 whatever the update's outcome (1 for a usage error or an unsafe folder or log,
# without running COMMAND).
set -u

if [ $# -lt 3 ]; then
    echo "usage: avr-update-watch.sh RUN LIMIT COMMAND [ARGUMENT...]"
    exit 1
fi
for number in "$1" "$2"; do
    case $number in
    '' | *[!0-9]*)
        echo "avr-update-watch.sh: RUN and LIMIT must be whole numbers, not '$1' and '$2'"
        exit 1
        ;;
    esac
done
case $0 in
*/*) folder=${0%/*} ;;
*) folder=. ;;
esac
log=$folder/update-$1.log
limit=$2
shift 2

if [ -O "$folder" ] && [ ! -L "$folder" ] && [ -d "$folder" ]; then
    mode=$(ls -ld "$folder")
    mode=${mode%% *}
else
    mode=none
fi
case $mode in
drwx------ | drwx------.) ;;
*)
    echo "avr-update-watch.sh: $folder is not this user's private folder"
    exit 1
    ;;
esac
if [ -e "$log" ] || [ -L "$log" ]; then
    echo "avr-update-watch.sh: $log exists already"
    exit 1
fi

# Part of the updater's warning (avr-fwupdate/link/avr_protocol.cpp, HARDWARE_WARNING): change
# both together.
mismatch_warning='Firmware is for different Hardware'

# Hundredths of a second since boot (/proc/uptime always has two decimals).
uptime_centis() {
    read -r up rest </proc/uptime
    echo $((${up%.*} * 100 + 1${up#*.} - 100))
}

# Poll ten times a second where sleep takes fractions, else once a second.
if sleep 0.1 2>/dev/null; then
    tick=0.1
    ticks_per_second=10
else
    tick=1
    ticks_per_second=1
fi

# noclobber: the log is made new here, never an existing file or link opened; nobody else can
# reach into the folder to replace it afterwards.
set -C
if ! : >"$log"; then
    echo "avr-update-watch.sh: cannot make $log"
    exit 1
fi
set +C

started=$(uptime_centis)
"$@" >>"$log" 2>&1 </dev/null &
pid=$!
ticks=0
stopped=none
while kill -0 "$pid" 2>/dev/null; do
    if grep -q "$mismatch_warning" "$log"; then
        stopped=hardware
    elif [ "$ticks" -ge $((limit * ticks_per_second)) ]; then
        stopped=timeout
    fi
    if [ "$stopped" != none ]; then
        # Background jobs of a script ignore SIGINT; the updater has no handler for SIGTERM.
        kill -TERM "$pid" 2>/dev/null
        break
    fi
    sleep "$tick"
    ticks=$((ticks + 1))
done
wait "$pid"
status=$?
elapsed=$(($(uptime_centis) - started))

cat "$log"
printf '\nOKT-AVR-UPDATE status=%d stopped=%s seconds=%d.%02d\n' "$status" "$stopped" \
    $((elapsed / 100)) $((elapsed % 100))
exit 0

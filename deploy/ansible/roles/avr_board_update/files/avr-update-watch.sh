#!/bin/sh
# Runs one AVR firmware update on the board and watches it.
#
# The updater only warns when the AVR reports other hardware than the new firmware names, then
# counts down ten seconds and flashes anyway; nobody watches a fleet rollout, so this watch ends
# the updater as soon as that warning appears. It also ends a run that outlasts the time limit.
# Both only need a POSIX shell, grep, kill and sleep, which every board has.
#
# Usage: sh avr-update-watch.sh LOG LIMIT COMMAND [ARGUMENT...]
#   LOG      file for the updater's output (overwritten)
#   LIMIT    seconds the run may take
#   COMMAND  the updater's command line (e.g. env VAR=... /opt/okt/bin/avr-fwupdate PORT BAUD PACK)
#
# Prints the updater's output, then one result line for the controller:
#   OKT-AVR-UPDATE status=<exit status> stopped=<none|hardware|timeout> seconds=<run time>
# and exits with 0 whatever the update's outcome (1 for a usage error).
set -u

if [ $# -lt 3 ]; then
    echo "usage: avr-update-watch.sh LOG LIMIT COMMAND [ARGUMENT...]"
    exit 1
fi
log=$1
limit=$2
shift 2

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

started=$(uptime_centis)
"$@" >"$log" 2>&1 </dev/null &
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

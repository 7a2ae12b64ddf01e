#!/usr/bin/env bash
# CPU cost of receiving, side by side with picocom on the same rig port: the port open and quiet,
# then 25,600 B/s of random bytes (a 256,000 baud line, the rate the program's port is set to)
# shown as hex and captured to a file, fed in 50 ms bursts and as a 1 ms trickle. The figure is the
# CPU time over the window as a percentage of one core (utime + stime from /proc/PID/stat): for
# Quenlet of the program and the wineserver, for picocom of picocom itself. For Quenlet it also
# counts the status line's changes at each rate, which are its hand-overs of received bytes to the
# window, and the most bytes it found waiting in its input queue.
#   cpu_cost.sh BUILD_DIR [IDLE_SECONDS] [RATE_SECONDS]   (the rig's env.sh sourced; prints Markdown)
source "$(dirname "$0")/../e2e/lib.sh" "${1:?usage: cpu_cost.sh BUILD_DIR [IDLE_SECONDS] [RATE_SECONDS]}/quenlet.exe" \
    "$1/tests/e2e/quenlet_driver.exe" >/dev/null
source "$(dirname "$0")/../soak/measure.sh"
source "$(dirname "$0")/picocom.sh"
readonly IDLE_SECONDS=${2:-10} RATE_SECONDS=${3:-15} RATE=25600
readonly HEX_MAP=spchex,tabhex,crhex,lfhex,8bithex,nrmhex
# The input queue Wine's serial layer reports (GetCommProperties' dwCurrentRxQueue): the program
# reads before half of it can fill at the line's rate.
readonly QUEUE_BYTES=4096

cleanup_picocom() { stop_picocom; cleanup; }
trap cleanup_picocom EXIT

# The feed of one figure: "" (none) or the burst period in ms.
start_feed() { [[ -z $1 ]] || start_demo --stream random --rate $RATE --burst-ms "$1"; }
stop_feed() { [[ -z $1 ]] || stop_demo; }

# quenlet_figure BURST_MS SECONDS: sets QUENLET_PERCENT, QUENLET_CHANGES and QUENLET_QUEUE_PEAK
# (the most bytes the program found waiting in its input queue, from the rig's fixture).
quenlet_figure() {
    local -r burst=$1 seconds=$2
    rm -f "$WORK/queue-peak"
    QUENLET_FIXTURE_QUEUE_PEAK=$WORK/queue-peak start_quenlet
    driver receive-mode hex "$WORK/capture.txt" >/dev/null || fail "receive mode"
    # The line's own rate, from which the program paces its reads of the queue.
    driver port-settings 256000 >/dev/null || fail "port settings"
    open_port
    start_feed "$burst"
    sleep 2  # let the stream settle before the window opens
    QUENLET_PERCENT=$(cpu_percent_over "$seconds")
    QUENLET_CHANGES=0
    if [[ -n $burst ]]; then
        QUENLET_CHANGES=$(driver text-changes $STATUS_LINE 3 | tr -d '\r' | sed -n 's/.*per_second=\([0-9.]*\).*/\1/p')
    fi
    stop_feed "$burst"
    exit_quenlet 10000 >/dev/null
    QUENLET_QUEUE_PEAK=$(head -n1 "$WORK/queue-peak" 2>/dev/null)
    rm -f "$WORK/capture.txt"
}

# picocom_figure BURST_MS SECONDS: sets PICOCOM_PERCENT.
picocom_figure() {
    local -r burst=$1 seconds=$2
    start_picocom "$WORK/picocom.log" $HEX_MAP
    start_feed "$burst"
    sleep 2
    PICOCOM_PERCENT=$(cpu_percent_of "$seconds" "$PICOCOM_PID")
    stop_feed "$burst"
    stop_picocom
    rm -f "$WORK/picocom.log"
}

rows=()
handovers=()
for shape in "idle" "50" "1"; do
    burst=$shape seconds=$RATE_SECONDS
    [[ $shape == idle ]] && burst="" seconds=$IDLE_SECONDS
    quenlet_figure "$burst" "$seconds"
    picocom_figure "$burst" "$seconds"
    case $shape in
    idle) label="Port open, no traffic" ;;
    50) label="Hex view + capture, 25,600 B/s in 50 ms bursts" ;;
    1) label="Hex view + capture, 25,600 B/s as a 1 ms trickle" ;;
    esac
    rows+=("| $label | $seconds | ${QUENLET_PERCENT}% | ${PICOCOM_PERCENT}% |")
    if [[ -n $burst ]]; then
        handovers+=("| $label | $QUENLET_CHANGES | $(awk -v c="$QUENLET_CHANGES" -v r=$RATE 'BEGIN { if (c > 0) printf "%.0f", r / c; else print "-" }') | ${QUENLET_QUEUE_PEAK:--} |")
    fi
done

echo "| Figure | Seconds | Quenlet (program + wineserver), % of a core | picocom, % of a core |"
echo "|---|---|---|---|"
printf '%s\n' "${rows[@]}"
echo
echo "| Quenlet at | Status line changes per second | Bytes per hand-over | Most bytes waiting in the input queue (of $QUEUE_BYTES) |"
echo "|---|---|---|---|"
printf '%s\n' "${handovers[@]}"

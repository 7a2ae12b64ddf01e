#!/usr/bin/env bash
# Where the receive path's cost goes under Wine: the wineserver's requests, counted from its own
# request log, while Quenlet receives 25,600 B/s (Hex view + capture) in 50 ms bursts and as a 1 ms
# trickle, and with the port open and quiet. Per second: hand-overs of received bytes to the
# window (the program's private run message taken by the window thread), paints (WM_PAINT taken,
# all windows) and timer messages, and the requests of the program's monitor thread, of its
# window thread and in all. It runs on a rig of its own under BUILD_DIR (trace-rig), whose
# wineserver logs every request, so the figures of other benchmarks are not disturbed.
#   request_trace.sh BUILD_DIR [SECONDS]        (prints a Markdown table)
set -uo pipefail
readonly BUILD=$(realpath "${1:?usage: request_trace.sh BUILD_DIR [SECONDS]}")
readonly SECONDS_PER_SHAPE=${2:-5}
readonly RIG_UP=$(cd "$(dirname "$0")/../rig" && pwd)/rig.sh
readonly TRACE_RIG=$BUILD/trace-rig

"$RIG_UP" down "$TRACE_RIG" >/dev/null 2>&1
QUENLET_WINESERVER_TRACE=1 "$RIG_UP" up "$TRACE_RIG" 5 >/dev/null || { echo "trace rig did not come up" >&2; exit 1; }
trap '"$RIG_UP" down "$TRACE_RIG" >/dev/null 2>&1' EXIT
source "$TRACE_RIG/env.sh"
source "$(dirname "$0")/../e2e/lib.sh" "$BUILD/quenlet.exe" "$BUILD/tests/e2e/quenlet_driver.exe" >/dev/null
trap 'cleanup; "$RIG_UP" down "$TRACE_RIG" >/dev/null 2>&1' EXIT
readonly LOG=$RIG/run/wineserver.log

# count_window FILE: "handovers paints timers monitor window total" per second over the window.
# The window thread is the one that takes the run message; the monitor the one that sends it.
count_window() {
    awk -v seconds="$SECONDS_PER_SHAPE" '
        # A request is "thread: name( arguments )"; its reply is "thread: name() = status ...".
        /^[0-9a-f]+: [a-z_]+\(/ && !/^[0-9a-f]+: [a-z_]+\(\) = / {
            thread = substr($0, 1, index($0, ":") - 1)
            requests[thread]++; total++
            if ($0 ~ /^[0-9a-f]+: send_message\(.*msg=0000bf00/) monitor = thread
        }
        /get_message\(\) = 0 .*msg=0000bf00/ { handovers++; window = substr($0, 1, index($0, ":") - 1) }
        /get_message\(\) = 0 .*msg=0000000f/ { paints++ }
        /get_message\(\) = 0 .*msg=00000113/ { timers++ }
        END {
            printf "%.1f %.1f %.1f %.1f %.1f %.1f\n", handovers / seconds, paints / seconds, timers / seconds,
                (monitor != "" ? requests[monitor] : 0) / seconds, (window != "" ? requests[window] : 0) / seconds,
                total / seconds
        }' "$1"
}

echo "| Quenlet at | Hand-overs/s | Paints/s | Timer messages/s | Monitor thread requests/s | Window thread requests/s | All requests/s |"
echo "|---|---|---|---|---|---|---|"
for shape in 50 1 idle; do
    start_quenlet
    driver receive-mode hex "$WORK/capture.txt" >/dev/null || fail "receive mode"
    open_port
    [[ $shape != idle ]] && start_demo --stream random --rate 25600 --burst-ms "$shape"
    sleep 2
    first=$(wc -l <"$LOG")
    sleep "$SECONDS_PER_SHAPE"
    last=$(wc -l <"$LOG")
    sed -n "$((first + 1)),${last}p" "$LOG" >"$WORK/window.log"
    [[ $shape != idle ]] && stop_demo
    exit_quenlet 10000 >/dev/null
    rm -f "$WORK/capture.txt"
    read -r handovers paints timers monitor window total < <(count_window "$WORK/window.log")
    case $shape in
    idle) label="Port open, no traffic"; monitor="$total (all)"; window=- ;;
    50) label="Hex view + capture, 25,600 B/s in 50 ms bursts" ;;
    1) label="Hex view + capture, 25,600 B/s as a 1 ms trickle" ;;
    esac
    echo "| $label | $handovers | $paints | $timers | $monitor | $window | $total |"
done

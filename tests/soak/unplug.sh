#!/usr/bin/env bash
# Unplug: the far end of the null-modem dies mid-transfer (its socat is killed). The program must
# notice: it closes the port as Close would and says so once ("Error: Port(COM5), " and the
# system's text). It must not crash or spin (CPU below 5% of a core, measured after the unplug),
# and a fresh pair on the same COM number must open and carry data again. Prints the figures.
#   unplug.sh QUENLET_EXE DRIVER_EXE      (with the rig's env.sh sourced)
source "$(dirname "$0")/../e2e/lib.sh" "$1" "$2"
source "$(dirname "$0")/measure.sh"

start_quenlet
driver receive-mode hex "$WORK/capture.txt" || fail "cannot set the receive mode"
open_port
step "far end streams, then is pulled out"
start_demo --stream random --seed 5
wait_until 20000 size_at_least "$WORK/capture.txt" 300000 || fail "no traffic before the unplug"
kill -KILL "$(cat "$RIG/run/socat$PORT.pid")"
DEMO_RUNNING=0
start_ms=$(now_ms)

step "the lost device is told once and the port is closed"
message=$(driver wait-message "^Error: Port\\(COM$PORT\\), " 10000) || fail "no message for the lost device: $message"
echo "unplug: told after $(($(now_ms) - start_ms)) ms: ${message//$'\r'/}"
driver wait-text $STATUS_LINE "^Ready: COM$PORT\$" 5000 >/dev/null || fail "the window still shows the port open"
percent=$(cpu_percent_over 5)
process_gone "$QUENLET_PID" && fail "the program ended after the unplug"
echo "unplug: program + wineserver CPU after the unplug: ${percent}% of one core (target < 5%)"
awk -v p="$percent" 'BEGIN { exit !(p < 5) }' || fail "busy after the unplug"
driver dismiss-message 5000 >/dev/null || fail "cannot dismiss the message"
sleep 1
driver no-message >/dev/null || fail "a second message: $(driver no-message)"

step "a fresh pair opens and carries data"
"$RIG_SCRIPT" map "$RIG" "$PORT" >/dev/null 2>&1 || fail "cannot map a fresh pair"
PEER=$RIG/com$PORT.peer
open_port
start_demo --stream lines --bytes 1000
driver wait-text $STATUS_LINE "^COM$PORT, Sent/Received bytes: 0/1000\$" 20000 >/dev/null ||
    fail "no data through the fresh pair"
exit_quenlet
expect_no_leftovers
echo PASS

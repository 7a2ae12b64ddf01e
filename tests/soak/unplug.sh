#!/usr/bin/env bash
# Unplug and replug: the far end's pair goes away mid-transfer (a pulled adapter: its handle fails)
# and later comes back at the same path. The program waits for it without a box and says so in the
# status line; it costs little while it waits (CPU below 5% of a core here; the benchmark gives the
# figure) and is back by itself when the device returns: the counters go on, the capture file is
# appended to, and every byte the device writes from its return on arrives, its first line among
# them. Close during a wait ends it for good (a device that returns later is not opened), and Exit
# during a wait takes at most 3 s. Prints the figures.
#   unplug.sh QUENLET_EXE DRIVER_EXE      (with the rig's env.sh sourced)
source "$(dirname "$0")/../e2e/lib.sh" "$1" "$2"
source "$(dirname "$0")/measure.sh"

# The port is mapped again however this ends: the scenarios after this one need it.
unplugged=0
replug_if_needed() { ((unplugged)) && "$RIG_SCRIPT" replug "$RIG" "$PORT" >/dev/null 2>&1; unplugged=0; }
trap 'replug_if_needed; cleanup' EXIT
unplug() {
    "$RIG_SCRIPT" unplug "$RIG" "$PORT" >/dev/null || fail "cannot unplug COM$PORT"
    unplugged=1
    DEMO_RUNNING=0
}
replug() {
    "$RIG_SCRIPT" replug "$RIG" "$PORT" >/dev/null || fail "cannot plug COM$PORT in again"
    unplugged=0
}
status_line() { driver get-text $STATUS_LINE | tr -d '\r'; }
received_of() { [[ $1 =~ Sent/Received\ bytes:\ [0-9]+/([0-9]+)$ ]] && echo "${BASH_REMATCH[1]}"; }
waiting_line() { driver wait-text $STATUS_LINE "^COM$PORT lost \\(.*\\), waiting for it to return; Sent/Received bytes: 0/[0-9]+\$" "$1"; }
# The pty of COMN's device end now, and whether a program opened it (the fixture marks the first opening).
device_pts() { readlink -f "$RIG/com$PORT.dev"; }
opened_mark() { local pts; pts=$(device_pts) && echo "$RIG/lines/pts${pts##*/}.opened"; }

start_quenlet
driver receive-mode ascii "$WORK/capture.txt" >/dev/null || fail "cannot set the receive mode"
open_port
step "far end streams, then is pulled out"
start_demo --stream lines --rate 4000
wait_until 20000 size_at_least "$WORK/capture.txt" 8000 || fail "no traffic before the unplug"
unplug
start_ms=$(now_ms)

step "the port waits for its device: no box, the status line says why, the counters stay"
line=$(waiting_line 5000) || fail "the status line does not name the wait: $(status_line)"
echo "unplug: waiting after $(($(now_ms) - start_ms)) ms: ${line//$'\r'/}"
sleep 1
driver no-message >/dev/null || fail "a box for the lost device: $(driver no-message)"
percent=$(cpu_percent_over 5)
process_gone "$QUENLET_PID" && fail "the program ended after the unplug"
echo "unplug: program + wineserver CPU while waiting: ${percent}% of one core (target < 5% here)"
awk -v p="$percent" 'BEGIN { exit !(p < 5) }' || fail "busy while waiting"
before=$(received_of "$(status_line)") || fail "no counters in the waiting status line: $(status_line)"
[[ $(file_size "$WORK/capture.txt") == "$before" ]] || fail "the capture holds $(file_size "$WORK/capture.txt") bytes, the counter $before"

step "the device returns: the port is back by itself, and its first words arrive"
replug
start_demo --stream lines --bytes 3000 --save-sent "$WORK/sent.bin"
back=$(driver wait-text $STATUS_LINE "^COM$PORT, Sent/Received bytes: 0/$((before + 3000))\$" 15000) ||
    fail "not back with every byte: $(status_line) (expected 0/$((before + 3000)))"
# From the device end's appearance (its link renamed into place: the link's change time) to the
# first opening (the fixture's mark).
back_ms=$(awk -v opened="$(stat -c %.6Y "$(opened_mark)")" -v appeared="$(stat -c %.6Z "$RIG/com$PORT.dev")" \
    'BEGIN { printf "%.0f", (opened - appeared) * 1000 }')
echo "unplug: back with every byte; reopened ${back_ms} ms after the device appeared"
wait_until 5000 size_at_least "$WORK/capture.txt" $((before + 3000)) || fail "the capture did not grow"
tail -c 3000 "$WORK/capture.txt" | cmp -s - "$WORK/sent.bin" || fail "the capture's tail is not what the device said after its return"
[[ $(file_size "$WORK/capture.txt") == $((before + 3000)) ]] || fail "the capture holds $(file_size "$WORK/capture.txt") bytes"

step "Close during a wait ends it for good"
unplug
waiting_line 5000 >/dev/null || fail "no wait after the second unplug: $(status_line)"
driver command $CMD_CLOSE || fail "cannot post Close"
driver wait-text $STATUS_LINE "^Ready: COM$PORT\$" 5000 >/dev/null || fail "Close did not end the wait: $(status_line)"
replug
sleep 1
[[ ! -e $(opened_mark) ]] || fail "the device that returned after Close was opened"
[[ $(status_line) == "Ready: COM$PORT" ]] || fail "the port did not stay closed: $(status_line)"
driver no-message >/dev/null || fail "a box after Close: $(driver no-message)"

step "Exit during a wait takes at most 3 s"
open_port
unplug
waiting_line 5000 >/dev/null || fail "no wait after the third unplug: $(status_line)"
exit_quenlet 3000
replug
expect_no_leftovers
echo PASS

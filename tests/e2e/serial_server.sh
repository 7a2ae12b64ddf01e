#!/usr/bin/env bash
# Ports on a serial server: a real ser2net on 127.0.0.1 with a pty pair behind each of its ports,
# one served with RFC 2217 and remote control, one raw, each brought in as a COM port of the rig's
# prefix by the launcher's bridge (linux/serial_bridge.py, as `quenlet --port URL` runs it). Through
# the program: bytes both ways, byte-exact; 115200 and even parity set in the program reach the
# server's device (the raw port's settings stay with the server); a modem line raised at the
# server's device shows in the status window; stopping ser2net puts the port into its wait, and
# starting it again brings the port back.
source "$(dirname "$0")/lib.sh" "$@"
source "$(dirname "$0")/server_lib.sh"
readonly SERVER_COM=7 RAW_COM=8

server_devices rfc raw
start_server
bring_in $SERVER_COM "rfc2217://127.0.0.1:$RFC_PORT"
bring_in $RAW_COM "tcp://127.0.0.1:$RAW_PORT"

status_line() { driver get-text $STATUS_LINE | tr -d '\r'; }
open_com() {
    driver port-settings --port "COM$1" "${@:2}" >/dev/null || fail "cannot choose COM$1 $*"
    driver command $CMD_OPEN || fail "cannot post Open"
    driver wait-text $STATUS_LINE "^COM$1, Sent/Received bytes: 0/0\$" 10000 >/dev/null ||
        fail "COM$1 did not open: $(status_line) $(driver no-message)"
}
# What ser2net set on its device, as the fixture inside ser2net saw it.
device_line() { cat "$1.line" 2>/dev/null; }
device_line_is() { [[ $(device_line "$1") == "$2" ]]; }
all_byte_values() { local i; for ((i = 0; i < 256; i++)); do printf '%02X ' $i; done; }
# Bytes both ways through COM$1, whose server device's far end is $2: random bytes from the far
# end arrive in the capture, and every byte value sent as hex arrives at the far end.
both_ways() {
    local -r com=$1 far=$2 seed=$3
    local -r before=$(file_size "$WORK/capture.bin")
    background "$WORK/far$com.log" env -u LD_PRELOAD /usr/bin/python3 "$DEMO_DEVICE" --stream random --bytes 4096 \
        --seed "$seed" --save-sent "$WORK/sent$com.bin" --record "$WORK/record$com.bin" "$far"
    wait_until 10000 size_at_least "$WORK/capture.bin" $((before + 4096)) ||
        fail "COM$com: $(($(file_size "$WORK/capture.bin") - before)) of 4096 bytes from the far end arrived"
    # The far end's copy of what it sent is complete once it says it is done.
    wait_until 5000 grep -q '^demo_device: sent ' "$WORK/far$com.log" || fail "COM$com: the far end did not finish"
    tail -c 4096 "$WORK/capture.bin" | cmp -s - "$WORK/sent$com.bin" || fail "COM$com: other bytes arrived than the far end sent"
    driver set-text $SEND_BOX "$(all_byte_values)" || fail "send box"
    driver click $SEND_BUTTON || fail "Send"
    wait_until 10000 size_at_least "$WORK/record$com.bin" 256 || fail "COM$com: $(file_size "$WORK/record$com.bin") of 256 bytes reached the far end"
    cmp -s "$WORK/record$com.bin" <(/usr/bin/python3 -c 'import sys; sys.stdout.buffer.write(bytes(range(256)))') ||
        fail "COM$com: the far end got other bytes than every byte value in order"
}

start_quenlet
driver receive-mode ascii "$WORK/capture.bin" >/dev/null || fail "receive mode"
driver send-mode hex >/dev/null || fail "send mode"

step "RFC 2217: the program's line settings reach the server's device"
open_com $SERVER_COM 115200 8 Even 1 None
wait_until 10000 device_line_is "$rfc_lines" "115200 8 E 1 none" ||
    fail "ser2net's device has '$(device_line "$rfc_lines")', not 115200 8 E 1 none"

step "RFC 2217: bytes both ways, byte-exact"
both_ways $SERVER_COM "$WORK/rfc.far" 11

step "RFC 2217: a modem line raised at the server's device shows in the status window"
driver command $CMD_STATUS || fail "cannot post Status"
echo "CTS" >"$rfc_lines.tmp" && mv -f "$rfc_lines.tmp" "$rfc_lines"
driver --in status wait-check 1019 1 10000 >/dev/null || fail "the CTS box does not show the server's CTS"
: >"$rfc_lines.tmp" && mv -f "$rfc_lines.tmp" "$rfc_lines"
driver --in status wait-check 1019 0 10000 >/dev/null || fail "the CTS box does not follow the server's CTS back"

step "the server stops: the port waits for it, and is back when it answers again"
kill "$SER2NET_PID"
driver wait-text $STATUS_LINE "^COM$SERVER_COM lost \\(.*\\), waiting for it to return" 10000 >/dev/null ||
    fail "no wait for the stopped server: $(status_line)"
sleep 1
driver no-message >/dev/null || fail "a box for the stopped server: $(driver no-message)"
received=$(status_line | sed -n 's|.*Sent/Received bytes: [0-9]*/\([0-9]*\)$|\1|p')
start_server
driver wait-text $STATUS_LINE "^COM$SERVER_COM, Sent/Received bytes: 256/$received\$" 15000 >/dev/null ||
    fail "not back when the server answered again: $(status_line)"
background "$WORK/back.log" env -u LD_PRELOAD /usr/bin/python3 "$DEMO_DEVICE" --stream lines --bytes 60 "$WORK/rfc.far"
driver wait-text $STATUS_LINE "^COM$SERVER_COM, Sent/Received bytes: 256/$((received + 60))\$" 10000 >/dev/null ||
    fail "no bytes after the return: $(status_line)"
driver command $CMD_CLOSE || fail "cannot post Close"
driver wait-text $STATUS_LINE "^Ready: COM$SERVER_COM\$" 5000 >/dev/null || fail "Close"

step "raw TCP: bytes both ways, byte-exact; the line settings stay with the server"
open_com $RAW_COM 57600 7 Odd 2 None
both_ways $RAW_COM "$WORK/raw.far" 12
[[ $(device_line "$raw_lines") == "9600 8 N 1 none" ]] ||
    fail "the raw port's device has '$(device_line "$raw_lines")': the program's settings went through"

exit_quenlet
expect_no_leftovers
echo PASS

#!/usr/bin/env bash
# Send throughput: 1 MiB through the send box as text (Ascii) and as hexadecimal digits (Hex), and
# a 1 MiB file. The peer records what arrives; the figure is bytes/s from its first to its last
# byte, and whether the peer's copy is exact (sha256).
#   send_throughput.sh BUILD_DIR       (the rig's env.sh sourced; prints a Markdown table)
source "$(dirname "$0")/../e2e/lib.sh" "${1:?usage: send_throughput.sh BUILD_DIR}/quenlet.exe" \
    "$1/tests/e2e/quenlet_driver.exe" >/dev/null
readonly MIB=1048576

sha() { sha256sum "$1" | cut -d' ' -f1; }

# The bytes to send ($WORK/payload.bin) and the send box text that stands for them.
make_payloads() {
    # Text: 62 printable characters and CR LF per line, exactly 1 MiB.
    head -c $((MIB * 2)) /dev/urandom | base64 -w 62 | sed 's/$/\r/' | head -c $MIB >"$WORK/ascii.bin"
    # Hex: 1 MiB of random bytes written as digit pairs, 32 pairs a line.
    head -c $MIB /dev/urandom >"$WORK/hex.bin"
    od -An -v -tx1 "$WORK/hex.bin" | tr -d ' \n' | fold -w 64 | sed 's/$/\r/' >"$WORK/hex.txt"
    cp "$WORK/hex.bin" "$WORK/file.bin"
}

# measure LABEL MODE BYTES_FILE [BOX_TEXT_FILE]
measure() {
    local -r label=$1 mode=$2 bytes=$3 box=${4:-}
    local -r total=$(file_size "$bytes")
    rm -f "$WORK/peer.bin"
    start_demo --record "$WORK/peer.bin" --expect "$total"
    start_quenlet
    if [[ $mode == file ]]; then
        driver send-mode file "$bytes" || fail "cannot set the send mode"
    else
        driver send-mode "$mode" || fail "cannot set the send mode"
        driver set-text-file $SEND_BOX "$box" || fail "cannot fill the send box"
    fi
    open_port
    driver click $SEND_BUTTON || fail "cannot press Send"
    wait_until 900000 demo_recorded || fail "$label: the peer got $(file_size "$WORK/peer.bin") of $total bytes"
    local -r line=$(demo_log | grep '^demo_device: recorded')
    local -r seconds=$(sed -n 's/.* in \([0-9.]*\) s .*/\1/p' <<<"$line")
    local exact=no
    [[ ${line##* } == $(sha "$bytes") && $(file_size "$WORK/peer.bin") == "$total" ]] && exact=yes
    if [[ $mode == file ]]; then driver dismiss-message 10000 >/dev/null || fail "no success message"; fi
    stop_demo
    exit_quenlet 10000 >/dev/null
    printf '| %s | %d | %.2f | %.0f | %s |\n' "$label" "$total" "$seconds" "$(bc -l <<<"$total / $seconds")" "$exact"
}

demo_recorded() { demo_log | grep -q '^demo_device: recorded'; }

make_payloads
echo "| Send | Bytes | Seconds (first to last byte at the peer) | Bytes/s | Peer copy exact (sha256) |"
echo "|---|---|---|---|---|"
measure "Send box, Ascii" ascii "$WORK/ascii.bin" "$WORK/ascii.bin"
measure "Send box, Hex" hex "$WORK/hex.bin" "$WORK/hex.txt"
measure "File" file "$WORK/file.bin"

#!/usr/bin/env bash
# Receive ingest: the demo device writes random bytes as fast as the pty takes them; the figure is
# bytes/s from the stream's start until the capture file is complete, and whether the capture is
# exact (sha256 of the bytes sent, or of their "%02X " text in Hex mode). While the data comes in,
# WM_NULL round trips to the main window show how responsive the window stays.
#   receive_ingest.sh BUILD_DIR        (the rig's env.sh sourced; prints a Markdown table)
source "$(dirname "$0")/../e2e/lib.sh" "${1:?usage: receive_ingest.sh BUILD_DIR}/quenlet.exe" \
    "$1/tests/e2e/quenlet_driver.exe" >/dev/null
readonly MIB=1048576

sha() { sha256sum "$1" | cut -d' ' -f1; }

# ingest LABEL BYTES MODE: one program run receiving BYTES in receive mode MODE with capture.
ingest() {
    local -r label=$1 total=$2 mode=$3
    local -r capture=$WORK/capture-$mode.dat
    local size=$total
    [[ $mode == hex ]] && size=$((total * 3))
    rm -f "$capture" "$WORK/sent.bin"
    start_quenlet
    driver receive-mode "$mode" "$capture" || fail "cannot set receive mode $mode"
    open_port
    local -r started=$(now_ms)
    start_demo --stream random --bytes "$total" --seed 5 --save-sent "$WORK/sent.bin"
    local stats
    stats=$(driver null-roundtrip-stats 3 | tr -d '\r')
    wait_until 600000 size_at_least "$capture" "$size" || fail "$label: capture stopped at $(file_size "$capture") of $size"
    local -r elapsed=$(($(now_ms) - started))
    stop_demo
    local exact=no
    if [[ $mode == hex ]]; then
        od -An -v -tx1 "$WORK/sent.bin" | tr -d ' \n' | tr a-f A-F | sed 's/../& /g' >"$WORK/expected.txt"
        [[ $(sha "$WORK/expected.txt") == $(sha "$capture") ]] && exact=yes
    else
        [[ $(sha "$WORK/sent.bin") == $(sha "$capture") ]] && exact=yes
    fi
    exit_quenlet 10000 >/dev/null
    local p50 p99
    p50=$(sed -n 's/.*p50_ms=\([0-9.]*\).*/\1/p' <<<"$stats")
    p99=$(sed -n 's/.*p99_ms=\([0-9.]*\).*/\1/p' <<<"$stats")
    printf '| %s | %d | %.1f | %.0f | %s | %s | %s |\n' "$label" "$total" "$(bc -l <<<"$elapsed / 1000")" \
        "$(bc -l <<<"$total * 1000 / $elapsed")" "$exact" "${p50:-?}" "${p99:-?}"
}

echo "| Receive mode | Bytes | Seconds | Bytes/s | Capture exact (sha256) | WM_NULL p50 ms | WM_NULL p99 ms |"
echo "|---|---|---|---|---|---|---|"
ingest "FileOnly" $((8 * MIB)) fileonly
ingest "Ascii + capture" $((4 * MIB)) ascii
ingest "Hex + capture" $((4 * MIB)) hex

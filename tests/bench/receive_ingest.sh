#!/usr/bin/env bash
# Receive ingest, side by side with picocom on the same rig port: the demo device writes random
# bytes as fast as the pty takes them; the figure is bytes/s from the first byte in the capture file
# until it is complete, the CPU time spent per MiB (for Quenlet the program and the wineserver, for
# picocom picocom itself) and whether the capture is exact (sha256 of the bytes sent, or of their
# "%02X " text in Quenlet's Hex mode; picocom logs the raw bytes in every mode). While the data
# comes in, WM_NULL round trips to Quenlet's main window show how responsive the window stays.
#   receive_ingest.sh BUILD_DIR        (the rig's env.sh sourced; prints a Markdown table)
source "$(dirname "$0")/../e2e/lib.sh" "${1:?usage: receive_ingest.sh BUILD_DIR}/quenlet.exe" \
    "$1/tests/e2e/quenlet_driver.exe" >/dev/null
source "$(dirname "$0")/../soak/measure.sh"
source "$(dirname "$0")/picocom.sh"
readonly MIB=1048576
readonly HEX_MAP=spchex,tabhex,crhex,lfhex,8bithex,nrmhex

cleanup_picocom() { stop_picocom; cleanup; }
trap cleanup_picocom EXIT

sha() { sha256sum "$1" | cut -d' ' -f1; }

# Streams BYTES to the port and times the capture file from its first byte until it holds SIZE
# bytes; sets ELAPSED_MS and the CPU ticks of PIDS over the stream in TICKS.
stream_into() {
    local -r label=$1 total=$2 capture=$3 size=$4; shift 4
    local pid before=0 after=0
    for pid in "$@"; do before=$((before + $(cpu_ticks "$pid"))); done
    start_demo --stream random --bytes "$total" --seed 5 --save-sent "$WORK/sent.bin"
    # Seconds run from the first byte in the capture, so the far end's start-up is not counted.
    wait_until 30000 size_at_least "$capture" 1 || fail "$label: nothing arrived"
    local -r started=$(now_ms)
    [[ -n ${WITH_STATS:-} ]] && { driver null-roundtrip-stats 1 | tr -d '\r' >"$WORK/stats.txt" & }
    local -r stats_pid=$!
    wait_until 600000 size_at_least "$capture" "$size" || fail "$label: capture stopped at $(file_size "$capture") of $size"
    ELAPSED_MS=$(($(now_ms) - started))
    for pid in "$@"; do after=$((after + $(cpu_ticks "$pid"))); done
    TICKS=$((after - before))
    [[ -n ${WITH_STATS:-} ]] && wait "$stats_pid"
    stop_demo
}

exact() {
    local -r capture=$1 as_hex=$2
    if ((as_hex)); then
        od -An -v -tx1 "$WORK/sent.bin" | tr -d ' \n' | tr a-f A-F | sed 's/../& /g' >"$WORK/expected.txt"
        [[ $(sha "$WORK/expected.txt") == $(sha "$capture") ]] && echo yes || echo no
    else
        [[ $(sha "$WORK/sent.bin") == $(sha "$capture") ]] && echo yes || echo no
    fi
}

rate() { bc -l <<<"$1 * 1000 / $2"; }
cpu_per_mib() { bc -l <<<"$1 / $CLOCK_TICKS * $MIB / $2"; }

# quenlet_ingest LABEL BYTES MODE: sets Q_RATE Q_CPU Q_EXACT Q_P50 Q_P99.
quenlet_ingest() {
    local -r label=$1 total=$2 mode=$3
    local -r capture=$WORK/capture-$mode.dat
    local size=$total
    [[ $mode == hex ]] && size=$((total * 3))
    rm -f "$capture" "$WORK/sent.bin"
    start_quenlet
    driver receive-mode "$mode" "$capture" || fail "cannot set receive mode $mode"
    open_port
    WITH_STATS=1 stream_into "$label" "$total" "$capture" "$size" "$PROGRAM_PID" "$(wineserver_pid)"
    local -r stats=$(cat "$WORK/stats.txt")
    Q_EXACT=$(exact "$capture" "$([[ $mode == hex ]] && echo 1 || echo 0)")
    exit_quenlet 10000 >/dev/null
    Q_RATE=$(rate "$total" "$ELAPSED_MS")
    Q_CPU=$(cpu_per_mib "$TICKS" "$total")
    Q_P50=$(sed -n 's/.*p50_ms=\([0-9.]*\).*/\1/p' <<<"$stats")
    Q_P99=$(sed -n 's/.*p99_ms=\([0-9.]*\).*/\1/p' <<<"$stats")
    rm -f "$capture"
}

# picocom_ingest LABEL BYTES [IMAP]: sets P_RATE P_CPU P_EXACT.
picocom_ingest() {
    local -r label=$1 total=$2 imap=${3:-}
    local -r capture=$WORK/picocom.log
    rm -f "$capture" "$WORK/sent.bin"
    start_picocom "$capture" $imap
    stream_into "picocom $label" "$total" "$capture" "$total" "$PICOCOM_PID"
    P_EXACT=$(exact "$capture" 0)
    stop_picocom
    P_RATE=$(rate "$total" "$ELAPSED_MS")
    P_CPU=$(cpu_per_mib "$TICKS" "$total")
    rm -f "$capture"
}

echo "| Receive mode (picocom's counterpart) | Bytes | Quenlet B/s | Quenlet CPU s per MiB | Quenlet capture exact | WM_NULL p50 / p99 ms | picocom B/s | picocom CPU s per MiB | picocom log exact |"
echo "|---|---|---|---|---|---|---|---|---|"
row() {
    local -r label=$1 total=$2 mode=$3 imap=${4:-}
    quenlet_ingest "$label" "$total" "$mode"
    picocom_ingest "$label" "$total" "$imap"
    printf '| %s | %d | %.0f | %.3f | %s | %s / %s | %.0f | %.3f | %s |\n' "$label" "$total" "$Q_RATE" "$Q_CPU" \
        "$Q_EXACT" "${Q_P50:-?}" "${Q_P99:-?}" "$P_RATE" "$P_CPU" "$P_EXACT"
}
row "FileOnly (text view, log file)" $((8 * MIB)) fileonly
row "Ascii + capture (text view, log file)" $((4 * MIB)) ascii
row "Hex + capture (hex map, log file)" $((4 * MIB)) hex $HEX_MAP

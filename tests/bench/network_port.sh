#!/usr/bin/env bash
# The cost of a port on a serial server beside a local one, at 25,600 B/s: random bytes fed as a
# 1 ms trickle by the device's far end, shown as hex and captured to a file, the program's port
# set to 256000 baud. Local: the rig's COM5. Network: COM7, the RFC 2217 port of a real ser2net on
# 127.0.0.1 brought in by the launcher's bridge. CPU as % of one core over SECONDS: Quenlet's
# program and the wineserver, the bridge, and ser2net (the server's side, on its own machine in
# real use); beside them picocom, a native terminal, on the local pty and on the bridge's pty.
#   network_port.sh BUILD_DIR [SECONDS]   (the rig's env.sh sourced; prints Markdown)
source "$(dirname "$0")/../e2e/lib.sh" "${1:?usage: network_port.sh BUILD_DIR [SECONDS]}/quenlet.exe" \
    "$1/tests/e2e/quenlet_driver.exe" >/dev/null
source "$(dirname "$0")/../e2e/server_lib.sh"
source "$(dirname "$0")/../soak/measure.sh"
source "$(dirname "$0")/picocom.sh"
readonly SECONDS_EACH=${2:-15} RATE=25600 NETWORK_COM=7
readonly HEX_MAP=spchex,tabhex,crhex,lfhex,8bithex,nrmhex

server_devices rfc raw
start_server
bring_in $NETWORK_COM "rfc2217://127.0.0.1:$RFC_PORT"

# feed FAR: the trickle on the device's far end, until stop_feed.
feed() {
    background "$WORK/feed.log" env -u LD_PRELOAD /usr/bin/python3 "$DEMO_DEVICE" --stream random --rate $RATE \
        --burst-ms 1 "$1"
    FEED_PID=$BACKGROUND_PID
}
stop_feed() { kill "$FEED_PID" 2>/dev/null; wait_until 5000 process_gone "$FEED_PID"; }

# percents_over SECONDS GROUP...: CPU of each group (pids joined by commas) over the same
# SECONDS, as % of one core, one figure per group.
percents_over() {
    local -r seconds=$1; shift
    local group pid sum
    local -a before=() after=()
    local -r start_ms=$(now_ms)
    for group in "$@"; do
        sum=0; for pid in ${group//,/ }; do sum=$((sum + $(cpu_ticks "$pid"))); done; before+=("$sum")
    done
    sleep "$seconds"
    for group in "$@"; do
        sum=0; for pid in ${group//,/ }; do sum=$((sum + $(cpu_ticks "$pid"))); done; after+=("$sum")
    done
    local -r elapsed_ms=$(($(now_ms) - start_ms))
    local i
    for i in "${!before[@]}"; do
        awk -v ticks=$((after[i] - before[i])) -v hz="$CLOCK_TICKS" -v ms="$elapsed_ms" \
            'BEGIN { printf "%.2f ", 100 * ticks / hz / (ms / 1000) }'
    done
}

# quenlet_figure COM FAR: QUENLET_PERCENT (program + wineserver), BRIDGE_PERCENT and
# SERVER_PERCENT over the same seconds, and QUENLET_RATE, the bytes a second the capture grew by.
quenlet_figure() {
    local -r com=$1 far=$2
    start_quenlet
    driver receive-mode hex "$WORK/capture.txt" >/dev/null || fail "receive mode"
    driver port-settings --port "COM$com" 256000 >/dev/null || fail "port settings"
    driver command $CMD_OPEN || fail "Open"
    driver wait-text $STATUS_LINE "^COM$com, Sent/Received bytes: 0/0\$" 10000 >/dev/null || fail "COM$com did not open"
    feed "$far"
    sleep 2
    local -r before=$(file_size "$WORK/capture.txt")
    read -r QUENLET_PERCENT BRIDGE_PERCENT SERVER_PERCENT < <(percents_over "$SECONDS_EACH" \
        "$PROGRAM_PID,$(wineserver_pid)" "$BRIDGE_PID" "$SER2NET_PID")
    local -r got=$(($(file_size "$WORK/capture.txt") - before))
    # Hex shows three characters a byte.
    QUENLET_RATE=$((got / 3 / SECONDS_EACH))
    stop_feed
    exit_quenlet 10000 >/dev/null
    rm -f "$WORK/capture.txt"
}

# picocom_figure DEVICE FAR: PICOCOM_PERCENT, with BRIDGE_PERCENT and SERVER_PERCENT as above.
picocom_figure() {
    local -r device=$1 far=$2
    start_picocom "$WORK/picocom.log" $HEX_MAP "$device"
    feed "$far"
    sleep 2
    read -r PICOCOM_PERCENT BRIDGE_PERCENT SERVER_PERCENT < <(percents_over "$SECONDS_EACH" \
        "$PICOCOM_PID" "$BRIDGE_PID" "$SER2NET_PID")
    stop_feed
    stop_picocom
    rm -f "$WORK/picocom.log"
}

read -r idle_bridge idle_server < <(percents_over "$SECONDS_EACH" "$BRIDGE_PID" "$SER2NET_PID")
quenlet_figure $PORT "$RIG/com$PORT.peer"
local_quenlet=$QUENLET_PERCENT local_rate=$QUENLET_RATE
picocom_figure "$RIG/com$PORT.dev" "$RIG/com$PORT.peer"
local_picocom=$PICOCOM_PERCENT
quenlet_figure $NETWORK_COM "$WORK/rfc.far"
network_quenlet=$QUENLET_PERCENT network_rate=$QUENLET_RATE
network_bridge=$BRIDGE_PERCENT network_server=$SERVER_PERCENT
picocom_figure "$WORK/com$NETWORK_COM" "$WORK/rfc.far"
network_picocom=$PICOCOM_PERCENT picocom_bridge=$BRIDGE_PERCENT picocom_server=$SERVER_PERCENT

echo "| Port at $RATE B/s, hex view + capture | Bytes/s shown | Terminal | Bridge | ser2net (server side) |"
echo "|---|---|---|---|---|"
echo "| Local: Quenlet on the rig's COM5 | $local_rate | ${local_quenlet}% | - | - |"
echo "| Local: picocom on the same pty | - | ${local_picocom}% | - | - |"
echo "| Network: Quenlet on COM$NETWORK_COM, RFC 2217 through ser2net on 127.0.0.1 | $network_rate | ${network_quenlet}% | ${network_bridge}% | ${network_server}% |"
echo "| Network: picocom on the bridge's pty | - | ${network_picocom}% | ${picocom_bridge}% | ${picocom_server}% |"
echo
echo "Quenlet's figure is the program and the wineserver together. With no port open, the bridge"
echo "takes ${idle_bridge}% and ser2net ${idle_server}% of a core."

# A real ser2net on 127.0.0.1 for the scenarios and benchmarks of ports on a serial server. Source
# it after lib.sh. server_devices NAMES... makes a pty pair per name (WORK/NAME.dev for ser2net,
# WORK/NAME.far for the caller, who plays the device), its device end marked as a COM end for the
# rig's fixture, which ser2net runs with: it answers ser2net's modem-line requests from
# RIG/lines/ptsN (NAME_lines holds that path) and writes what ser2net set to NAME_lines.line.
# start_server serves rfc on RFC_PORT (RFC 2217, remote control) and raw on RAW_PORT (raw TCP);
# bring_in N URL makes COMN of the rig's prefix the port of URL through the launcher's bridge.
# Everything started here is stopped, and every file made removed, when the script ends.
readonly SERVER_REPO=$(cd "$E2E_SOURCE_DIR/../.." && pwd)
readonly BRIDGE=$SERVER_REPO/linux/serial_bridge.py DEMO_DEVICE=$SERVER_REPO/tests/rig/demo_device.py
command -v ser2net >/dev/null || fail "ser2net is not installed (scripts/setup.sh installs it)"
/usr/bin/python3 -c 'import serial.rfc2217' 2>/dev/null || fail "python3-serial is not installed"

server_pids=()
server_files=()
server_cleanup() {
    local pid
    for pid in "${server_pids[@]}"; do kill "$pid" 2>/dev/null; done
    for pid in "${server_pids[@]}"; do wait_until 5000 process_gone "$pid" || kill -KILL "$pid" 2>/dev/null; done
    rm -f -- "${server_files[@]}"
    cleanup
}
trap server_cleanup EXIT
# A process outside Wine, its output in LOG; its pid in BACKGROUND_PID.
background() {
    local -r log=$1; shift
    "$@" </dev/null >"$log" 2>&1 &
    BACKGROUND_PID=$!
    server_pids+=("$BACKGROUND_PID")
}
free_port() { /usr/bin/python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'; }

server_devices() {
    local name lines pts
    for name in "$@"; do
        background "$WORK/$name.socat.log" env -u LD_PRELOAD socat "pty,raw,echo=0,link=$WORK/$name.dev" "pty,raw,echo=0,link=$WORK/$name.far"
        wait_until 5000 test -e "$WORK/$name.dev" -a -e "$WORK/$name.far" || fail "no pty pair for $name"
        pts=$(readlink -f "$WORK/$name.dev")
        lines=$RIG/lines/pts${pts##*/}
        : >"$lines"
        server_files+=("$lines" "$lines.out" "$lines.line" "$lines.opened" "$lines.mode")
        printf -v "${name}_lines" '%s' "$lines"
    done
}

RFC_PORT=$(free_port)
RAW_PORT=$(free_port)
readonly RFC_PORT RAW_PORT
start_server() {
    [[ -e $WORK/ser2net.yaml ]] || cat >"$WORK/ser2net.yaml" <<YAML
%YAML 1.1
---
connection: &rfc
    accepter: telnet(rfc2217),tcp,127.0.0.1,$RFC_PORT
    connector: serialdev,$WORK/rfc.dev,9600n81
    options:
      kickolduser: true
      chardelay: false
connection: &raw
    accepter: tcp,127.0.0.1,$RAW_PORT
    connector: serialdev,$WORK/raw.dev,9600n81,local
    options:
      kickolduser: true
      chardelay: false
YAML
    background "$WORK/ser2net.log" ser2net -n -u -c "$WORK/ser2net.yaml"
    SER2NET_PID=$BACKGROUND_PID
}

bring_in() {
    local -r port=$1 url=$2
    background "$WORK/bridge$port.log" /usr/bin/python3 "$BRIDGE" --url "$url" --name "COM$port" \
        --rig-dir "$RIG" --link "$WORK/com$port" --parent $$
    BRIDGE_PID=$BACKGROUND_PID
    ln -sfn "$WORK/com$port" "$WINEPREFIX/dosdevices/com$port"
    server_files+=("$WINEPREFIX/dosdevices/com$port")
    wait_until 10000 test -e "$WORK/com$port" || fail "the bridge did not bring COM$port in: $(cat "$WORK/bridge$port.log")"
}

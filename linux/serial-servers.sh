# shellcheck shell=bash
# Ports of serial servers (ser2net and the like) as COM ports: `quenlet --port URL`, with URL
# rfc2217://HOST:PORT (RFC 2217: line settings, DTR/RTS and modem lines go through) or
# tcp://HOST:PORT (raw: only the bytes). Sourced by the installed `quenlet` launcher, which maps
# each server's stable path (serial_server_link) like an adapter; one serial_bridge.py process
# per server keeps a pty at that path while the server answers.

# The servers in the order given, their COM numbers (set by the launcher's mapping) and bridges.
serial_server_urls=()
serial_server_com=()
serial_server_pids=()
serial_server_restarts=()
# Where the stable paths live (made by serial_servers_start) and where the bridges write the
# fixture's files (the demo's directory when there is one, else this one).
SERIAL_SERVERS_DIR=${XDG_RUNTIME_DIR:-/tmp}/quenlet-servers.$$
SERIAL_SERVERS_RIG_DIR=
# A bridge that keeps ending is started again this many times, then left alone.
readonly SERIAL_SERVER_RESTARTS=3

serial_server_error() { echo "quenlet: --port $1: $2" >&2; }

# Checks URL and adds it to the servers; otherwise says why in one line and returns 2.
serial_server_add() {
    local -r url=$1 usage='rfc2217://HOST:PORT or tcp://HOST:PORT'
    if [[ $url != *://* ]]; then
        serial_server_error "$url" "expected $usage"
        return 2
    fi
    local -r scheme=${url%%://*} rest=${url#*://}
    if [[ $scheme != rfc2217 && $scheme != tcp ]]; then
        serial_server_error "$url" "unknown scheme '$scheme' (use $usage)"
        return 2
    fi
    local host port
    # A name or IPv4 address, or an IPv6 address in brackets; then :PORT.
    if [[ $rest =~ ^\[([0-9A-Fa-f:.]+)\](:(.*))?$ || $rest =~ ^([A-Za-z0-9._-]+)(:(.*))?$ ]]; then
        host=${BASH_REMATCH[1]} port=${BASH_REMATCH[3]}
    else
        serial_server_error "$url" "expected $scheme://HOST:PORT"
        return 2
    fi
    if [[ -z $port ]]; then
        serial_server_error "$url" "no port number ($scheme://HOST:PORT)"
        return 2
    fi
    if [[ ! $port =~ ^[0-9]{1,5}$ ]] || ((10#$port < 1 || 10#$port > 65535)); then
        serial_server_error "$url" "'$port' is not a port number (1-65535)"
        return 2
    fi
    if ! timeout 15 getent ahosts "$host" >/dev/null 2>&1; then
        serial_server_error "$url" "host '$host' does not resolve"
        return 2
    fi
    local known
    for known in "${serial_server_urls[@]}"; do
        if [[ $known == "$url" ]]; then
            serial_server_error "$url" "given twice"
            return 2
        fi
    done
    serial_server_urls+=("$url")
}

# The stable path of server INDEX, which the prefix's COM link points to.
serial_server_link() { echo "$SERIAL_SERVERS_DIR/server$1"; }

# For the mapping: what DEVICE is when it is a server's stable path; fails for anything else.
serial_server_describe() {
    local index
    for index in "${!serial_server_urls[@]}"; do
        [[ $1 == "$(serial_server_link "$index")" ]] || continue
        local -r url=${serial_server_urls[$index]}
        if [[ $url == rfc2217://* ]]; then
            echo "$url (RFC 2217: line settings, DTR/RTS and modem lines go through)"
        else
            echo "$url (raw TCP: the line settings stay with the server)"
        fi
        return 0
    done
    return 1
}

serial_server_start_bridge() {
    local -r index=$1 lib_dir=$2 close_fd=$3
    (
        # The launcher's lock stays with the launcher.
        [[ -z $close_fd ]] || exec {close_fd}>&-
        exec /usr/bin/python3 "$lib_dir/serial_bridge.py" --url "${serial_server_urls[$index]}" \
            --name "COM${serial_server_com[$index]}" --rig-dir "$SERIAL_SERVERS_RIG_DIR" \
            --link "$(serial_server_link "$index")" --parent "$$"
    ) </dev/null &
    serial_server_pids[index]=$!
}

# Makes the directories for the server ports. RIG_DIR is the fixture's directory the Wine
# processes use (the demo's), or empty: then the bridges use SERIAL_SERVERS_DIR, which the
# launcher gives to Wine as SERIAL_SERVERS_RIG_DIR. Says why and fails if it cannot.
# Usage: serial_servers_prepare RIG_DIR
serial_servers_prepare() {
    local -r rig_dir=$1
    ((${#serial_server_urls[@]})) || return 0
    if ! /usr/bin/python3 -c 'import serial.rfc2217' 2>/dev/null; then
        echo "quenlet: --port needs Python's serial module (sudo apt install python3-serial)" >&2
        return 1
    fi
    # A directory of a launcher that was killed outright, with the same process number.
    [[ -O $SERIAL_SERVERS_DIR ]] && rm -rf -- "$SERIAL_SERVERS_DIR"
    if ! mkdir -m 700 -- "$SERIAL_SERVERS_DIR"; then
        echo "quenlet: cannot create $SERIAL_SERVERS_DIR for the server ports" >&2
        return 1
    fi
    SERIAL_SERVERS_RIG_DIR=${rig_dir:-$SERIAL_SERVERS_DIR}
    if ! mkdir -p "$SERIAL_SERVERS_RIG_DIR/lines"; then
        echo "quenlet: cannot create $SERIAL_SERVERS_RIG_DIR/lines for the server ports" >&2
        return 1
    fi
}

# Starts a bridge per server (after serial_servers_prepare). FD is a descriptor the bridges must
# not inherit (the launcher's lock), or empty. Each says what becomes of its port on stdout.
# Usage: serial_servers_start LIB_DIR FD
serial_servers_start() {
    local -r lib_dir=$1 close_fd=$2
    local index
    for index in "${!serial_server_urls[@]}"; do
        serial_server_restarts[index]=0
        serial_server_start_bridge "$index" "$lib_dir" "$close_fd"
    done
}

# Starts again a bridge that ended by itself, and says so; one that keeps ending is given up.
# Usage: serial_servers_check LIB_DIR FD
serial_servers_check() {
    local -r lib_dir=$1 close_fd=$2
    local index pid status
    for index in "${!serial_server_pids[@]}"; do
        pid=${serial_server_pids[$index]}
        [[ -n $pid ]] || continue
        kill -0 "$pid" 2>/dev/null && continue
        wait "$pid" 2>/dev/null
        status=$?
        serial_server_pids[index]=
        if ((serial_server_restarts[index] >= SERIAL_SERVER_RESTARTS)); then
            echo "quenlet: COM${serial_server_com[$index]}: the bridge to ${serial_server_urls[$index]} ended (status $status) once more: the port is given up"
            continue
        fi
        ((serial_server_restarts[index] += 1))
        echo "quenlet: COM${serial_server_com[$index]}: the bridge to ${serial_server_urls[$index]} ended (status $status): starting it again"
        serial_server_start_bridge "$index" "$lib_dir" "$close_fd"
    done
    return 0
}

# Stops the bridges (each takes its pty and fixture files away), removes the prefix's links to
# the server ports in DOSDEVICES and the stable paths.
# Usage: serial_servers_stop DOSDEVICES
serial_servers_stop() {
    local -r dosdevices=$1
    local pid index tries
    for pid in "${serial_server_pids[@]}"; do
        [[ -n $pid ]] && kill "$pid" 2>/dev/null
    done
    for pid in "${serial_server_pids[@]}"; do
        [[ -n $pid ]] || continue
        for ((tries = 0; tries < 50; tries++)); do
            kill -0 "$pid" 2>/dev/null || break
            sleep 0.1
        done
        kill -0 "$pid" 2>/dev/null && kill -KILL "$pid" 2>/dev/null
    done
    serial_server_pids=()
    for index in "${!serial_server_com[@]}"; do
        [[ -L $dosdevices/com${serial_server_com[$index]} ]] && rm -f -- "$dosdevices/com${serial_server_com[$index]}"
    done
    [[ -d $SERIAL_SERVERS_DIR ]] && rm -rf -- "$SERIAL_SERVERS_DIR"
    return 0
}

#!/usr/bin/env bash
# CPU cost at wire rate: the demo device sends random bytes at 25,600 B/s (a 256,000 baud line)
# for 30 s per receive mode; the figure is the CPU time of the program and of the wineserver over
# that window, as a percentage of one core (utime + stime from /proc/PID/stat). The program with
# its port closed, and with it open but no traffic, are the baselines.
#   cpu_cost.sh BUILD_DIR [SECONDS]    (the rig's env.sh sourced; prints a Markdown table)
source "$(dirname "$0")/../e2e/lib.sh" "${1:?usage: cpu_cost.sh BUILD_DIR [SECONDS]}/quenlet.exe" \
    "$1/tests/e2e/quenlet_driver.exe" >/dev/null
readonly SECONDS_PER_MODE=${2:-30} RATE=25600
readonly TICKS=$(getconf CLK_TCK)
WINESERVER_PID=$(cat "$RIG/run/wineserver.pid")

cpu_ticks() {
    local stat fields
    stat=$(cat "/proc/$1/stat") || fail "no process $1"
    read -r -a fields <<<"${stat##*) }"
    echo $((fields[11] + fields[12]))  # utime and stime: fields 14 and 15 of the whole line
}

received() {
    [[ $port_state == open ]] || { echo 0; return; }
    local text
    text=$(driver get-text $STATUS_LINE | tr -d '\r')
    echo "${text##*/}"
}

# measure LABEL RECEIVE_MODE RATE [closed]
measure() {
    local -r label=$1 mode=$2 rate=$3 port_state=${4:-open}
    start_quenlet
    driver receive-mode "$mode" $([[ $mode == fileonly ]] && echo "$WORK/capture.bin") || fail "receive mode"
    [[ $port_state == open ]] && open_port
    ((rate > 0)) && start_demo --stream random --rate "$rate"
    sleep 2  # let the stream settle before the window opens
    local -r before_program=$(cpu_ticks "$PROGRAM_PID") before_server=$(cpu_ticks "$WINESERVER_PID")
    local -r before_bytes=$(received) started=$(now_ms)
    sleep "$SECONDS_PER_MODE"
    local -r after_program=$(cpu_ticks "$PROGRAM_PID") after_server=$(cpu_ticks "$WINESERVER_PID")
    local -r elapsed=$(($(now_ms) - started)) after_bytes=$(received)
    ((rate > 0)) && stop_demo
    exit_quenlet 10000 >/dev/null
    rm -f "$WORK/capture.bin"
    percent() { bc -l <<<"($1) * 100 * 1000 / $TICKS / $elapsed"; }
    printf '| %s | %d | %.0f | %.1f | %.1f | %.1f |\n' "$label" "$SECONDS_PER_MODE" \
        "$(bc -l <<<"($after_bytes - $before_bytes) * 1000 / $elapsed")" \
        "$(percent "$after_program - $before_program")" "$(percent "$after_server - $before_server")" \
        "$(percent "$after_program - $before_program + $after_server - $before_server")"
}

echo "| Receive mode | Seconds | Received B/s | Program % of a core | wineserver % | Together % |"
echo "|---|---|---|---|---|---|"
measure "Port closed" ascii 0 closed
measure "Open, no traffic" ascii 0
measure "Ascii" ascii $RATE
measure "Hex" hex $RATE
measure "FileOnly" fileonly $RATE

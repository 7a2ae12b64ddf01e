# Shared steps of the end-to-end scenarios. Source it as: source lib.sh QUENLET_EXE DRIVER_EXE
# It needs the rig's environment (RIGDIR/env.sh) and COM5 mapped. Every wait is on a condition
# with a time limit; a scenario that fails says which step and exits non-zero.
set -uo pipefail

E2E_SOURCE_DIR=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
RIG_SCRIPT=$(cd "$E2E_SOURCE_DIR/../rig" && pwd)/rig.sh
QUENLET_EXE=${1:?"usage: SCENARIO QUENLET_EXE DRIVER_EXE"}
DRIVER_EXE=${2:?"usage: SCENARIO QUENLET_EXE DRIVER_EXE"}
WINE=${WINE:-$("$E2E_SOURCE_DIR/../../scripts/wine_loader.sh" "$QUENLET_EXE")} || exit 1
: "${QUENLET_RIG_DIR:?source RIGDIR/env.sh first}"
RIG=$QUENLET_RIG_DIR
PORT=5
PEER=$RIG/com$PORT.peer
QUENLET_PID=
PROGRAM_PID=
DEMO_RUNNING=0
WORK=$(mktemp -d "${TMPDIR:-/tmp}/quenlet-e2e.XXXXXX")

# Status line, main window ids and commands (res/resource.h).
readonly STATUS_LINE=1014 SEND_BOX=1001 SEND_BUTTON=1013
readonly CMD_OPEN=1050 CMD_CLOSE=1052 CMD_STATUS=1056 CMD_EXIT=1063

fail() {
    echo "FAIL: $*" >&2
    exit 1
}
step() { echo "-- $*"; }

now_ms() { local t=${EPOCHREALTIME/[.,]/}; echo $((t / 1000)); }

# Polls a command every 50 ms until it succeeds or limit_ms passes.
wait_until() {
    local -r limit_ms=$1; shift
    local -r deadline=$(($(now_ms) + limit_ms))
    until "$@"; do
        (($(now_ms) < deadline)) || return 1
        sleep 0.05
    done
}

file_size() { stat -c %s -- "$1" 2>/dev/null || echo 0; }
size_at_least() { (($(file_size "$1") >= $2)); }
process_gone() {
    local stat
    read -r stat 2>/dev/null <"/proc/$1/stat" || return 0
    stat=${stat##*) }
    [[ ${stat%% *} == Z ]]
}

driver() { "$WINE" "$DRIVER_EXE" "$@"; }

# QUENLET_PID is the `wine` started here: its status is the program's. PROGRAM_PID is the process
# that runs the program, whose CPU and memory count: the same one, or, when the loader `wine` picks
# is of the other word size (the 32-bit loader starting the x86_64 build), a separate process of
# this prefix named after the program.
start_quenlet() {
    "$WINE" "$QUENLET_EXE" </dev/null &
    QUENLET_PID=$!
    driver wait-window 30000 || fail "the Quenlet window did not appear: $(start_state)"
    PROGRAM_PID=$(program_process) || fail "no single process runs $(basename "$QUENLET_EXE")"
}

# What became of a start whose window did not show: the process's end and status, or what runs.
start_state() {
    if process_gone "$QUENLET_PID"; then
        echo "its process has ended"
    else
        local process name names=
        for process in /proc/[0-9]*; do
            grep -qzx "WINEPREFIX=$WINEPREFIX" "$process/environ" 2>/dev/null || continue
            read -r name 2>/dev/null <"$process/comm" && names+=" ${process#/proc/}:$name"
        done
        echo "the process runs; processes of the prefix:$names"
    fi
}

program_process() {
    local -r name=$(basename "$QUENLET_EXE")
    local process comm found=
    read -r comm 2>/dev/null <"/proc/$QUENLET_PID/comm"
    if [[ $comm == "$name" ]]; then echo "$QUENLET_PID"; return 0; fi
    for process in /proc/[0-9]*; do
        read -r comm 2>/dev/null <"$process/comm" || continue
        [[ $comm == "$name" ]] || continue
        grep -qzx "WINEPREFIX=$WINEPREFIX" "$process/environ" 2>/dev/null || continue
        process_gone "${process#/proc/}" && continue
        [[ -z $found ]] || return 1
        found=${process#/proc/}
    done
    [[ -n $found ]] && echo "$found"
}

# Runs the demo device on the far end of the port (rig.sh keeps one per port).
start_demo() {
    "$RIG_SCRIPT" demo "$RIG" "$PORT" "$@" >/dev/null || fail "demo device did not start"
    DEMO_RUNNING=1
}
stop_demo() {
    "$RIG_SCRIPT" demo-stop "$RIG" "$PORT"
    DEMO_RUNNING=0
}
demo_log() { cat "$RIG/run/demo$PORT.log" 2>/dev/null; }
# The "sent N bytes ... sha256 X" line of a finished stream.
demo_finished() { demo_log | grep -q '^demo_device: sent '; }

open_port() {
    driver command $CMD_OPEN || fail "cannot post Open"
    driver wait-text $STATUS_LINE "^COM$PORT, Sent/Received bytes: 0/0\$" 10000 >/dev/null ||
        fail "the port did not open"
}

# Exit through the menu. The driver posts the command and times the process from there: it must
# end within limit_ms with status 0.
exit_quenlet() {
    local -r limit_ms=${1:-3000}
    driver command $CMD_EXIT --wait-exit "$limit_ms" || fail "Quenlet did not end properly after Exit"
    reap_quenlet
}

# The process has ended (the driver saw it): collect its status as Linux saw it.
reap_quenlet() {
    wait_until 5000 process_gone "$QUENLET_PID" || fail "Quenlet still runs"
    local status=0
    wait "$QUENLET_PID" || status=$?
    QUENLET_PID= PROGRAM_PID=
    ((status == 0)) || fail "Quenlet exited with status $status"
}

# No process of this Wine prefix runs the program or the driver any more (Wine names each process
# after its executable).
expect_no_leftovers() {
    local process name
    for process in /proc/[0-9]*; do
        read -r name 2>/dev/null <"$process/comm" || continue
        [[ $name == quenlet.exe || $name == quenlet_driver* ]] || continue
        grep -qzx "WINEPREFIX=$WINEPREFIX" "$process/environ" 2>/dev/null || continue
        process_gone "${process#/proc/}" || fail "left running: ${process#/proc/} $name"
    done
}

cleanup() {
    if [[ -n $QUENLET_PID ]] && ! process_gone "$QUENLET_PID"; then
        kill -TERM "$QUENLET_PID" 2>/dev/null
        wait_until 5000 process_gone "$QUENLET_PID" || kill -KILL "$QUENLET_PID" 2>/dev/null
    fi
    if [[ -n $PROGRAM_PID ]] && ! process_gone "$PROGRAM_PID"; then kill -KILL "$PROGRAM_PID" 2>/dev/null; fi
    ((DEMO_RUNNING)) && stop_demo
    rm -rf -- "$WORK"
}
trap cleanup EXIT

[[ -L $RIG/com$PORT.peer || -e $RIG/com$PORT.peer ]] || fail "COM$PORT is not mapped in $RIG"

#!/usr/bin/env bash
# Serial test rig: a private Xvfb display, a persistent wineserver and a private Wine prefix whose
# COM ports are socat pty pairs. The COM end (RIGDIR/comN.dev) is what Wine opens as COMN; the far
# end (RIGDIR/comN.peer) is driven by tests or demo_device.py. libserialfixture.so is preloaded
# into every Wine process (wineserver included) so Wine's serial layer works on the ptys; where the
# machine runs 32-bit code it is built for 32-bit Wine processes too.
#
#   rig.sh up RIGDIR [PORTS...]          start everything (default port 5); writes RIGDIR/env.sh
#   rig.sh down RIGDIR                   stop everything this rig started
#   rig.sh map RIGDIR N | unmap RIGDIR N add / remove COMN while up
#   rig.sh unplug RIGDIR N               COMN's device goes away, as a pulled adapter: its pair stops
#                                        (an open handle fails) and COMN stays mapped to nothing
#   rig.sh replug RIGDIR N               COMN's device comes back: a new pair at the same path, whose
#                                        first opening keeps what its far end wrote before it
#   rig.sh with-ports [RIGDIR] "5 7"|none -- CMD...
#                                        run CMD with exactly those COM ports, then restore the map;
#                                        RIGDIR defaults to $QUENLET_RIG_DIR; exits with CMD's code
#   rig.sh lines RIGDIR N [CTS] [DSR] [RING] [RLSD] [BREAK] [FRAME]
#                                        set COMN's input lines (BREAK/FRAME: on-edges count events)
#   rig.sh mode RIGDIR N instant|line-rate|bare
#                                        how COMN behaves: instant (a pty, the default), line-rate
#                                        (writes take the time a UART needs at the rate set), bare
#                                        (no modem lines, as a bridged pty); seen within 100 ms
#   rig.sh demo RIGDIR N ARGS...         run demo_device.py ARGS on COMN's far end (one per port)
#   rig.sh demo-stop RIGDIR N            stop it
#   rig.sh status RIGDIR                 show what runs and which ports are mapped
#
# The fixture writes the line settings last set on COMN to RIGDIR/lines/pts<P>.line (P: its pty),
# e.g. "9600 8 N 1 none"; ports.ini names it for Windows programs.
# Every process is started here, recorded in RIGDIR/run/*.pid and stopped by that pid.
set -uo pipefail

RIG_SOURCE_DIR=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
readonly RIG_SOURCE_DIR
readonly FIXTURE_SOURCE=$RIG_SOURCE_DIR/serial_fixture.c
readonly DEMO_DEVICE=$RIG_SOURCE_DIR/demo_device.py
readonly IA32_CHECK=$RIG_SOURCE_DIR/../../scripts/ia32.sh
readonly WINE_LOADER_OF=$RIG_SOURCE_DIR/../../scripts/wine_loader.sh
PREFIX_SETTINGS=$(realpath -m "$RIG_SOURCE_DIR/../../linux/prefix.reg")
readonly PREFIX_SETTINGS
readonly INPUT_LINE_NAMES="CTS DSR RING RLSD BREAK FRAME"
readonly LINE_MODES="instant line-rate bare"
# Debian's interpreter starts faster than a version-manager shim; the demo needs only the stdlib.
PYTHON=python3
[[ -x /usr/bin/python3 ]] && PYTHON=/usr/bin/python3
readonly PYTHON

die() { echo "rig: $*" >&2; exit 2; }
note() { echo "rig: $*" >&2; }

# Polls a command every 20 ms until it succeeds or the time limit (ms) passes.
wait_until() {
    local -r limit_ms=$1; shift
    local -r microseconds=${EPOCHREALTIME/[.,]/}
    local -r deadline=$(( microseconds / 1000 + limit_ms ))
    local now
    until "$@"; do
        now=${EPOCHREALTIME/[.,]/}
        (( now / 1000 < deadline )) || return 1
        sleep 0.02
    done
}

set_rig_paths() {
    [[ -n ${1:-} ]] || die "no rig directory given"
    RIG=$(realpath -m -- "$1")
    RUN=$RIG/run
    LINES=$RIG/lines
    PREFIX=$RIG/prefix
    DOSDEVICES=$PREFIX/dosdevices
    # One build per process class, found by the loader through $LIB (lib/x86_64-linux-gnu or
    # lib/i386-linux-gnu): a single LD_PRELOAD serves 64- and 32-bit processes without warnings.
    FIXTURE=$RIG/fixture/lib/x86_64-linux-gnu/libserialfixture.so
    FIXTURE32=$RIG/fixture/lib/i386-linux-gnu/libserialfixture.so
    PRELOAD=$RIG/fixture/'$LIB'/libserialfixture.so
}

export_wine_environment() {
    export WINEPREFIX=$PREFIX WINEARCH=win64 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
    export QUENLET_RIG_DIR=$RIG LD_PRELOAD=$PRELOAD
    local display
    if [[ -s $RUN/xvfb.display ]] && read -r display <"$RUN/xvfb.display"; then export DISPLAY=:$display; fi
}

# Running, and not a zombie: our daemons are reparented to init, which may reap them late.
process_running() {
    local stat
    read -r stat 2>/dev/null <"/proc/$1/stat" || return 1
    stat=${stat##*) }
    [[ ${stat%% *} != Z ]]
}

process_gone() { ! process_running "$1"; }

# A pid file counts only while its process runs the expected program, so a reused pid is never
# taken for ours.
pid_alive() {
    local -r pid_file=$1 program=$2
    local pid comm
    read -r pid 2>/dev/null <"$pid_file" || return 1
    [[ $pid =~ ^[0-9]+$ ]] || return 1
    read -r comm 2>/dev/null <"/proc/$pid/comm" || return 1
    [[ $comm == "$program"* ]] && process_running "$pid"
}

stop_pid_file() {
    local -r pid_file=$1 program=$2
    if pid_alive "$pid_file" "$program"; then
        local -r pid=$(cat "$pid_file")
        kill -TERM "$pid" 2>/dev/null
        if ! wait_until 3000 process_gone "$pid"; then
            kill -KILL "$pid" 2>/dev/null
            wait_until 2000 process_gone "$pid"
        fi
    fi
    rm -f "$pid_file"
}

# Starts a daemon in its own session (a Ctrl-C at the caller's terminal does not reach it), with
# its output in a log and its pid in a pid file. It must not inherit the with-ports map lock, or
# the lock would outlive the command that took it.
start_daemon() {
    local -r pid_file=$1 log=$2; shift 2
    if [[ -n ${MAP_LOCK_FD:-} ]]; then
        setsid "$@" </dev/null >"$log" 2>&1 {MAP_LOCK_FD}>&- &
    else
        setsid "$@" </dev/null >"$log" 2>&1 &
    fi
    echo $! >"$pid_file"
}

check_port_number() {
    if ! [[ $1 =~ ^[0-9]+$ ]] || (( $1 < 1 || $1 > 255 )); then die "bad port number '$1' (1..255)"; fi
}

build_fixture_for() {
    local -r library=$1; shift
    if [[ ! -e $library || $FIXTURE_SOURCE -nt $library ]]; then
        note "building $library"
        mkdir -p "$(dirname "$library")"
        gcc "$@" -O2 -Wall -Wextra -shared -fPIC -o "$library.tmp" "$FIXTURE_SOURCE" -ldl || die "fixture build failed"
        mv -f "$library.tmp" "$library"
    fi
}

build_fixture() {
    build_fixture_for "$FIXTURE"
    # 32-bit Wine runs only where 32-bit code does; it needs the same help on the ptys and the
    # same hiding of the machine's own serial ports.
    if bash "$IA32_CHECK" check 2>/dev/null; then build_fixture_for "$FIXTURE32" -m32; fi
}

start_xvfb() {
    pid_alive "$RUN/xvfb.pid" Xvfb && return 0
    rm -f "$RUN/xvfb.display"
    # -displayfd lets the server pick a free display itself, so rigs never collide.
    start_daemon "$RUN/xvfb.pid" "$RUN/xvfb.log" \
        env -u LD_PRELOAD Xvfb -displayfd 3 -nolisten tcp -screen 0 1280x1024x24 3>"$RUN/xvfb.display"
    wait_until 10000 test -s "$RUN/xvfb.display" || die "Xvfb did not start (see $RUN/xvfb.log)"
}

# The server works inside its socket directory (Debian places it under a random /tmp/wine-XXXXXX),
# so it is ready once its working directory holds the socket.
wineserver_ready() {
    local -r server_dir=$(readlink "/proc/$1/cwd" 2>/dev/null)
    [[ -n $server_dir && -S $server_dir/socket ]]
}

start_wineserver() {
    SERVER_STARTED=0
    pid_alive "$RUN/wineserver.pid" wineserver && return 0
    SERVER_STARTED=1
    mkdir -p "$PREFIX"
    # Persistent (-p) so the system processes and their one-time port scan happen once per rig;
    # foreground (-f) so the pid is the server's own. QUENLET_WINESERVER_TRACE=1 logs every request
    # into wineserver.log (tests/bench/request_trace.sh counts them).
    start_daemon "$RUN/wineserver.pid" "$RUN/wineserver.log" wineserver -f -p ${QUENLET_WINESERVER_TRACE:+-d1}
    local pid
    read -r pid <"$RUN/wineserver.pid"
    wait_until 10000 wineserver_ready "$pid" || die "wineserver did not start (see $RUN/wineserver.log)"
    # Without the fixture in the server, COM opens would not be exclusive.
    grep -q "$FIXTURE" "/proc/$pid/maps" || die "the fixture is not loaded into wineserver (pid $pid)"
}

# Wine's mount manager links comN to every /dev/ttyS* it finds when the system processes start.
# Here /dev/ttyS0 is the machine console: those links must never exist.
remove_real_port_links() {
    local link target
    for link in "$DOSDEVICES"/com*; do
        [[ -L $link ]] || continue
        target=$(readlink -- "$link")
        if [[ $target == /dev/ttyS* || $target == /dev/ttyUSB* || $target == /dev/ttyACM* ]]; then
            rm -f -- "$link"
            note "removed $(basename "$link") -> $target"
        fi
    done
}

# The prefix's own commands run under its 64-bit loader, as the packaged launcher's do: `wine`
# takes the 32-bit one where that is installed, and it starts every 64-bit program in a second
# process.
prefix_wine() { "$("$WINE_LOADER_OF" x86_64)" "$@" </dev/null >>"$RUN/wine.log" 2>&1; }

# Whether wineboot installed the system: it reports the prefix updated even when an install it
# started did not run (seen once on a fresh Debian 12, with two files in system32), and every
# later start then fails to load kernel32.
prefix_complete() {
    local -r windows=$PREFIX/drive_c/windows
    [[ -f $windows/system32/kernel32.dll ]] || return 1
    [[ ! -x /usr/lib/wine/wine || -f $windows/syswow64/kernel32.dll ]]
}

boot_prefix() {
    if [[ ! -e $PREFIX/.quenlet-rig-ready ]]; then
        note "initialising Wine prefix $PREFIX"
        # Wine creates a missing prefix itself before it runs the command. `wineboot -i` would
        # initialise it a second time and leave two service managers answering in turn: RpcSs
        # then never starts, and every Wine desktop start waits 10 s for it.
        prefix_wine wineboot || die "wineboot failed (see $RUN/wine.log)"
        if ! prefix_complete; then
            note "the prefix's system files are missing: installing them again (wineboot -u)"
            prefix_wine wineboot -u || die "wineboot -u failed (see $RUN/wine.log)"
        fi
        prefix_complete || die "Wine did not install its system files into $PREFIX (see $RUN/wine.log)"
        touch "$PREFIX/.quenlet-rig-ready"
    else
        prefix_wine wineboot || die "wineboot failed (see $RUN/wine.log)"
    fi
    # The fonts every Quenlet prefix needs (Wine's own, found where Debian installs them; a stand-in
    # for Courier New): the same settings the run command and the installed launcher use.
    prefix_wine reg import "$(windows_path "$PREFIX_SETTINGS")" ||
        die "importing $PREFIX_SETTINGS failed (see $RUN/wine.log)"
    # The private display has no window manager. Wine's managed windows wait up to 2 s for one to
    # acknowledge every hide; unmanaged ones are framed and captioned by Wine itself.
    prefix_wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f
    # The fixture hides /dev/ttyS* from the mount manager's port scan; a prefix booted without it
    # may still hold the links.
    remove_real_port_links
}

pair_alive() { pid_alive "$RUN/socat$1.pid" socat; }
port_linked() { [[ -L $DOSDEVICES/com$1 ]]; }

linked_ports() {
    local link
    for link in "$DOSDEVICES"/com*; do
        [[ -L $link && $(readlink -- "$link") == "$RIG"/com*.dev ]] && echo "${link##*/com}"
    done | sort -n
}

start_pair() {
    local -r port=$1
    pair_alive "$port" && return 0
    local -r fresh=$RIG/.com$port.dev.new
    rm -f "$RIG/com$port.dev" "$RIG/com$port.peer" "$fresh"
    # socat itself must not carry the fixture: it is not part of Wine.
    start_daemon "$RUN/socat$port.pid" "$RUN/socat$port.log" \
        env -u LD_PRELOAD socat "pty,raw,echo=0,link=$fresh" "pty,raw,echo=0,link=$RIG/com$port.peer"
    wait_until 5000 test -e "$fresh" -a -e "$RIG/com$port.peer" ||
        die "socat for COM$port did not start (see $RUN/socat$port.log)"

    local -r pts_path=$(readlink -f "$fresh")
    [[ $pts_path =~ ^/dev/pts/([0-9]+)$ ]] || die "COM$port device end is not a pty: $pts_path"
    local -r pts=${BASH_REMATCH[1]}
    # A mode, line settings or first opening left by an earlier pair on this pty do not belong to
    # this one.
    rm -f "$LINES/pts$pts.mode" "$LINES/pts$pts.line" "$LINES/pts$pts.opened"
    # The state file also marks the pty as a COM end for the fixture; all lines start off.
    : >"$LINES/pts$pts.tmp" && mv -f "$LINES/pts$pts.tmp" "$LINES/pts$pts"
    : >"$LINES/pts$pts.out"
    ln -sfn "lines/pts$pts" "$RIG/com$port.lines"
    ln -sfn "lines/pts$pts.out" "$RIG/com$port.lines.out"
    echo "$pts" >"$RUN/socat$port.pts"
    # The device end appears last, in one step: a program that tries the port again (a lost
    # device coming back) finds it only once the fixture knows it as a COM end.
    mv -fT "$fresh" "$RIG/com$port.dev"
}

windows_path() { echo "Z:${1//\//\\}"; }

# Windows programs cannot use the comN.* names: "COM5.peer" is the reserved device name COM5 to
# Win32 path parsing. This index gives them the resolved paths (GetPrivateProfileString).
write_ports_index() {
    local pid_file port pts
    {
        echo "; Far ends and line files of the rig's ports, for Windows programs. Written by rig.sh."
        for pid_file in "$RUN"/socat*.pid; do
            [[ -e $pid_file ]] || continue
            port=${pid_file##*/socat}; port=${port%.pid}
            pair_alive "$port" || continue
            pts=$(cat "$RUN/socat$port.pts" 2>/dev/null) || continue
            echo "[COM$port]"
            echo "peer=$(windows_path "$(readlink -f "$RIG/com$port.peer")")"
            echo "lines=$(windows_path "$LINES/pts$pts")"
            echo "lines_out=$(windows_path "$LINES/pts$pts.out")"
            echo "mode=$(windows_path "$LINES/pts$pts.mode")"
            echo "line=$(windows_path "$LINES/pts$pts.line")"
        done
    } >"$RIG/ports.ini.tmp"
    mv -f "$RIG/ports.ini.tmp" "$RIG/ports.ini"
}

stop_pair() {
    local -r port=$1
    stop_demo "$port"
    stop_pid_file "$RUN/socat$port.pid" socat
    local pts
    if pts=$(cat "$RUN/socat$port.pts" 2>/dev/null); then
        rm -f "$LINES/pts$pts" "$LINES/pts$pts.out" "$LINES/pts$pts.mode" "$LINES/pts$pts.line" \
            "$LINES/pts$pts.opened"
    fi
    rm -f "$RUN/socat$port.pts" "$RUN/socat$port.log" "$RIG/com$port.dev" "$RIG/com$port.peer" \
        "$RIG/com$port.lines" "$RIG/com$port.lines.out" "$RIG/.com$port.dev.new"
}

# Pairs whose socat died (a crashed rig, a reboot) are forgotten, and line files (state, mode,
# settings) that belong to no running pair are removed: they would mark some other pty as a COM end.
forget_dead_pairs() {
    local pid_file port file pts live=" "
    for pid_file in "$RUN"/socat*.pid; do
        [[ -e $pid_file ]] || continue
        port=${pid_file##*/socat}; port=${port%.pid}
        if pair_alive "$port"; then
            live+="$(cat "$RUN/socat$port.pts" 2>/dev/null) "
        else
            unlink_port "$port"
            stop_pair "$port"
        fi
    done
    for file in "$LINES"/pts*; do
        [[ -e $file ]] || continue
        pts=${file##*/pts}; pts=${pts%%.*}
        [[ $live == *" $pts "* ]] || rm -f -- "$file"
    done
}

link_port() { ln -sfn "$RIG/com$1.dev" "$DOSDEVICES/com$1"; }
unlink_port() {
    if [[ -L $DOSDEVICES/com$1 && $(readlink -- "$DOSDEVICES/com$1") == "$RIG/com$1.dev" ]]; then
        rm -f "$DOSDEVICES/com$1"
    fi
}

map_port() {
    check_port_number "$1"
    start_pair "$1"
    link_port "$1"
    write_ports_index
}

unmap_port() {
    check_port_number "$1"
    unlink_port "$1"
    stop_pair "$1"
    write_ports_index
}

require_up() {
    pid_alive "$RUN/wineserver.pid" wineserver || die "rig $RIG is not up (run: rig.sh up $RIG)"
}

write_env_file() {
    local -r display=$(head -n1 "$RUN/xvfb.display")
    cat >"$RIG/env.sh.tmp" <<EOF
# Source this to run Wine programs and tests against the rig in $RIG.
export WINEPREFIX='$PREFIX'
export WINEARCH=win64
export WINEDEBUG=-all
export WINEDLLOVERRIDES='mscoree,mshtml='
export DISPLAY=':$display'
export LD_PRELOAD='$PRELOAD'
export QUENLET_RIG_DIR='$RIG'
EOF
    mv -f "$RIG/env.sh.tmp" "$RIG/env.sh"
}

demo_started() { [[ -s $1 ]] || process_gone "$2"; }

stop_demo() { stop_pid_file "$RUN/demo$1.pid" python3; }

start_demo() {
    local -r port=$1; shift
    pair_alive "$port" || die "COM$port is not mapped"
    stop_demo "$port"
    rm -f "$RUN/demo$port.log"
    start_daemon "$RUN/demo$port.pid" "$RUN/demo$port.log" \
        env -u LD_PRELOAD "$PYTHON" "$DEMO_DEVICE" "$@" "$RIG/com$port.peer"
    local pid
    read -r pid <"$RUN/demo$port.pid"
    # It prints one status line once it has the port open; a finite stream may already be done.
    wait_until 5000 demo_started "$RUN/demo$port.log" "$pid" ||
        die "demo device on COM$port did not start"
    if ! process_running "$pid"; then
        wait "$pid" || die "demo device on COM$port failed: $(cat "$RUN/demo$port.log")"
    fi
    head -n1 "$RUN/demo$port.log"
}

# A with-ports killed outright (SIGKILL) leaves its restore file; undo it unless one is running.
recover_interrupted_with_ports() {
    [[ -e $RUN/with-ports.restore ]] || return 0
    local lock_fd
    exec {lock_fd}>"$RUN/map.lock"
    if flock -n "$lock_fd"; then
        note "undoing an interrupted with-ports"
        restore_map
    fi
    exec {lock_fd}>&-
}

command_up() {
    set_rig_paths "${1:-}"; shift
    local ports=("$@")
    (( ${#ports[@]} )) || ports=(5)
    local port
    for port in "${ports[@]}"; do check_port_number "$port"; done

    mkdir -p "$RIG" "$RUN" "$LINES"
    build_fixture
    start_xvfb
    export_wine_environment
    start_wineserver
    if (( SERVER_STARTED )) || [[ ! -e $PREFIX/.quenlet-rig-ready ]]; then boot_prefix; fi
    recover_interrupted_with_ports
    forget_dead_pairs
    for port in "${ports[@]}"; do map_port "$port"; done
    remove_real_port_links
    write_env_file
    note "up: DISPLAY=$DISPLAY ports: $(linked_ports | sed 's/^/COM/' | tr '\n' ' ')"
    note "source $RIG/env.sh"
}

command_down() {
    set_rig_paths "${1:-}"
    [[ -d $RUN ]] || return 0
    export_wine_environment
    local pid_file port
    for pid_file in "$RUN"/demo*.pid; do
        [[ -e $pid_file ]] || continue
        port=${pid_file##*/demo}; stop_demo "${port%.pid}"
    done
    for pid_file in "$RUN"/socat*.pid; do
        [[ -e $pid_file ]] || continue
        port=${pid_file##*/socat}; port=${port%.pid}
        unlink_port "$port"
        stop_pair "$port"
    done
    if pid_alive "$RUN/wineserver.pid" wineserver; then
        wineserver -k >/dev/null 2>&1
        local -r server_pid=$(cat "$RUN/wineserver.pid")
        wait_until 10000 process_gone "$server_pid" || note "wineserver did not exit on -k"
    fi
    stop_pid_file "$RUN/wineserver.pid" wineserver
    stop_pid_file "$RUN/xvfb.pid" Xvfb
    remove_real_port_links
    rm -f "$RUN/xvfb.display" "$RUN/with-ports.restore" "$RIG/env.sh"
    note "down: $RIG"
}

command_map() {
    set_rig_paths "${1:-}"; require_up
    check_port_number "${2:-}"
    map_port "$2"
    remove_real_port_links
}

command_unplug() {
    set_rig_paths "${1:-}"; require_up
    check_port_number "${2:-}"
    pair_alive "$2" || die "COM$2 has no device to unplug"
    stop_pair "$2"
    write_ports_index
}

command_replug() {
    set_rig_paths "${1:-}"; require_up
    check_port_number "${2:-}"
    port_linked "$2" || die "COM$2 is not mapped"
    start_pair "$2"
    write_ports_index
}

command_unmap() {
    set_rig_paths "${1:-}"; require_up
    check_port_number "${2:-}"
    unmap_port "$2"
}

command_lines() {
    set_rig_paths "${1:-}"
    check_port_number "${2:-}"
    local -r port=$2; shift 2
    [[ -L $RIG/com$port.lines ]] || die "COM$port is not mapped"
    local token
    for token in "$@"; do
        [[ " $INPUT_LINE_NAMES " == *" ${token^^} "* ]] || die "unknown line '$token' ($INPUT_LINE_NAMES)"
    done
    local -r state_file=$(readlink -f "$RIG/com$port.lines")
    # Renamed into place so the fixture never reads a half-written file.
    echo "${*^^}" >"$state_file.tmp.$$" && mv -f "$state_file.tmp.$$" "$state_file"
}

command_mode() {
    set_rig_paths "${1:-}"
    check_port_number "${2:-}"
    local -r port=$2 mode=${3:-}
    (( $# == 3 )) || die "mode: expected RIGDIR N MODE ($LINE_MODES)"
    [[ -L $RIG/com$port.lines ]] || die "COM$port is not mapped"
    [[ " $LINE_MODES " == *" $mode "* && $mode =~ ^[a-z-]+$ ]] || die "unknown mode '$mode' ($LINE_MODES)"
    local -r mode_file=$(readlink -f "$RIG/com$port.lines").mode
    # Renamed into place, like the state file.
    echo "$mode" >"$mode_file.tmp.$$" && mv -f "$mode_file.tmp.$$" "$mode_file"
}

# Undoes a with-ports change: ports it added are unmapped, ports it hid are linked again.
restore_map() {
    local -r restore_file=$RUN/with-ports.restore
    [[ -e $restore_file ]] || return 0
    local kind port
    while read -r kind port; do
        case $kind in
            added) unmap_port "$port" ;;
            hidden) pair_alive "$port" && link_port "$port" ;;
        esac
    done <"$restore_file"
    rm -f "$restore_file"
}

command_with_ports() {
    local rig_argument=${QUENLET_RIG_DIR:-}
    if [[ $# -ge 3 && ${2:-} != -- ]]; then rig_argument=$1; shift; fi
    [[ -n $rig_argument ]] || die "with-ports: no rig directory (source RIGDIR/env.sh or pass RIGDIR)"
    set_rig_paths "$rig_argument"; require_up
    local -r wanted_text=$1; shift
    [[ ${1:-} == -- ]] || die "with-ports: expected -- before the command"
    shift
    (( $# )) || die "with-ports: no command"

    local wanted=()
    [[ $wanted_text == none ]] || read -r -a wanted <<<"$wanted_text"
    local port
    for port in "${wanted[@]}"; do check_port_number "$port"; done

    # One map change at a time; a killed earlier run left its restore file behind.
    exec {MAP_LOCK_FD}>"$RUN/map.lock"
    flock -w 600 "$MAP_LOCK_FD" || die "with-ports: map lock busy"
    restore_map
    remove_real_port_links

    # From the first change on, a signal undoes what was done so far (the restore file grows
    # with each step).
    WITH_PORTS_CHILD=
    trap 'stop_with_ports 130' INT
    trap 'stop_with_ports 143' TERM
    : >"$RUN/with-ports.restore"
    for port in $(linked_ports); do
        if [[ " ${wanted[*]} " != *" $port "* ]]; then
            echo "hidden $port" >>"$RUN/with-ports.restore"
            unlink_port "$port"
        fi
    done
    for port in "${wanted[@]}"; do
        if ! pair_alive "$port"; then
            echo "added $port" >>"$RUN/with-ports.restore"
            map_port "$port"
        else
            link_port "$port"
        fi
    done

    # In the background, so a signal reaches the trap at once rather than after the command ends.
    "$@" {MAP_LOCK_FD}>&- <&0 &
    WITH_PORTS_CHILD=$!
    wait "$WITH_PORTS_CHILD"
    local -r status=$?
    trap - INT TERM
    restore_map
    exit "$status"
}

stop_with_ports() {
    trap - INT TERM
    if [[ -n $WITH_PORTS_CHILD ]]; then
        kill -TERM "$WITH_PORTS_CHILD" 2>/dev/null
        wait_until 5000 process_gone "$WITH_PORTS_CHILD" || kill -KILL "$WITH_PORTS_CHILD" 2>/dev/null
        wait "$WITH_PORTS_CHILD" 2>/dev/null
    fi
    restore_map
    exit "$1"
}

command_demo() {
    set_rig_paths "${1:-}"; require_up
    check_port_number "${2:-}"
    local -r port=$2; shift 2
    start_demo "$port" "$@"
}

command_demo_stop() {
    set_rig_paths "${1:-}"
    check_port_number "${2:-}"
    stop_demo "$2"
}

command_status() {
    set_rig_paths "${1:-}"
    local name
    for name in xvfb:Xvfb wineserver:wineserver; do
        if pid_alive "$RUN/${name%%:*}.pid" "${name#*:}"; then
            echo "${name%%:*}: running (pid $(cat "$RUN/${name%%:*}.pid"))"
        else
            echo "${name%%:*}: stopped"
        fi
    done
    [[ -s $RUN/xvfb.display ]] && echo "DISPLAY=:$(head -n1 "$RUN/xvfb.display")"
    local pid_file port pts mode
    for pid_file in "$RUN"/socat*.pid; do
        [[ -e $pid_file ]] || continue
        port=${pid_file##*/socat}; port=${port%.pid}
        pts=$(cat "$RUN/socat$port.pts" 2>/dev/null)
        mode=$(cat "$LINES/pts$pts.mode" 2>/dev/null)
        printf 'COM%s: pair %s, %s, pts%s, lines [%s] out [%s], mode %s, line [%s]%s\n' "$port" \
            "$(pair_alive "$port" && echo up || echo down)" \
            "$(port_linked "$port" && echo mapped || echo hidden)" "$pts" \
            "$(cat "$RIG/com$port.lines" 2>/dev/null)" "$(cat "$RIG/com$port.lines.out" 2>/dev/null)" \
            "${mode:-instant}" "$(cat "$LINES/pts$pts.line" 2>/dev/null)" \
            "$(pid_alive "$RUN/demo$port.pid" python3 && echo ", demo device running")"
    done
}

main() {
    local -r command=${1:-}
    (( $# )) && shift
    case $command in
        up) command_up "$@" ;;
        down) command_down "$@" ;;
        map) command_map "$@" ;;
        unplug) command_unplug "$@" ;;
        replug) command_replug "$@" ;;
        unmap) command_unmap "$@" ;;
        with-ports) command_with_ports "$@" ;;
        lines) command_lines "$@" ;;
        mode) command_mode "$@" ;;
        demo) command_demo "$@" ;;
        demo-stop) command_demo_stop "$@" ;;
        status) command_status "$@" ;;
        *) sed -n '2,/^set /{/^#/s/^# \{0,1\}//p}' "${BASH_SOURCE[0]}" >&2; exit 2 ;;
    esac
}

main "$@"

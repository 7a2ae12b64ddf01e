# picocom on the rig's port, as the native reference for the benchmarks. Source it after
# tests/e2e/lib.sh. picocom runs in a pseudo-terminal of its own whose output is read and
# discarded, as a terminal window would show it; nothing is ever typed into it (a terminal that
# closes its input would send picocom an end-of-file byte, which picocom passes to the line).
# Only picocom's own process is measured.
PICOCOM_PID=
PICOCOM_TERMINAL_PID=
PYTHON=python3
[[ -x /usr/bin/python3 ]] && PYTHON=/usr/bin/python3
# A terminal that shows nothing: runs its arguments on a pseudo-terminal and reads it until it closes.
readonly TERMINAL='
import os, pty, sys
pid, fd = pty.fork()
if pid == 0:
    os.execvp(sys.argv[1], sys.argv[1:])
while True:
    try:
        if not os.read(fd, 65536):
            break
    except OSError:
        break
os.waitpid(pid, 0)
'

# start_picocom LOG_FILE [IMAP] [DEVICE]: picocom on DEVICE (COM$PORT's device by default) at
# 256000 baud, received bytes logged.
start_picocom() {
    local -r log=$1 imap=${2:-}
    PICOCOM_DEVICE=${3:-$RIG/com$PORT.dev}
    command -v picocom >/dev/null || fail "picocom is not installed (scripts/setup.sh installs it)"
    local options="-q -b 256000 --logfile $log"
    [[ -n $imap ]] && options+=" --imap $imap"
    # Without the rig's preload: picocom talks to the pty as a native program does.
    env -u LD_PRELOAD "$PYTHON" -c "$TERMINAL" picocom $options "$PICOCOM_DEVICE" </dev/null >/dev/null 2>&1 &
    PICOCOM_TERMINAL_PID=$!
    wait_until 5000 picocom_started || fail "picocom did not start"
    PICOCOM_PID=$(pgrep -P "$PICOCOM_TERMINAL_PID" -x picocom)
    # picocom is ready once it holds the device open.
    wait_until 5000 picocom_has_port || fail "picocom did not open the port"
}

picocom_started() { pgrep -P "$PICOCOM_TERMINAL_PID" -x picocom >/dev/null; }
picocom_has_port() { ls -l "/proc/$PICOCOM_PID/fd" 2>/dev/null | grep -q "$(readlink -f "$PICOCOM_DEVICE")"; }

stop_picocom() {
    [[ -n $PICOCOM_TERMINAL_PID ]] || return 0
    kill -TERM "$PICOCOM_PID" "$PICOCOM_TERMINAL_PID" 2>/dev/null
    wait "$PICOCOM_TERMINAL_PID" 2>/dev/null
    PICOCOM_PID=
    PICOCOM_TERMINAL_PID=
}

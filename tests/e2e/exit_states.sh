#!/usr/bin/env bash
# Exit ends the process with status 0 within 3 s and leaves nothing running, in the state given:
# idle (port closed), open, file-send (a file send under way; Exit first shows the refusal to close
# the port, and the program ends in time although nobody answers it), or message-box (the file to send cannot
# be opened and its message box is up, shown by the sender thread; the window is closed as the
# taskbar closes it, with SC_CLOSE, and the box goes with the program).
source "$(dirname "$0")/lib.sh" "${@:2}"
readonly STATE=${1:?"usage: exit_states.sh idle|open|file-send|message-box QUENLET_EXE DRIVER_EXE"}

case $STATE in
    idle)
        start_quenlet
        driver wait-text $STATUS_LINE "^Ready: COM$PORT\$" 5000 >/dev/null || fail "not idle"
        exit_quenlet 3000
        ;;
    open)
        start_demo --record "$WORK/peer.bin"
        start_quenlet
        open_port
        exit_quenlet 3000
        ;;
    file-send)
        head -c $((3 * 1048576)) /dev/urandom >"$WORK/send.bin"
        start_demo --record "$WORK/peer.bin"
        start_quenlet
        driver send-mode file "$WORK/send.bin" || fail "cannot set the send mode"
        open_port
        driver click $SEND_BUTTON || fail "cannot press Send"
        driver wait-text $SEND_BUTTON '^Stop$' 10000 >/dev/null || fail "the file send did not start"
        wait_until 30000 size_at_least "$WORK/peer.bin" 4096 || fail "the file send does not progress"
        # The refusal comes up and nobody answers it.
        driver wait-message '^Sendding file, stop sending first!$' 3000 >"$WORK/refusal.txt" &
        refusal_watch=$!
        exit_quenlet 3000
        wait "$refusal_watch" || fail "no refusal message: $(cat "$WORK/refusal.txt")"
        ;;
    message-box)
        start_quenlet
        driver send-mode file "$WORK/missing.bin" || fail "cannot set the send mode"
        open_port
        driver click $SEND_BUTTON || fail "cannot press Send"
        driver wait-message '^File open failed!$' 10000 || fail "no \"File open failed!\" box"
        driver close --wait-exit 3000 || fail "Quenlet did not end properly after SC_CLOSE"
        reap_quenlet
        ;;
    *) fail "unknown state $STATE" ;;
esac
expect_no_leftovers
echo PASS

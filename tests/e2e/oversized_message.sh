#!/usr/bin/env bash
# A 1.5 MB WM_SETTEXT from another process: Wine 8 fails the program's GetMessage on it, 32-bit
# Wine 10 drops it, and 64-bit Wine 10 delivers it through the window thread's stack (which the
# program reserves large enough). The program must go on running and answering, and still end with
# code 0 when asked; it used to take the failed GetMessage for the end of its message loop and exit.
source "$(dirname "$0")/lib.sh" "$@"

start_quenlet
head -c 1500000 /dev/zero | tr '\0' 'x' >"$WORK/big.txt"
step "one oversized WM_SETTEXT to the send box"
driver set-text-file-whole $SEND_BOX "$WORK/big.txt" >/dev/null 2>&1 || true
step "the program still answers"
driver wait-text $STATUS_LINE "^Ready: COM$PORT\$" 5000 >/dev/null || fail "the main window no longer answers"
process_gone "$QUENLET_PID" && fail "the program ended"
driver set-text $SEND_BOX "still here" || fail "the send box no longer takes text"
driver wait-text $SEND_BOX "^still here\$" 5000 >/dev/null || fail "the send box text"
exit_quenlet
expect_no_leftovers
echo PASS

#!/usr/bin/env bash
# 1 MiB of random bytes received in Hex mode with capture: the capture file holds exactly the
# "%02X " text of every byte in order, and the status line counts 1048576.
source "$(dirname "$0")/lib.sh" "$@"
readonly TOTAL=1048576

start_quenlet
step "receive mode Hex + capture"
driver receive-mode hex "$WORK/capture.txt" || fail "cannot set the receive mode"
open_port

step "peer sends $TOTAL bytes"
start_demo --stream random --bytes $TOTAL --seed 11 --save-sent "$WORK/sent.bin"
wait_until 120000 size_at_least "$WORK/capture.txt" $((TOTAL * 3)) ||
    fail "capture holds $(file_size "$WORK/capture.txt") of $((TOTAL * 3)) characters"
driver wait-text $STATUS_LINE "^COM$PORT, Sent/Received bytes: 0/$TOTAL\$" 10000 || fail "status line"
[[ $(file_size "$WORK/sent.bin") == "$TOTAL" ]] || fail "the peer sent $(file_size "$WORK/sent.bin") bytes"
od -An -v -tx1 "$WORK/sent.bin" | tr -d ' \n' | tr a-f A-F | sed 's/../& /g' >"$WORK/expected.txt"
cmp "$WORK/expected.txt" "$WORK/capture.txt" || fail "the capture differs from the hex text of the bytes sent"

exit_quenlet
expect_no_leftovers
echo PASS

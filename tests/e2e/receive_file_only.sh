#!/usr/bin/env bash
# 8 MiB of random bytes received in FileOnly mode arrive in the capture file byte for byte.
source "$(dirname "$0")/lib.sh" "$@"
readonly TOTAL=$((8 * 1048576))

start_quenlet
step "receive mode FileOnly"
driver receive-mode fileonly "$WORK/capture.bin" || fail "cannot set the receive mode"
driver wait-text 1000 '^Receiving file to\.\.\.' 5000 >/dev/null || fail "no capture banner"
open_port

step "peer sends $TOTAL bytes"
start_demo --stream random --bytes $TOTAL --seed 23 --save-sent "$WORK/sent.bin"
wait_until 180000 size_at_least "$WORK/capture.bin" $TOTAL ||
    fail "capture holds $(file_size "$WORK/capture.bin") of $TOTAL bytes"
driver wait-text $STATUS_LINE "^COM$PORT, Sent/Received bytes: 0/$TOTAL\$" 10000 || fail "status line"
cmp "$WORK/sent.bin" "$WORK/capture.bin" || fail "the capture differs from the bytes sent"

exit_quenlet
expect_no_leftovers
echo PASS

#!/usr/bin/env bash
# Loop send in Hex every 50 ms for 5 s: the peer receives whole frames only, and as many bytes as
# the status line counts.
source "$(dirname "$0")/lib.sh" "$@"
readonly LOOPS=1019 INTERVAL=1040 FRAME="01 02 03 7E 7F 80" FRAME_BYTES=6

step "peer records the line"
start_demo --record "$WORK/peer.bin"
start_quenlet
driver send-mode hex || fail "cannot set the send mode"
open_port

step "loop a hex frame every 50 ms for 5 s"
driver set-text $SEND_BOX "$FRAME" || fail "send box"
driver click $LOOPS && driver wait-check $LOOPS 1 5000 >/dev/null || fail "Loops"
driver set-text $INTERVAL 50 || fail "interval"
driver click $SEND_BUTTON && driver wait-text $SEND_BUTTON '^Stop$' 5000 >/dev/null || fail "the loop did not start"
start_ms=$(now_ms)
sleep 5
driver click $SEND_BUTTON && driver wait-text $SEND_BUTTON '^Send$' 10000 >/dev/null || fail "Stop"
elapsed_ms=$(($(now_ms) - start_ms))

status=$(driver get-text $STATUS_LINE | tr -d '\r')
[[ $status =~ ^COM$PORT,\ Sent/Received\ bytes:\ ([0-9]+)/0$ ]] || fail "status line: $status"
sent=${BASH_REMATCH[1]}
wait_until 10000 size_at_least "$WORK/peer.bin" "$sent" || fail "the peer got $(file_size "$WORK/peer.bin") of $sent bytes"
received=$(file_size "$WORK/peer.bin")
((received == sent)) || fail "the peer got $received bytes, the status line counts $sent"
((sent % FRAME_BYTES == 0)) || fail "$sent bytes is not a whole number of frames"
frames=$((sent / FRAME_BYTES))
# At one frame per 50 ms over about 5 s; the timer may run late under load but never early.
((frames >= 20 && frames <= elapsed_ms / 50 + 2)) || fail "$frames frames in $elapsed_ms ms"
od -An -v -tx1 -w$FRAME_BYTES "$WORK/peer.bin" | sort -u | grep -vqx ' 01 02 03 7e 7f 80' &&
    fail "the peer got something other than whole frames"
echo "loop send: $frames frames in $elapsed_ms ms"

exit_quenlet
expect_no_leftovers
echo PASS

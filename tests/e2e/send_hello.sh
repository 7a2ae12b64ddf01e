#!/usr/bin/env bash
# Typing "hello" and pressing Send puts exactly those five bytes on the line and counts them.
source "$(dirname "$0")/lib.sh" "$@"

step "peer records the line"
start_demo --record "$WORK/peer.bin"
start_quenlet
open_port

step "send hello"
driver set-text $SEND_BOX hello || fail "cannot type into the send box"
driver click $SEND_BUTTON || fail "cannot press Send"
driver wait-text $STATUS_LINE "^COM$PORT, Sent/Received bytes: 5/0\$" 10000 || fail "status line"
wait_until 10000 size_at_least "$WORK/peer.bin" 5 || fail "the peer got $(file_size "$WORK/peer.bin") bytes"
[[ $(cat "$WORK/peer.bin") == hello && $(file_size "$WORK/peer.bin") == 5 ]] ||
    fail "the peer got '$(od -An -c "$WORK/peer.bin")' instead of hello"

exit_quenlet
expect_no_leftovers
echo PASS

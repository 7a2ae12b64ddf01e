#!/usr/bin/env bash
# A 1 MiB file send stopped part-way ends silently: no success message, the peer holds a prefix of
# the file, the button reads "Send" again. Sent in full, it ends with "File has been sent
# successfully!" and the peer holds the whole file.
source "$(dirname "$0")/lib.sh" "$@"
readonly TOTAL=1048576 STOP_AFTER=$((256 * 1024))

head -c $TOTAL /dev/urandom >"$WORK/send.bin"
start_demo --record "$WORK/stopped.bin"
start_quenlet
driver send-mode file "$WORK/send.bin" || fail "cannot set the send mode"
open_port

step "send, then Stop after $STOP_AFTER bytes"
driver click $SEND_BUTTON || fail "cannot press Send"
driver wait-text $SEND_BUTTON '^Stop$' 10000 >/dev/null || fail "the button did not turn into Stop"
wait_until 60000 size_at_least "$WORK/stopped.bin" $STOP_AFTER || fail "the file send does not progress"
driver click $SEND_BUTTON || fail "cannot press Stop"
driver wait-text $SEND_BUTTON '^Send$' 10000 >/dev/null || fail "the button did not return to Send"
status=$(driver get-text $STATUS_LINE | tr -d '\r')
[[ $status =~ ^COM$PORT,\ Sent/Received\ bytes:\ ([0-9]+)/0$ ]] || fail "status line: $status"
sent=${BASH_REMATCH[1]}
((sent >= STOP_AFTER && sent < TOTAL)) || fail "$sent bytes counted after Stop"
# The counter holds what the port accepted; all of it reaches the peer and nothing follows.
wait_until 10000 size_at_least "$WORK/stopped.bin" "$sent" || fail "the peer got $(file_size "$WORK/stopped.bin") of $sent bytes"
if driver wait-message . 2000; then fail "a message box appeared after Stop"; fi
[[ $(file_size "$WORK/stopped.bin") == "$sent" ]] || fail "the peer got $(file_size "$WORK/stopped.bin") bytes, $sent counted"
cmp -n "$sent" "$WORK/send.bin" "$WORK/stopped.bin" || fail "the peer's bytes are not a prefix of the file"

step "send the whole file"
stop_demo
start_demo --record "$WORK/full.bin"
driver click $SEND_BUTTON || fail "cannot press Send"
message=$(driver wait-message 'File has been sent successfully!' 240000 | tr -d '\r') ||
    fail "no success message (last seen: '$message')"
[[ $message == "File has been sent successfully!" ]] || fail "message: $message"
driver dismiss-message 5000 >/dev/null || fail "cannot close the message box"
driver wait-text $SEND_BUTTON '^Send$' 5000 >/dev/null || fail "the button did not return to Send"
driver wait-text $STATUS_LINE "^COM$PORT, Sent/Received bytes: $((sent + TOTAL))/0\$" 5000 || fail "status line"
wait_until 10000 size_at_least "$WORK/full.bin" $TOTAL || fail "the peer got $(file_size "$WORK/full.bin") bytes"
cmp "$WORK/send.bin" "$WORK/full.bin" || fail "the peer's copy differs from the file"

exit_quenlet
expect_no_leftovers
echo PASS

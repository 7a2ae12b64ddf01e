#!/usr/bin/env bash
# Soak: traffic both ways for SECONDS (default 600) in Hex + capture. The far end streams random
# bytes as fast as the null-modem takes them while the program loop-sends a 6-byte hex frame every
# 10 ms. Every 10 s the program's resident memory is sampled. At the end the capture must be the
# exact "%02X " text of every byte the far end sent, the far end must hold whole frames only, and
# the program must still answer and exit cleanly. Prints the figures.
#   soak.sh QUENLET_EXE DRIVER_EXE [SECONDS]      (with the rig's env.sh sourced)
source "$(dirname "$0")/../e2e/lib.sh" "$1" "$2"
source "$(dirname "$0")/measure.sh"
readonly DURATION=${3:-600}
readonly FRAME="DE AD BE EF 00 FF" FRAME_BYTES=6
readonly LOOPS=1019 INTERVAL=1040

start_quenlet
step "Hex + capture, loop-sending a hex frame every 10 ms"
driver receive-mode hex "$WORK/capture.txt" || fail "cannot set the receive mode"
driver send-mode hex || fail "cannot set the send mode"
open_port
driver set-text $SEND_BOX "$FRAME" || fail "send box"
driver click $LOOPS && driver wait-check $LOOPS 1 5000 >/dev/null || fail "Loops"
driver set-text $INTERVAL 10 || fail "interval"
driver click $SEND_BUTTON && driver wait-text $SEND_BUTTON '^Stop$' 5000 >/dev/null || fail "the loop did not start"

step "far end streams for $DURATION s"
start_demo --stream random --seed 3 --save-sent "$WORK/sent.bin" --record "$WORK/received.bin"
start_ms=$(now_ms)
rss_min=0 rss_max=0 samples=()
while (($(now_ms) - start_ms < DURATION * 1000)); do
    sleep 10
    process_gone "$QUENLET_PID" && fail "the program ended during the soak"
    rss=$(rss_kib "$PROGRAM_PID")
    samples+=("$rss")
    ((rss_min == 0 || rss < rss_min)) && rss_min=$rss
    ((rss > rss_max)) && rss_max=$rss
done
# The loop stops first, so that every frame reaches the far end while it still listens.
step "stop the loop and the far end; wait for the capture to catch up"
driver click $SEND_BUTTON && driver wait-text $SEND_BUTTON '^Send$' 10000 >/dev/null || fail "Stop"
stop_demo
elapsed_ms=$(($(now_ms) - start_ms))
sent=$(file_size "$WORK/sent.bin")
wait_until 300000 size_at_least "$WORK/capture.txt" $((sent * 3)) ||
    fail "capture holds $(file_size "$WORK/capture.txt") of $((sent * 3)) characters"
od -An -v -tx1 "$WORK/sent.bin" | tr -d ' \n' | tr a-f A-F | sed 's/../& /g' >"$WORK/expected.txt"
capture_ok=yes
cmp -s "$WORK/expected.txt" "$WORK/capture.txt" || capture_ok=no
received=$(file_size "$WORK/received.bin")
frames_ok=yes
((received % FRAME_BYTES == 0)) || frames_ok=no
if [[ $frames_ok == yes ]] && ((received > 0)); then
    od -An -v -tx1 -w$FRAME_BYTES "$WORK/received.bin" | sort -u | grep -vqx ' de ad be ef 00 ff' && frames_ok=no
fi
status_line=$(driver get-text $STATUS_LINE)

echo "soak: $((elapsed_ms / 1000)) s; far end sent $sent bytes ($((sent * 1000 / elapsed_ms)) B/s), program sent $received bytes ($((received / FRAME_BYTES)) frames)"
echo "soak: capture byte-identical to the hex text: $capture_ok; far end got whole frames only: $frames_ok"
echo "soak: status line: $status_line"
echo "soak: RSS of the program every 10 s (KiB): ${samples[*]}"
echo "soak: RSS min $rss_min KiB, max $rss_max KiB"
[[ $capture_ok == yes && $frames_ok == yes ]] || fail "data lost or corrupted"
exit_quenlet
expect_no_leftovers
echo PASS

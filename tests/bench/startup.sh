#!/usr/bin/env bash
# Start-up time: from process creation (inside Wine) to the main window being visible, which takes
# in the probe of COM1 to COM255 for the default port. Then the window thread's idle answer time
# (WM_NULL round trips with the port open), how soon a modem line change shows in the status
# window, and how soon a byte from the far end shows in the receive box after a quiet spell.
#   startup.sh BUILD_DIR [RUNS] [ECHO_SAMPLES]   (the rig's env.sh sourced; prints a Markdown table)
source "$(dirname "$0")/../e2e/lib.sh" "${1:?usage: startup.sh BUILD_DIR [RUNS]}/quenlet.exe" \
    "$1/tests/e2e/quenlet_driver.exe" >/dev/null
readonly RUNS=${2:-5} ECHO_SAMPLES=${3:-50}

times=()
for ((run = 1; run <= RUNS; run++)); do
    line=$(driver launch-timed 60000 "$QUENLET_EXE" | tr -d '\r') || fail "run $run: no window"
    times+=("${line#window_ms=}")
    driver command $CMD_EXIT --wait-exit 10000 >/dev/null || fail "run $run: the program did not end"
done
sorted=($(printf '%s\n' "${times[@]}" | sort -n))
echo "| Figure | Value |"
echo "|---|---|"
printf '| Launch to visible window, median of %d (ms) | %s |\n' "$RUNS" "${sorted[$((RUNS / 2))]}"
printf '| Launch to visible window, min / max (ms) | %s / %s |\n' "${sorted[0]}" "${sorted[$((RUNS - 1))]}"

start_quenlet
open_port
stats=$(driver null-roundtrip-stats 5 | tr -d '\r') || fail "no round trips"
# The CTS line flipped through the rig's state file; the status window's CTS box must follow.
driver command $CMD_STATUS || fail "cannot show the status window"
driver --in status wait-text 0 "^COM$PORT\$" 5000 >/dev/null || fail "the status window did not show"
lines=$(driver line-latency "$(readlink -f "$RIG/com$PORT.lines")" CTS 1019 20 | tr -d '\r') || fail "no line latency"
"$RIG_SCRIPT" lines "$RIG" $PORT || fail "cannot clear the lines"
# A typed character's echo: one byte from the far end after a quiet second, until the receive
# box holds it.
echo=$(driver echo-latency "$(readlink -f "$PEER")" 1000 "$ECHO_SAMPLES" | tr -d '\r') || fail "no echo latency"
exit_quenlet 10000 >/dev/null
printf '| WM_NULL round trip, port open and idle, p50 / p99 / max (ms) | %s / %s / %s |\n' \
    "$(sed -n 's/.*p50_ms=\([0-9.]*\).*/\1/p' <<<"$stats")" "$(sed -n 's/.*p99_ms=\([0-9.]*\).*/\1/p' <<<"$stats")" \
    "$(sed -n 's/.*max_ms=\([0-9.]*\).*/\1/p' <<<"$stats")"
printf '| CTS change to status window box, %s flips, missed / p50 / p90 / max (ms) | %s / %s / %s / %s |\n' \
    "$(sed -n 's/.*flips=\([0-9]*\).*/\1/p' <<<"$lines")" "$(sed -n 's/.*missed=\([0-9]*\).*/\1/p' <<<"$lines")" \
    "$(sed -n 's/.*p50_ms=\([0-9.]*\).*/\1/p' <<<"$lines")" "$(sed -n 's/.*p90_ms=\([0-9.]*\).*/\1/p' <<<"$lines")" \
    "$(sed -n 's/.*max_ms=\([0-9.]*\).*/\1/p' <<<"$lines")"
printf '| Echo: one byte after a quiet second to the receive box, %s bytes, missed / p50 / p90 / max (ms) | %s / %s / %s / %s |\n' \
    "$(sed -n 's/.*bytes=\([0-9]*\).*/\1/p' <<<"$echo")" "$(sed -n 's/.*missed=\([0-9]*\).*/\1/p' <<<"$echo")" \
    "$(sed -n 's/.*p50_ms=\([0-9.]*\).*/\1/p' <<<"$echo")" "$(sed -n 's/.*p90_ms=\([0-9.]*\).*/\1/p' <<<"$echo")" \
    "$(sed -n 's/.*max_ms=\([0-9.]*\).*/\1/p' <<<"$echo")"

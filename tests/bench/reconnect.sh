#!/usr/bin/env bash
# What waiting for a lost device costs, and how soon the port is back when the device returns.
# The port is opened and its device pulled (rig.sh unplug): the CPU of the program and the
# wineserver is read over the wait, beside the same reading with the port open and idle, and the
# wineserver's alone before the program starts (the rig's other Wine processes keep it busy too),
# all in the same run (picocom has no such wait: it ends when its device goes). Then the device comes back
# (rig.sh replug) RETURNS times; each time, from the device end's appearance (its link renamed into
# place) to the program's first opening of it (the rig's fixture marks it).
#   reconnect.sh BUILD_DIR [SECONDS] [RETURNS]   (the rig's env.sh sourced; prints Markdown)
source "$(dirname "$0")/../e2e/lib.sh" "${1:?usage: reconnect.sh BUILD_DIR [SECONDS] [RETURNS]}/quenlet.exe" \
    "$1/tests/e2e/quenlet_driver.exe" >/dev/null
source "$(dirname "$0")/../soak/measure.sh"
readonly SECONDS_EACH=${2:-20} RETURNS=${3:-10}

unplugged=0
trap '((unplugged)) && "$RIG_SCRIPT" replug "$RIG" "$PORT" >/dev/null 2>&1; cleanup' EXIT
waiting() {
    driver wait-text $STATUS_LINE "^COM$PORT lost \\(.*\\), waiting for it to return" 10000 >/dev/null ||
        fail "the port does not wait for its device"
}
opened_mark() { local pts; pts=$(readlink -f "$RIG/com$PORT.dev") && echo "$RIG/lines/pts${pts##*/}.opened"; }

# What the rig's Wine costs with no program: its own processes keep the wineserver busy too.
background=$(cpu_percent_of "$SECONDS_EACH" "$(wineserver_pid)")
start_quenlet
open_port
sleep 2
idle=$(cpu_percent_over "$SECONDS_EACH")
"$RIG_SCRIPT" unplug "$RIG" "$PORT" >/dev/null || fail "unplug"
unplugged=1
waiting
sleep 1
wait_cost=$(cpu_percent_over "$SECONDS_EACH")

returns=()
for ((i = 0; i < RETURNS; i++)); do
    "$RIG_SCRIPT" replug "$RIG" "$PORT" >/dev/null || fail "replug"
    unplugged=0
    driver wait-text $STATUS_LINE "^COM$PORT, Sent/Received bytes: " 10000 >/dev/null || fail "not back"
    wait_until 2000 test -e "$(opened_mark)" || fail "no opening marked"
    returns+=("$(awk -v opened="$(stat -c %.6Y "$(opened_mark)")" -v appeared="$(stat -c %.6Z "$RIG/com$PORT.dev")" \
        'BEGIN { printf "%.1f", (opened - appeared) * 1000 }')")
    "$RIG_SCRIPT" unplug "$RIG" "$PORT" >/dev/null || fail "unplug"
    unplugged=1
    waiting
    # Some time in the wait, so that the returns fall anywhere in the retry period.
    sleep "0.$((RANDOM % 9 + 1))"
done
"$RIG_SCRIPT" replug "$RIG" "$PORT" >/dev/null || fail "replug"
unplugged=0
exit_quenlet 3000 >/dev/null

sorted=$(printf '%s\n' "${returns[@]}" | sort -n)
echo "| Figure | Seconds or returns | Quenlet (program + wineserver) | Target |"
echo "|---|---|---|---|"
echo "| No program: the wineserver alone (the rig's background) | $SECONDS_EACH | ${background}% of a core | |"
echo "| Port open, no traffic (reference) | $SECONDS_EACH | ${idle}% of a core | ≤ 0.5% |"
echo "| Port waiting for its lost device | $SECONDS_EACH | ${wait_cost}% of a core | ≤ 0.5% |"
echo "| Device back to port open: min / median / max | $RETURNS | $(head -n1 <<<"$sorted") / $(sed -n "$(((RETURNS + 1) / 2))p" <<<"$sorted") / $(tail -n1 <<<"$sorted") ms | ≤ 250 ms |"

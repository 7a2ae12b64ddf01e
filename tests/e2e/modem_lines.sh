#!/usr/bin/env bash
# The peer's CTS, DSR, RING and RLSD lines: each change shows in its box of the status window,
# on and off, one line at a time.
source "$(dirname "$0")/lib.sh" "$@"
readonly -A BOX=([CTS]=1019 [DSR]=1020 [RING]=1021 [RLSD]=1022)
readonly ORDER=(CTS DSR RING RLSD)

"$RIG_SCRIPT" lines "$RIG" $PORT || fail "cannot clear the lines"
start_quenlet
open_port
driver command $CMD_STATUS || fail "cannot post Status"
driver --in status wait-text 0 "^COM$PORT\$" 5000 >/dev/null || fail "the status window has no port caption"

expect_boxes() {
    local line
    for line in "${ORDER[@]}"; do
        local wanted=0
        [[ " $* " == *" $line "* ]] && wanted=1
        driver --in status wait-check "${BOX[$line]}" $wanted 3000 >/dev/null ||
            fail "$line box is not $wanted with lines on: ${*:-none}"
    done
}

on=()
for line in "${ORDER[@]}"; do
    on+=("$line")
    step "lines on: ${on[*]}"
    "$RIG_SCRIPT" lines "$RIG" $PORT "${on[@]}" || fail "cannot set the lines"
    expect_boxes "${on[@]}"
done
for line in "${ORDER[@]}"; do
    on=("${on[@]:1}")
    step "lines on: ${on[*]:-none}"
    "$RIG_SCRIPT" lines "$RIG" $PORT "${on[@]}" || fail "cannot set the lines"
    expect_boxes "${on[@]}"
done

exit_quenlet
expect_no_leftovers
echo PASS

#!/usr/bin/env bash
# Idle cost: the port open with no traffic and the status window shown, for SECONDS (default 60).
# Prints the CPU of the program and the wineserver together as % of one core (target < 1%).
#   idle_cost.sh QUENLET_EXE DRIVER_EXE [SECONDS]      (with the rig's env.sh sourced)
source "$(dirname "$0")/../e2e/lib.sh" "$1" "$2"
source "$(dirname "$0")/measure.sh"
readonly SECONDS_MEASURED=${3:-60}

start_quenlet
open_port
driver command $CMD_STATUS || fail "cannot show the status window"
driver --in status wait-text 0 "^COM$PORT\$" 5000 >/dev/null || fail "the status window did not show"
step "measuring for $SECONDS_MEASURED s"
percent=$(cpu_percent_over "$SECONDS_MEASURED")
echo "idle cost: port open, status window shown, ${SECONDS_MEASURED} s: program + wineserver ${percent}% of one core (target < 1%)"
exit_quenlet

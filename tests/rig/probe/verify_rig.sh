#!/usr/bin/env bash
# Proves the serial rig end to end: brings a rig up, runs serial_probe.exe against it, exercises the
# rig's own commands and the demo device, then takes the rig down again.
#   verify_rig.sh [RIGDIR]      (default: a fresh directory under /tmp; an existing prefix is reused)
# Exit code: the number of failed checks. The fixture's trace is kept in RIGDIR/fixture-trace.log.
# Predicates are called through wait_for and check, which shellcheck cannot follow.
# shellcheck disable=SC2317
set -uo pipefail

PROBE_SOURCE_DIR=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
readonly PROBE_SOURCE_DIR
readonly RIG_SH=$PROBE_SOURCE_DIR/../rig.sh
REPO_ROOT=$(cd "$PROBE_SOURCE_DIR/../../.." && pwd)
readonly REPO_ROOT
RIGDIR=$(realpath -m -- "${1:-$(mktemp -d /tmp/quenlet-rig.XXXXXX)}")
readonly RIGDIR
readonly PROBE=$RIGDIR/serial_probe.exe
failures=0

pass() { echo "PASS $*"; }
fail() { echo "FAIL $*"; failures=$((failures + 1)); }
expect() { # name actual expected
    if [[ $2 == "$3" ]]; then pass "$1 ($2)"; else fail "$1: got '$2', expected '$3'"; fi
}
section() { echo; echo "== $*"; }

wait_for() { # limit_ms command...: polls every 20 ms
    local -r limit_ms=$1; shift
    local -r start=${EPOCHREALTIME/[.,]/}
    until "$@"; do
        (( (${EPOCHREALTIME/[.,]/} - start) / 1000 < limit_ms )) || return 1
        sleep 0.02
    done
}
elapsed_ms_since() { echo $(( (${EPOCHREALTIME/[.,]/} - $1) / 1000 )); }

probe() { timeout 120 wine "$PROBE" "$@"; }
linked() { [[ -L $RIGDIR/prefix/dosdevices/com$1 ]]; }
mapped_ports() { find "$RIGDIR/prefix/dosdevices" -maxdepth 1 -name 'com*' -printf '%f ' | tr -d '\n'; }
file_has() { grep -q -- "$2" "$1" 2>/dev/null; }
file_differs_from() { [[ $(cat "$1") != "$2" ]]; }
count_at_least() { (( $(grep -c -- "$2" "$1") >= $3 )); }
check() { # name command...: passes when the command succeeds
    local -r name=$1; shift
    if "$@"; then pass "$name"; else fail "$name"; fi
}
is_symlink() { [[ -L $1 ]]; }
absent() { [[ ! -e $1 ]]; }

cleanup() { "$RIG_SH" down "$RIGDIR" >/dev/null 2>&1; }
trap cleanup EXIT

section "build"
mkdir -p "$RIGDIR"
x86_64-w64-mingw32-g++ -std=c++20 -O2 -Wall -Wextra -Werror -static -I"$REPO_ROOT" \
    -o "$PROBE" "$PROBE_SOURCE_DIR/serial_probe.cpp" || { fail "probe build"; exit 1; }
pass "serial_probe.exe built"

section "up"
export QUENLET_FIXTURE_TRACE=$RIGDIR/fixture-trace.log
rm -f "$QUENLET_FIXTURE_TRACE"
start=${EPOCHREALTIME/[.,]/}
"$RIG_SH" up "$RIGDIR" 5 || { fail "rig.sh up"; exit 1; }
pass "rig.sh up took $(elapsed_ms_since "$start") ms"
start=${EPOCHREALTIME/[.,]/}
"$RIG_SH" up "$RIGDIR" 5 2>/dev/null || fail "second rig.sh up"
pairs=0
for process in /proc/[0-9]*; do
    [[ $(cat "$process/comm" 2>/dev/null) == socat ]] &&
        tr '\0' ' ' <"$process/cmdline" 2>/dev/null | grep -q -- "$RIGDIR/com5.dev" && pairs=$((pairs + 1))
done
expect "second up: one socat pair for COM5, took $(elapsed_ms_since "$start") ms" "$pairs" 1
# shellcheck source=/dev/null
source "$RIGDIR/env.sh"
export QUENLET_FIXTURE_TRACE=$RIGDIR/fixture-trace.log
windows_rig="Z:${RIGDIR//\//\\}"
expect "no dosdevices link to a real serial port" "$(find "$RIGDIR/prefix/dosdevices" -lname '/dev/tty*' | wc -l)" 0

section "serial_probe full 5"
probe full 5 "$windows_rig"
status=$?
expect "serial_probe full exit code" "$status" 0

section "demo device through Wine"
"$RIG_SH" demo "$RIGDIR" 5 --echo || fail "demo --echo start"
probe echo 5 20000
expect "echo round trip exit code" "$?" 0
"$RIG_SH" demo "$RIGDIR" 5 --stream random --rate 0 --bytes 5000 --seed 1 >/dev/null || fail "demo stream"
"$RIG_SH" demo "$RIGDIR" 5 --toggle-lines "$RIGDIR/com5.lines" --period 50 >/dev/null || fail "demo toggle"
check "toggle-lines changes the state file" wait_for 2000 file_differs_from "$RIGDIR/com5.lines" ""
"$RIG_SH" demo-stop "$RIGDIR" 5
expect "state file restored when the demo stops" "$(cat "$RIGDIR/com5.lines")" ""
check "com5.lines is still a symlink" is_symlink "$RIGDIR/com5.lines"

section "lines command"
"$RIG_SH" lines "$RIGDIR" 5 cts RLSD
expect "lines writes the state file" "$(cat "$RIGDIR/com5.lines")" "CTS RLSD"
check "com5.lines is still a symlink" is_symlink "$RIGDIR/com5.lines"
"$RIG_SH" lines "$RIGDIR" 5 bogus 2>/dev/null
expect "lines rejects a bad name" "$?" 2
"$RIG_SH" lines "$RIGDIR" 5

section "mapping seen by a new process"
probe open 9 >/dev/null
expect "unmapped COM9" "$?" 2
"$RIG_SH" map "$RIGDIR" 9
probe open 9 >/dev/null
expect "COM9 right after map" "$?" 0
"$RIG_SH" unmap "$RIGDIR" 9
probe open 9 >/dev/null
expect "COM9 right after unmap" "$?" 2

section "mapping seen by a running process"
watch_log=$RIGDIR/watch.log
rm -f "$watch_log"
probe watch 9 6000 >"$watch_log" 2>&1 &
watch_pid=$!
wait_for 10000 file_has "$watch_log" absent || fail "watch did not start"
start=${EPOCHREALTIME/[.,]/}
"$RIG_SH" map "$RIGDIR" 9
mapped_at=$(elapsed_ms_since "$start")
if wait_for 3000 file_has "$watch_log" present; then
    pass "running process sees the new COM9 (map took ${mapped_at} ms; seen within $(elapsed_ms_since "$start") ms)"
else
    fail "running process never saw COM9 mapped"
fi
start=${EPOCHREALTIME/[.,]/}
"$RIG_SH" unmap "$RIGDIR" 9
if wait_for 3000 count_at_least "$watch_log" absent 2; then
    pass "running process sees COM9 gone (within $(elapsed_ms_since "$start") ms)"
else
    fail "running process still sees COM9"
fi
wait "$watch_pid"
sed 's/^/    /' "$watch_log"

section "with-ports"
probe_open_in() { "$RIG_SH" with-ports "$1" -- wine "$PROBE" open "$2" >/dev/null; }
probe_open_in "5 7" 7
expect "with-ports \"5 7\": COM7 opens" "$?" 0
probe_open_in "5 7" 5
expect "with-ports \"5 7\": COM5 opens" "$?" 0
probe_open_in 7 5
expect "with-ports 7: COM5 hidden" "$?" 2
probe_open_in none 5
expect "with-ports none: COM5 hidden" "$?" 2
expect "map restored afterwards" "$(mapped_ports)" "com5 "
peer_before=$(readlink "$RIGDIR/com5.peer")
"$RIG_SH" with-ports none -- sh -c 'exit 7'
expect "with-ports returns the command's code" "$?" 7
expect "hidden port keeps its pty pair" "$(readlink "$RIGDIR/com5.peer")" "$peer_before"
"$RIG_SH" with-ports 7 -- sleep 30 &
with_pid=$!
wait_for 5000 linked 7 || fail "with-ports did not map COM7"
kill -TERM "$with_pid"
wait "$with_pid"
expect "with-ports stopped by SIGTERM reports it" "$?" 143
expect "map restored after SIGTERM" "$(mapped_ports)" "com5 "
check "no pair left for COM7" absent "$RIGDIR/run/socat7.pid"

section "fixture trace"
echo "    requests on ptys, by process:"
awk '$4=="ioctl" {name=$3; sub(/\]$/, "", name); print name, $7}' "$QUENLET_FIXTURE_TRACE" |
    sort | uniq -c | sort -rn | sed 's/^/    /'
echo "    opens, claims and refusals:"
grep -v ' ioctl ' "$QUENLET_FIXTURE_TRACE" | awk '{name=$3; sub(/\]$/, "", name); $1=$2=$3=""; print name, $0}' |
    sed 's/fd=[0-9]* //; s/pts[0-9]*/ptsN/' | sort | uniq -c | sort -rn | sed 's/^/    /'
if grep -q 'open .*ttyS' "$QUENLET_FIXTURE_TRACE"; then
    fail "something tried to open a real serial port (refused): $(grep 'open .*ttyS' "$QUENLET_FIXTURE_TRACE" | head -1)"
else
    pass "nothing tried to open a real serial port"
fi

section "down"
pids=$(cat "$RIGDIR"/run/*.pid 2>/dev/null)
"$RIG_SH" down "$RIGDIR"
survivors=0
for pid in $pids; do
    # A zombie waiting for init to reap it has finished.
    state=$(awk '{print $3}' "/proc/$pid/stat" 2>/dev/null)
    [[ -n $state && $state != Z ]] && survivors=$((survivors + 1))
done
expect "processes left after down" "$survivors" 0
check "env.sh removed" absent "$RIGDIR/env.sh"

echo
echo "verify_rig: $failures failure(s)"
exit "$failures"

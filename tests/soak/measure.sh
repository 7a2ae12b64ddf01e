# CPU and memory readings of the program and the rig's wineserver, for the soak scripts.
# Source it after tests/e2e/lib.sh.

CLOCK_TICKS=$(getconf CLK_TCK)
readonly CLOCK_TICKS

# user + system CPU ticks of a process so far (0 when it is gone).
cpu_ticks() {
    local stat
    read -r stat 2>/dev/null <"/proc/$1/stat" || { echo 0; return; }
    stat=${stat##*) }
    local -a fields
    read -r -a fields <<<"$stat"
    echo $((fields[11] + fields[12]))
}

wineserver_pid() { cat "$RIG/run/wineserver.pid"; }

# Resident memory of a process in KiB.
rss_kib() { awk '/^VmRSS:/ { print $2 }' "/proc/$1/status" 2>/dev/null || echo 0; }

# CPU of the program and the wineserver together over seconds, as % of one core.
cpu_percent_over() { cpu_percent_of "$1" "$PROGRAM_PID" "$(wineserver_pid)"; }

# CPU of the given processes together over seconds, as % of one core (two decimals).
cpu_percent_of() {
    local -r seconds=$1; shift
    local pid before=0 after=0
    local -r start_ms=$(now_ms)
    for pid in "$@"; do before=$((before + $(cpu_ticks "$pid"))); done
    sleep "$seconds"
    for pid in "$@"; do after=$((after + $(cpu_ticks "$pid"))); done
    local -r elapsed_ms=$(($(now_ms) - start_ms))
    awk -v ticks=$((after - before)) -v hz="$CLOCK_TICKS" -v ms="$elapsed_ms" \
        'BEGIN { printf "%.2f", 100 * ticks / hz / (ms / 1000) }'
}

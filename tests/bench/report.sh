#!/usr/bin/env bash
# Runs every benchmark against a build and writes docs/benchmarks.md: the machine, then one table
# per benchmark. The rig must be up with COM5 (tests/rig/rig.sh up RIGDIR 5).
#   report.sh BUILD_DIR RIGDIR [OUTPUT]     default output: docs/benchmarks.md of the repository
set -uo pipefail
readonly BENCH_DIR=$(cd "$(dirname "$0")" && pwd)
readonly REPO=$(cd "$BENCH_DIR/../.." && pwd)
readonly BUILD=$(realpath "${1:?usage: report.sh BUILD_DIR RIGDIR [OUTPUT]}")
readonly RIGDIR=$(realpath "${2:?usage: report.sh BUILD_DIR RIGDIR [OUTPUT]}")
readonly OUTPUT=${3:-$REPO/docs/benchmarks.md}
[[ -f $RIGDIR/env.sh ]] || { echo "report: rig $RIGDIR is not up" >&2; exit 2; }
source "$RIGDIR/env.sh"

run() {
    local -r script=$1; shift
    echo "report: running $script" >&2
    bash "$BENCH_DIR/$script" "$BUILD" "$@" || { echo "report: $script failed" >&2; exit 1; }
}

machine() {
    echo "| Item | Value |"
    echo "|---|---|"
    echo "| Date | $(date -u '+%Y-%m-%d %H:%M UTC') |"
    echo "| CPU | $(sed -n 's/^model name[[:space:]]*: //p' /proc/cpuinfo | head -n1), $(nproc) cores available |"
    echo "| Memory | $(awk '/^MemTotal/ {printf "%.1f GiB", $2 / 1048576}' /proc/meminfo) |"
    echo "| System | $(. /etc/os-release && echo "$PRETTY_NAME"), Linux $(uname -r) |"
    echo "| Wine | $(wine --version 2>/dev/null) (wine64, private prefix, Xvfb display without window manager) |"
    echo "| Compiler | $(x86_64-w64-mingw32-g++-posix --version | head -n1) |"
    local build_type
    build_type=$(sed -n 's/^CMAKE_BUILD_TYPE:STRING=//p' "$BUILD/CMakeCache.txt")
    echo "| Build | x86_64, ${build_type:-RelWithDebInfo (project default)} |"
    echo "| Load average before the run | $LOAD_BEFORE |"
    echo "| Serial line | socat pty pair as COM5, serial fixture preloaded (tests/rig) |"
    echo "| Native reference | $(picocom --help 2>&1 | head -n1) on the same port, in a pseudo-terminal |"
}

# Other work on the machine shows in every figure; the load before the run says how much there was.
readonly LOAD_BEFORE=$(cut -d' ' -f1-3 /proc/loadavg)
ingest=$(run receive_ingest.sh)
send=$(run send_throughput.sh)
cpu=$(run cpu_cost.sh)
startup=$(run startup.sh)
trace=$(run request_trace.sh)
reconnect=$(run reconnect.sh)
network=$(run network_port.sh)
echo "report: running receive_view_bench.exe" >&2
view=$(wine "$BUILD/tests/receive_view_bench.exe" 2>&1 | tr -d '\r')

mkdir -p "$(dirname "$OUTPUT")"
cat >"$OUTPUT" <<REPORT
# Quenlet benchmarks

Written by \`tests/bench/report.sh\`; every figure comes from one run on the machine below, with the
program driven from outside by \`tests/e2e/quenlet_driver.exe\` and the far end of COM5 played by
\`tests/rig/demo_device.py\`. The line is a pseudo-terminal, so it has no baud rate: "as fast as
possible" is as fast as the pty and Wine's serial layer take the bytes. Figures on a shared
two-core machine vary from run to run by some tens of percent; each driver call is itself a Wine
process start and takes CPU while it runs.

## Machine

$(machine)

## Receive ingest

The demo device writes random bytes as fast as the pty takes them, to Quenlet and then to picocom
on the same port. Seconds run from the first byte in the capture file (picocom: its log file) until
it is complete; "exact" compares sha256 of the capture with the bytes sent (FileOnly, Ascii) or with
their "%02X " text (Hex); picocom logs the raw bytes in every mode, and its terminal output (plain,
or mapped to hex) goes to a pseudo-terminal that is read and discarded. CPU is that of Quenlet's
process and the wineserver, and of picocom's process. The WM_NULL round trips are taken for 1 s
during Quenlet's ingest (\`quenlet_driver null-roundtrip-stats\`).

$ingest

## Send throughput

1 MiB through the send box as text (62 characters and CR LF a line) and as hexadecimal digit pairs
(32 pairs and CR LF a line, 2.06 characters per byte), and a 1 MiB file. Seconds run from the
first to the last byte at the peer. The driver fills the send box in parts of at most 256 KiB
(Wine passes no more than about 1 MB in one cross-process message) and raises the box's text
limit to do so. A file goes out in 512-byte chunks with a 10 ms pause after each.

$send

## CPU cost at wire rate

25,600 B/s of random bytes (a 256,000 baud line) shown as hex and captured to a file, fed in 50 ms
bursts and as a 1 ms trickle (26 bytes a millisecond, as a UART delivers them), after 2 s to
settle; and the port open with no traffic. CPU time from /proc/PID/stat (utime + stime) as a
percentage of one core: for Quenlet of the program's process and of the wineserver, for picocom
(in hex map mode with a log file) of its process. The second table counts the changes of Quenlet's
status line over 3 s at each rate: each is one hand-over of received bytes to the window.

$cpu

## Where the receive cost goes

The same three shapes on a rig of its own whose wineserver logs every request
(\`request_trace.sh\`), counted over 5 s: the hand-overs of received bytes to the window (the
window thread taking the program's run message), the paints (WM_PAINT taken, by any window) and
timer messages, and the wineserver requests of the program's monitor thread, of its window thread
and of everything that ran. Under Wine most of the receive path's CPU time is these requests and
the thread switches they cost.

$trace

## A lost device: the wait and the return

The port is opened and its pair pulled (\`rig.sh unplug\`): the program waits for the device and
tries it again every 100 ms. CPU of the program's process and the wineserver over the wait, beside
the port open and idle and the wineserver alone before the program starts (the rig's other Wine
processes keep it busy too), all in one run; picocom has no such wait (it ends when its device
goes). Then the device comes back (\`rig.sh replug\`) ten times, at random moments of the retry
period: the time from the device end's appearance to the program's first opening of it, from the
file times the rig leaves (the device link renamed into place, the fixture's mark of the first
opening).

$reconnect

## A port on a serial server

The launcher's bridge (\`linux/serial_bridge.py\`) brings the RFC 2217 port of a real ser2net on
127.0.0.1 in as COM7; behind ser2net is a pty pair whose far end the demo device feeds with the
1 ms trickle of the CPU table above (25,600 B/s of random bytes), shown as hex and captured. The
same feed on the rig's own COM5 is the local figure; picocom runs on each path in turn. CPU over
15 s after 2 s to settle, all in one run; "Bytes/s shown" is how fast the capture grew. On a real
bench ser2net runs on the server, not on the engineer's machine.

$network

## Start-up and idle responsiveness

Launch to visible window is timed inside Wine from CreateProcess until the main window is
visible; it includes the probe of COM1 to COM255 for the default port (one port, COM5, exists).
The CTS line is then flipped 20 times through the rig's line state file while the status window is
shown; the delay runs until its CTS box shows the new state (polled every millisecond). The echo
is one byte written at the far end after a quiet second, 50 times, until the receive box holds it
(its length polled every millisecond).

$startup

## Receive view append cost

\`receive_view_bench.exe\` (built with the tests): a worker thread hands reads of four 1023-byte
chunks to the window thread in one call each; the window thread appends each chunk as hex text to
the receive box. "append" is the view's own time per chunk on the window thread, "round trip" the
whole hand-over as the worker sees it; the paints are the view's own. The system's edit box is
shown for comparison.

\`\`\`
$view
\`\`\`
REPORT
echo "report: wrote $OUTPUT" >&2

#!/usr/bin/env python3
"""A stand-in serial device on the far end of a rig port (RIGDIR/comN.peer).

  demo_device.py --echo PEER                      send back everything received
  demo_device.py --stream lines|random PEER       send text lines or random bytes
        [--rate BYTES_PER_S] (0 = as fast as the port takes them) [--bytes N] [--seed S]
        [--burst-ms MS] (with --rate: what is due goes out every MS, e.g. 50 ms bursts or a
        1 ms trickle; 0 = as soon as a byte is due)
  demo_device.py --toggle-lines STATEFILE [--period MS] PEER
        step the port's input lines (CTS DSR RING RLSD) one change per period
  demo_device.py --record FILE [--expect N] PEER  append everything received to FILE; once N
        bytes are in, print their count, first-to-last-byte time and sha256
  --save-sent FILE keeps a copy of the stream; a finished stream prints its byte count and sha256.
  --line-baud BAUD [--frame-bits N] (default 10, i.e. 8N1) paces everything it sends (--stream or
        --echo) to a serial line at BAUD: a byte goes out only once a UART at that rate would have
        finished sending it, so the port never receives faster than the line (with --rate, the
        slower of the two wins).
The modes combine: --echo --toggle-lines ... echoes and toggles. Prints one status line when it
starts; SIGTERM or SIGINT stops it cleanly (a toggled state file gets its old content back).
Only the standard library: it runs on any Python 3.
"""

import argparse
import errno
import hashlib
import os
import random
import select
import signal
import sys
import termios
import time
import tty

LINE_NAMES = ("CTS", "DSR", "RING", "RLSD")
CHUNK = 4096
# A paced line hands over what is due at most this often, so a fast line costs no wake-up per byte.
PACED_MIN_WAIT = 0.001


class Stop(Exception):
    """Raised from the signal handler so a blocked wait ends at once."""


STOP_SIGNALS = {signal.SIGTERM, signal.SIGINT}


def on_signal(signum, _frame):
    raise Stop(signum)


def open_peer(path):
    fd = os.open(path, os.O_RDWR | os.O_NOCTTY | os.O_NONBLOCK)
    # The rig creates the pty raw already; a reused or hand-made one may not be.
    tty.setraw(fd, termios.TCSANOW)
    discard_stale_input(fd)
    return fd


def discard_stale_input(fd, quiet=0.05, limit=2.0):
    """Drops what an earlier user of the port left on its way here, until the line is quiet."""
    termios.tcflush(fd, termios.TCIFLUSH)
    deadline = time.monotonic() + limit
    while time.monotonic() < deadline:
        readable, _, _ = select.select([fd], [], [], quiet)
        if not readable:
            return
        try:
            os.read(fd, CHUNK)
        except OSError as error:
            if error.errno != errno.EAGAIN:
                raise


class LineToggler:
    """Walks a 4-bit Gray code over the input lines: exactly one line changes per step."""

    def __init__(self, state_file, period_ms):
        # Replace the file a comN.lines symlink points at, not the symlink itself.
        self.path = os.path.realpath(state_file)
        self.period = period_ms / 1000.0
        self.step = 0
        self.next_time = time.monotonic() + self.period
        try:
            with open(self.path, encoding="ascii") as state:
                self.original = state.read()
        except OSError:
            self.original = None

    def write(self, text):
        temporary = "%s.demo.%d" % (self.path, os.getpid())
        with open(temporary, "w", encoding="ascii") as state:
            state.write(text)
        os.replace(temporary, self.path)  # atomic: the fixture never reads half a state

    def due_in(self, now):
        return max(0.0, self.next_time - now)

    def tick(self, now):
        if now < self.next_time:
            return
        self.step += 1
        gray = self.step ^ (self.step >> 1)
        self.write(" ".join(n for i, n in enumerate(LINE_NAMES) if gray & (1 << i)) + "\n")
        self.next_time += self.period
        if self.next_time < now:  # fell behind (suspended): do not burst
            self.next_time = now + self.period

    def restore(self):
        if self.original is None:
            self.write("\n")
        else:
            self.write(self.original)


class Stream:
    """Produces the outgoing byte stream at a given rate (0 = unlimited)."""

    def __init__(self, kind, rate, total, seed, burst_ms=0):
        self.kind = kind
        self.rate = rate
        self.burst = burst_ms / 1000.0
        self.remaining = total  # None = endless
        self.random = random.Random(seed)
        self.line_number = 0
        self.line_text = b""
        self.pending = b""
        self.sent = 0
        self.start = time.monotonic()
        self.next_burst = self.start
        self.digest = hashlib.sha256()
        self.reported = False

    def finished(self):
        return self.remaining == 0 and not self.pending

    def allowance(self, now):
        if self.rate <= 0:
            return CHUNK
        if self.burst > 0 and now < self.next_burst:
            return 0
        return int((now - self.start) * self.rate) - self.sent

    def due_in(self, now):
        if self.rate <= 0 or self.allowance(now) > 0:
            return 0.0
        if self.burst > 0:
            return max(0.0, self.next_burst - now)
        return (self.sent + 1) / self.rate - (now - self.start)

    def produce(self, size):
        if self.kind == "random":
            return self.random.randbytes(size)
        # Lines are cut wherever the rate allows; the next chunk continues the same line.
        while len(self.line_text) < size:
            self.line_number += 1
            self.line_text += b"line %06d the quick brown fox jumps over the lazy dog\r\n" % self.line_number
        chunk, self.line_text = self.line_text[:size], self.line_text[size:]
        return chunk

    def next_chunk(self, now):
        """Bytes that may go out now (kept until written)."""
        if not self.pending:
            size = min(CHUNK, max(0, self.allowance(now)))
            if self.remaining is not None:
                size = min(size, self.remaining)
            if size > 0:
                self.pending = self.produce(size)
                if self.remaining is not None:
                    self.remaining -= len(self.pending)
                if self.burst > 0:
                    # The next burst is one period on; after a late one, one period from now.
                    self.next_burst += self.burst
                    if self.next_burst <= now:
                        self.next_burst = now + self.burst
        return self.pending

    def written(self, count):
        self.digest.update(self.pending[:count])
        self.pending = self.pending[count:]
        self.sent += count


class LinePacer:
    """Keeps what is sent behind a serial line's time: byte n of data ready at time t may go out
    once the line, busy with what went before, has had time to send it."""

    def __init__(self, baud, frame_bits):
        self.byte_time = frame_bits / baud
        self.line_free = 0.0  # when the line has sent everything handed over so far

    def start(self, ready_at):
        return max(self.line_free, ready_at)

    def allowance(self, now, ready_at):
        return max(0, int((now - self.start(ready_at)) / self.byte_time + 1e-9))

    def due_in(self, now, ready_at):
        return max(PACED_MIN_WAIT, self.start(ready_at) + self.byte_time - now)

    def sent(self, count, ready_at):
        self.line_free = self.start(ready_at) + count * self.byte_time


class Recorded:
    """Counts and digests what the record file receives until the expected amount is in."""

    def __init__(self, expected):
        self.expected = expected
        self.count = 0
        self.first = None
        self.digest = hashlib.sha256()

    def add(self, data, now):
        if self.count >= self.expected:
            return
        if self.first is None:
            self.first = now
        self.count += len(data)
        self.digest.update(data)
        if self.count >= self.expected:
            elapsed = now - self.first
            print("demo_device: recorded %d bytes in %.3f s (first to last byte) sha256 %s"
                  % (self.count, elapsed, self.digest.hexdigest()), flush=True)


def report_stream(stream, now):
    """One line per finished stream: what went out, how fast, and its digest."""
    if stream.reported:
        return
    elapsed = max(now - stream.start, 1e-9)
    print("demo_device: sent %d bytes in %.3f s (%.0f B/s) sha256 %s"
          % (stream.sent, elapsed, stream.sent / elapsed, stream.digest.hexdigest()), flush=True)
    stream.reported = True


def run(arguments):
    fd = open_peer(arguments.peer)
    toggler = LineToggler(arguments.toggle_lines, arguments.period) if arguments.toggle_lines else None
    stream = None
    if arguments.stream:
        stream = Stream(arguments.stream, arguments.rate, arguments.bytes, arguments.seed, arguments.burst_ms)
    echo_backlog = b""
    # Unbuffered: whoever watches the files sees each read, and each write, as soon as it happened.
    record = open(arguments.record, "ab", buffering=0) if arguments.record else None
    saved = open(arguments.save_sent, "wb", buffering=0) if arguments.save_sent else None
    recorded = Recorded(arguments.expect) if record and arguments.expect else None
    pacer = LinePacer(arguments.line_baud, arguments.frame_bits) if arguments.line_baud else None
    ready_at = None  # when the bytes now waiting to go out became ready

    modes = []
    if arguments.echo:
        modes.append("echo")
    if stream:
        modes.append("stream %s at %s" % (arguments.stream,
                                          "%d B/s" % arguments.rate if arguments.rate > 0 else "full speed"))
        if arguments.rate > 0 and arguments.burst_ms > 0:
            modes.append("every %d ms" % arguments.burst_ms)
    if record:
        modes.append("recording to %s" % arguments.record)
    if toggler:
        modes.append("toggling lines in %s every %d ms" % (toggler.path, arguments.period))
    if pacer:
        modes.append("paced to a %d baud line (%g bits a byte)" % (arguments.line_baud, arguments.frame_bits))
    print("demo_device: %s on %s (pid %d)" % (", ".join(modes), arguments.peer, os.getpid()), flush=True)

    try:
        while True:
            now = time.monotonic()
            if toggler:
                toggler.tick(now)
            outgoing = echo_backlog or (stream.next_chunk(now) if stream else b"")
            if stream and stream.finished() and not echo_backlog and not record:
                report_stream(stream, time.monotonic())
                return 0  # socat holds the pty open: what was written still reaches the port
            if not outgoing:
                ready_at = None
            elif ready_at is None:
                ready_at = now
            # What the line has had time to send; the rest waits.
            sendable = outgoing[:pacer.allowance(now, ready_at)] if pacer and outgoing else outgoing

            timeout = 1.0
            if toggler:
                timeout = min(timeout, toggler.due_in(now))
            if stream and not outgoing and not stream.finished():
                timeout = min(timeout, stream.due_in(now))
            if outgoing and not sendable:
                timeout = min(timeout, pacer.due_in(now, ready_at))
            readable, writable, _ = select.select([fd], [fd] if sendable else [], [], timeout)

            if readable:
                # Likewise a read and its record.
                signal.pthread_sigmask(signal.SIG_BLOCK, STOP_SIGNALS)
                try:
                    try:
                        data = os.read(fd, CHUNK)
                    except OSError as error:
                        if error.errno == errno.EAGAIN:
                            data = b""
                        else:
                            raise
                    if arguments.echo:
                        echo_backlog += data
                    if record and data:
                        record.write(data)
                finally:
                    signal.pthread_sigmask(signal.SIG_UNBLOCK, STOP_SIGNALS)
                if recorded and data:
                    recorded.add(data, time.monotonic())
            if writable and sendable:
                # A stop must not fall between a write and its record: the saved copy and the
                # digest always hold exactly what went out.
                signal.pthread_sigmask(signal.SIG_BLOCK, STOP_SIGNALS)
                try:
                    try:
                        count = os.write(fd, sendable)
                    except OSError as error:
                        if error.errno != errno.EAGAIN:
                            raise
                        count = 0
                    if pacer:
                        pacer.sent(count, ready_at)
                    if echo_backlog:
                        echo_backlog = echo_backlog[count:]
                    else:
                        if saved:
                            saved.write(outgoing[:count])
                        stream.written(count)
                finally:
                    signal.pthread_sigmask(signal.SIG_UNBLOCK, STOP_SIGNALS)
                if not echo_backlog and stream and stream.finished():
                    report_stream(stream, time.monotonic())
    except Stop:
        return 0
    except OSError as error:
        # EIO: the rig's socat pair went away.
        print("demo_device: %s: %s" % (arguments.peer, error), file=sys.stderr)
        return 1
    finally:
        if toggler:
            toggler.restore()
        for output in (record, saved):
            if output:
                output.close()
        os.close(fd)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("peer", help="far end of the port, e.g. RIGDIR/com5.peer")
    parser.add_argument("--echo", action="store_true", help="send back everything received")
    parser.add_argument("--stream", choices=("lines", "random"), help="send a byte stream")
    parser.add_argument("--rate", type=int, default=0, help="stream bytes per second (0 = as fast as possible)")
    parser.add_argument("--burst-ms", type=int, default=0, help="with --rate: send what is due every MS")
    parser.add_argument("--bytes", type=int, default=None, help="stop after this many stream bytes")
    parser.add_argument("--seed", type=int, default=None, help="seed for --stream random")
    parser.add_argument("--toggle-lines", metavar="STATEFILE", help="the port's line state file (RIGDIR/comN.lines)")
    parser.add_argument("--record", metavar="FILE", help="append every byte received to FILE")
    parser.add_argument("--expect", type=int, default=None, help="with --record: report once N bytes are in")
    parser.add_argument("--save-sent", metavar="FILE", help="write a copy of the stream's bytes to FILE")
    parser.add_argument("--period", type=int, default=500, help="milliseconds between line changes")
    parser.add_argument("--line-baud", type=int, default=0, metavar="BAUD",
                        help="pace everything sent to a serial line at BAUD")
    parser.add_argument("--frame-bits", type=float, default=None, metavar="N",
                        help="with --line-baud: bits a byte takes on the line (start, data, parity, stop;"
                             " default 10)")
    arguments = parser.parse_args()
    if not (arguments.echo or arguments.stream or arguments.toggle_lines or arguments.record):
        parser.error("choose --echo, --stream, --record and/or --toggle-lines")
    if arguments.save_sent and not arguments.stream:
        parser.error("--save-sent needs --stream")
    if arguments.echo and arguments.stream:
        parser.error("--echo and --stream both send; choose one")
    if arguments.period <= 0 or arguments.rate < 0 or arguments.burst_ms < 0 or (arguments.bytes is not None and arguments.bytes < 0):
        parser.error("--period must be positive, --rate, --burst-ms and --bytes not negative")
    if arguments.frame_bits is not None and not arguments.line_baud:
        parser.error("--frame-bits needs --line-baud")
    if arguments.frame_bits is None:
        arguments.frame_bits = 10
    if arguments.line_baud < 0 or not 7 <= arguments.frame_bits <= 12:
        parser.error("--line-baud must not be negative, --frame-bits 7 to 12 (start, 5-8 data, parity, stop)")

    signal.signal(signal.SIGTERM, on_signal)
    signal.signal(signal.SIGINT, on_signal)
    return run(arguments)


if __name__ == "__main__":
    sys.exit(main())

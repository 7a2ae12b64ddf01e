#!/usr/bin/python3
"""Brings one port of a serial server (ser2net and the like) in as a COM end of the Wine prefix.

  serial_bridge.py --url rfc2217://HOST:PORT|tcp://HOST:PORT --name COMn
                   --rig-dir DIR --link PATH [--parent PID]

While the server answers, the COM end is a pty whose path PATH (a symlink) points to, marked for
the serial fixture by DIR/lines/pts<N>. Everything written on the COM end goes to the server and
everything the server sends comes out of it, byte for byte. With rfc2217:// (pyserial's RFC 2217
client) the line settings the program sets (the fixture's DIR/lines/pts<N>.line) and its output
lines DTR and RTS (DIR/lines/pts<N>.out) go to the server, and the remote modem lines come back
into DIR/lines/pts<N>. With tcp:// (pyserial's socket:// handler) only the bytes pass.

A dropped connection is a lost device: the pty closes (the program's handle fails) and PATH goes
away until the server answers again, then a new pty appears at PATH. What the bridge has to say
goes to stdout as "quenlet: COMn: ...", once per event. SIGTERM or SIGINT ends it cleanly.
Runs under Debian's /usr/bin/python3 with python3-serial.
"""

import argparse
import ctypes
import fcntl
import os
import queue
import select
import signal
import socket
import sys
import termios
import threading
import time
import tty
import urllib.parse

import serial
import serial.rfc2217
from serial.urlhandler import protocol_socket

# A server that refuses the connection or is not there yet is asked again this often.
RETRY_SECONDS = 0.5
# A connection must stay up this long before the COM end appears, so a server that accepts and
# at once hangs up (ser2net's "Device open failure") does not make the port flicker.
GRACE_SECONDS = 0.3
# Telnet and RFC 2217 answers are awaited this long (pyserial's own default).
NETWORK_TIMEOUT = 3
# After the connection ends, what it brought is still handed to the program for this long.
DRAIN_SECONDS = 2.0
CHUNK = 65536

MODEM_WORDS = (
    (serial.rfc2217.MODEMSTATE_MASK_CTS, "CTS"),
    (serial.rfc2217.MODEMSTATE_MASK_DSR, "DSR"),
    (serial.rfc2217.MODEMSTATE_MASK_RI, "RING"),
    (serial.rfc2217.MODEMSTATE_MASK_CD, "RLSD"),
)
PARITIES = {
    "N": serial.PARITY_NONE, "O": serial.PARITY_ODD, "E": serial.PARITY_EVEN,
    "M": serial.PARITY_MARK, "S": serial.PARITY_SPACE,
}
STOP_BITS = {"1": serial.STOPBITS_ONE, "1.5": serial.STOPBITS_ONE_POINT_FIVE, "2": serial.STOPBITS_TWO}
FLOWS = ("none", "rtscts", "xonxoff")
# What a port starts with until the program sets its own: the Windows default.
DEFAULT_LINE = (9600, 8, "N", "1", "none")


class Stop(Exception):
    """Raised from the signal handler so a blocked wait ends at once."""


def on_signal(signum, _frame):
    raise Stop(signum)


def say(name, text):
    print("quenlet: {}: {}".format(name, text), flush=True)


def parse_line_settings(text):
    """BAUD DATABITS PARITY STOPBITS FLOW, as the fixture writes them; None if it is not that."""
    words = text.split()
    if len(words) != 5:
        return None
    baud, databits, parity, stopbits, flow = words
    if not baud.isdigit() or not 0 < int(baud) < 2 ** 32 or databits not in ("5", "6", "7", "8"):
        return None
    if parity.upper() not in PARITIES or stopbits not in STOP_BITS or flow.lower() not in FLOWS:
        return None
    return (int(baud), int(databits), parity.upper(), stopbits, flow.lower())


def parse_output_lines(text):
    words = {word.upper() for word in text.replace(",", " ").split()}
    return ("DTR" in words, "RTS" in words)


class Rfc2217Link(serial.rfc2217.Serial):
    """pyserial's RFC 2217 client, told what the bridge needs: whether the server takes control of
    the port (a telnet server without RFC 2217 refuses it; then the port goes on as raw over
    telnet), each modem-state notification as it comes, and the received bytes in chunks."""

    def __init__(self, *args, **kwargs):
        self.on_event = None
        self.remote_control = None
        self.telnet_answered = False
        self.hung_up = False
        self.refused_lines = set()
        # Lines an earlier connection to the same server found refused: not awaited again.
        self.known_refused_lines = set()
        self.refused_settings = []
        self._ended = False
        super().__init__(*args, **kwargs)

    def open(self):
        self.remote_control = None
        self.telnet_answered = False
        self.hung_up = False
        self.refused_lines = set(self.known_refused_lines)
        self.refused_settings = []
        self._ended = False
        super().open()
        # Ask for every modem-line change explicitly: ser2net now and then starts a connection
        # without reporting the modem lines at all (no first notification, no later ones) unless
        # the client sets the mask itself, which the library does not.
        if self.remote_control:
            self.rfc2217_send_subnegotiation(serial.rfc2217.SET_MODEMSTATE_MASK, b"\xff")
        # Blocking sends from here on: a server that holds back for a while is flow control, not
        # a failure (the library's 5 s connect timeout would otherwise stay on every send).
        self._socket.settimeout(None)
        keep_alive(self._socket)

    def _telnet_negotiate_option(self, command, option):
        self.telnet_answered = True
        super()._telnet_negotiate_option(command, option)

    def _telnet_process_subnegotiation(self, suboption):
        super()._telnet_process_subnegotiation(suboption)
        notify = serial.rfc2217.COM_PORT_OPTION + serial.rfc2217.SERVER_NOTIFY_MODEMSTATE
        if suboption[:2] == notify and self.on_event is not None:
            self.on_event()

    def _telnet_read_loop(self):
        # The end of the connection is news even while the program is not reading.
        try:
            super()._telnet_read_loop()
        finally:
            # close() clears is_open before it shuts the socket: anything else is the server.
            self.hung_up = self.is_open
            if self.on_event is not None:
                self.on_event()

    def ended(self):
        return self._thread is not None and not self._thread.is_alive()

    def _reconfigure_port(self):
        # The first call comes from open(), once the telnet options are settled.
        if self.remote_control is None:
            self.remote_control = any(option.name == "we-RFC2217" and option.active
                                      for option in self._telnet_options)
        self.refused_settings = self._send_settings() if self.remote_control else []

    def _send_settings(self):
        """pyserial's own settings exchange; what the server did not take is returned rather than
        raised, so one refused value neither fails the open nor keeps the rest back."""
        flow = "rtscts" if self._rtscts else "xonxoff" if self._xonxoff else "none"
        try:
            super()._reconfigure_port()
            return []
        except ValueError:
            refused = [name for name, item in self._rfc2217_port_settings.items()
                       if item.state == serial.rfc2217.REALLY_INACTIVE]
            if not refused:
                return ["flow control " + flow]
        except serial.SerialException as error:
            if self.ended():
                raise
            return ["the line settings ({})".format(error)]
        # A setting was refused before the flow preset went out: that goes on its own.
        try:
            self.rfc2217_set_control({"rtscts": serial.rfc2217.SET_CONTROL_USE_HW_FLOW_CONTROL,
                                      "xonxoff": serial.rfc2217.SET_CONTROL_USE_SW_FLOW_CONTROL,
                                      "none": serial.rfc2217.SET_CONTROL_USE_NO_FLOW_CONTROL}[flow])
        except (ValueError, serial.SerialException):
            if self.ended():
                raise
            refused.append("flow control " + flow)
        parity = next(key for key, value in PARITIES.items() if value == self._parity)
        stop = next(key for key, value in STOP_BITS.items() if value == self._stopbits)
        names = {"baudrate": "baud rate {}".format(self._baudrate),
                 "datasize": "{} data bits".format(self._bytesize),
                 "parity": "parity {}".format(parity), "stopsize": "{} stop bits".format(stop)}
        return [names.get(name, name) for name in refused]

    def _update_dtr_state(self):
        self._update_output_line("DTR", super()._update_dtr_state)

    def _update_rts_state(self):
        self._update_output_line("RTS", super()._update_rts_state)

    def _update_output_line(self, name, update):
        # A device without modem control (a pty, some adapters) leaves the server silent: that
        # line is given up for this connection instead of failing the open or every change.
        if not self.remote_control or name in self.refused_lines:
            return
        try:
            update()
        except (ValueError, serial.SerialException):
            if self.ended():
                raise
            self.refused_lines.add(name)

    def _update_break_state(self):
        if self.remote_control:
            super()._update_break_state()

    def rfc2217_send_purge(self, value):
        if self.remote_control:
            super().rfc2217_send_purge(value)

    def received_so_far(self):
        """Bytes waiting in the library's buffer (after a failed open, what the server said)."""
        data = bytearray()
        while self._read_buffer is not None:
            try:
                item = self._read_buffer.get_nowait()
            except queue.Empty:
                break
            if item is not None:
                data += item
        return bytes(data)

    def stayed_up(self, seconds):
        """Waits up to SECONDS; false if the connection ended meanwhile."""
        self._thread.join(seconds)
        return self._thread.is_alive()

    def receive(self):
        """The next bytes from the server, waiting for them; b"" once the connection has ended
        and everything before the end has been returned."""
        if self._ended:
            return b""
        data = bytearray()
        item = self._read_buffer.get()
        while True:
            if item is None:
                self._ended = True
                break
            data += item
            try:
                item = self._read_buffer.get_nowait()
            except queue.Empty:
                break
        return bytes(data)

    def configure(self, line):
        """Sends the line settings; returns what the server did not take."""
        baud, databits, parity, stopbits, flow = line
        self._baudrate, self._bytesize, self._parity = baud, databits, PARITIES[parity]
        self._stopbits = STOP_BITS[stopbits]
        self._rtscts, self._xonxoff = flow == "rtscts", flow == "xonxoff"
        try:
            self._reconfigure_port()
        except serial.SerialException:
            # The connection ended meanwhile: that is reported as such, not as a refusal.
            return []
        return self.refused_settings

    def set_output_lines(self, dtr, rts):
        """Sends DTR and RTS; returns the lines the server does not take."""
        if self.dtr != dtr:
            self.dtr = dtr
        if self.rts != rts:
            self.rts = rts
        return sorted(self.refused_lines)

    def modem_words(self):
        state = self._modemstate or 0
        return " ".join(word for mask, word in MODEM_WORDS if state & mask)

    def stop(self):
        # Shutting the socket down ends the library's reader thread, which ends receive().
        shut_down(self._socket)
        self.close()


class RawLink(protocol_socket.Serial):
    """pyserial's socket:// handler; the bytes are read here in chunks straight off its socket."""

    def __init__(self, *args, **kwargs):
        self.pending = b""
        self.on_event = None
        self.remote_control = False
        self.refused_lines = set()
        super().__init__(*args, **kwargs)

    def open(self):
        self.pending = b""
        super().open()
        keep_alive(self._socket)

    def stayed_up(self, seconds):
        """Waits up to SECONDS; false if the server hung up meanwhile. What it sent is kept."""
        deadline = time.monotonic() + seconds
        while True:
            left = deadline - time.monotonic()
            if left <= 0:
                return True
            readable, _, _ = select.select([self._socket], [], [], left)
            if readable:
                data = self._recv()
                if not data:
                    return False
                self.pending += data

    def _recv(self):
        try:
            return self._socket.recv(CHUNK)
        except (BlockingIOError, InterruptedError):
            return None
        except OSError:
            return b""

    def received_so_far(self):
        return self.pending

    def receive(self):
        if self.pending:
            data, self.pending = self.pending, b""
            return data
        while True:
            sock = self._socket
            if sock is None:
                return b""
            try:
                select.select([sock], [], [])
            except (OSError, ValueError):
                return b""
            data = self._recv()
            if data is not None:
                return data

    def ended(self):
        # Seen by the pump, which reads the socket itself.
        return False

    def configure(self, line):
        return []

    def set_output_lines(self, dtr, rts):
        return []

    def modem_words(self):
        return ""

    def stop(self):
        # A receive() waiting in select() wakes to the shut-down socket.
        shut_down(self._socket)
        self.close()


def shut_down(sock):
    """Ends both directions of SOCK (None once closed), whatever state it is in."""
    if sock is not None:
        try:
            sock.shutdown(socket.SHUT_RDWR)
        except OSError:
            pass


def keep_alive(sock):
    """A server that vanishes without a word (cable, power) is noticed within about 25 s."""
    sock.setsockopt(socket.SOL_SOCKET, socket.SO_KEEPALIVE, 1)
    sock.setsockopt(socket.IPPROTO_TCP, socket.TCP_KEEPIDLE, 10)
    sock.setsockopt(socket.IPPROTO_TCP, socket.TCP_KEEPINTVL, 5)
    sock.setsockopt(socket.IPPROTO_TCP, socket.TCP_KEEPCNT, 3)


class DirectoryWatch:
    """Tells when files in a directory were written or renamed into place: inotify where the
    system gives an instance, else a look every 0.1 s."""

    IN_CLOSE_WRITE = 0x008
    IN_MOVED_TO = 0x080
    POLL_SECONDS = 0.1

    def __init__(self, path):
        self.fd = -1
        libc = ctypes.CDLL(None, use_errno=True)
        fd = libc.inotify_init1(os.O_NONBLOCK | os.O_CLOEXEC)
        if fd < 0:
            self.problem = os.strerror(ctypes.get_errno())
            return
        if libc.inotify_add_watch(fd, os.fsencode(path), self.IN_CLOSE_WRITE | self.IN_MOVED_TO) < 0:
            self.problem = os.strerror(ctypes.get_errno())
            os.close(fd)
            return
        self.fd = fd
        self.problem = None

    def timeout(self):
        return None if self.fd >= 0 else self.POLL_SECONDS

    def drain(self):
        """Reads the pending events (their names do not matter: the caller compares contents)."""
        if self.fd < 0:
            return
        while True:
            try:
                if not os.read(self.fd, 4096):
                    return
            except BlockingIOError:
                return


def read_text(path):
    try:
        with open(path, encoding="ascii", errors="replace") as handle:
            return handle.read()
    except FileNotFoundError:
        return None


def write_atomically(path, text):
    temporary = "{}.{}.tmp".format(path, os.getpid())
    with open(temporary, "w", encoding="ascii") as handle:
        handle.write(text)
    os.replace(temporary, path)


def remove(path):
    try:
        os.unlink(path)
    except FileNotFoundError:
        pass


class ComEnd:
    """The pty the program opens, published at the stable path while it exists."""

    def __init__(self, rig_dir, link):
        self.master, self.slave = os.openpty()
        # Raw both ways; the program sets its own modes when it opens the port.
        tty.setraw(self.slave, termios.TCSANOW)
        os.set_blocking(self.master, False)
        for fd in (self.master, self.slave):
            fcntl.fcntl(fd, fcntl.F_SETFD, fcntl.FD_CLOEXEC)
        self.path = os.ttyname(self.slave)
        self.index = int(self.path.rsplit("/", 1)[1])
        base = os.path.join(rig_dir, "lines", "pts{}".format(self.index))
        self.lines_file, self.out_file, self.line_file = base, base + ".out", base + ".line"
        # The fixture's mark of a first opening (one of a new pty keeps what arrived before it).
        self.opened_file = base + ".opened"
        self.link = link
        status = os.fstat(self.slave)
        # How /proc/locks names this pty (the fixture's claim is a flock on it).
        self.lock_key = "{:02x}:{:02x}:{}".format(os.major(status.st_dev), os.minor(status.st_dev),
                                                  status.st_ino)

    def publish(self, modem_words):
        # Whatever an earlier pty of this number left is not this port's.
        remove(self.out_file)
        remove(self.line_file)
        remove(self.opened_file)
        write_atomically(self.lines_file, modem_words + "\n")
        temporary = "{}.{}.tmp".format(self.link, os.getpid())
        remove(temporary)
        os.symlink(self.path, temporary)
        os.replace(temporary, self.link)

    def claimed(self):
        """Whether a program holds the port open (the fixture's exclusive claim)."""
        try:
            with open("/proc/locks", encoding="ascii") as locks:
                return any(self.lock_key in line.split() for line in locks)
        except OSError:
            return True

    def close(self):
        # The path goes first, so a reopen finds no port rather than the dying one.
        if os.path.islink(self.link) and os.readlink(self.link) == self.path:
            remove(self.link)
        os.close(self.master)
        os.close(self.slave)
        for path in (self.lines_file, self.out_file, self.line_file, self.opened_file):
            remove(path)


class Bridge:
    def __init__(self, arguments):
        self.name = arguments.name
        self.url = arguments.url
        self.rig_dir = arguments.rig_dir
        self.link = arguments.link
        scheme, _, self.host_port = self.url.partition("://")
        self.rfc2217 = scheme == "rfc2217"
        self.line = DEFAULT_LINE
        self.output_lines = (False, False)
        self.said = set()
        self.waiting_reason = None
        self.went_raw = False
        self.refused_lines = set()
        self.wake_read, self.wake_write = os.pipe2(os.O_NONBLOCK | os.O_CLOEXEC)
        self.watch = DirectoryWatch(os.path.join(self.rig_dir, "lines"))
        if self.watch.problem:
            say(self.name, "no inotify here ({}): the line settings are looked up every {} s".format(
                self.watch.problem, DirectoryWatch.POLL_SECONDS))

    def say_once(self, key, text):
        if key not in self.said:
            self.said.add(key)
            say(self.name, text)

    def wake(self):
        try:
            os.write(self.wake_write, b"!")
        except BlockingIOError:
            pass

    def new_link(self):
        if self.rfc2217 and not self.went_raw:
            link = Rfc2217Link(None)
            link.port = "rfc2217://{}?timeout={}".format(self.host_port, NETWORK_TIMEOUT)
        else:
            link = RawLink(None)
            link.port = "socket://{}".format(self.host_port)
        link.baudrate, link.bytesize = self.line[0], self.line[1]
        link.parity, link.stopbits = PARITIES[self.line[2]], STOP_BITS[self.line[3]]
        link.rtscts, link.xonxoff = self.line[4] == "rtscts", self.line[4] == "xonxoff"
        # A new COM end is not open yet: DTR and RTS low, as a UART's after close.
        self.output_lines = (False, False)
        link.dtr, link.rts = self.output_lines
        link.on_event = self.wake
        link.known_refused_lines = set(self.refused_lines)
        return link

    def wait_for_server(self, reason):
        if reason != self.waiting_reason:
            self.waiting_reason = reason
            say(self.name, "{} does not answer ({}): {} appears once it does".format(
                self.url, reason, self.name))
        time.sleep(RETRY_SECONDS)

    def connect(self):
        """An open link that has stayed up through the grace period."""
        while True:
            link = self.new_link()
            try:
                link.open()
            except (serial.SerialException, OSError) as error:
                said = printable(link.received_so_far())
                if isinstance(link, Rfc2217Link) and not link.telnet_answered and not link.hung_up \
                        and "support RFC2217" in str(error):
                    # Not a telnet server at all (its negotiation went to the device as bytes).
                    self.went_raw = True
                    say(self.name, "{} gives no telnet answer within {} s: {} goes on as raw TCP; the "
                        "line settings and modem lines stay with the server".format(
                            self.url, NETWORK_TIMEOUT, self.name))
                    continue
                self.wait_for_server(describe(error) + (": " + said if said else ""))
                continue
            if not link.stayed_up(GRACE_SECONDS):
                said = printable(link.received_so_far())
                link.stop()
                self.wait_for_server("it hangs up at once" + (": " + said if said else ""))
                continue
            return link

    def run(self):
        first = True
        while True:
            link = self.connect()
            if first:
                say(self.name, "connected to {}".format(self.url))
            else:
                say(self.name, "{} answers again: {} is back".format(self.url, self.name))
            first = False
            self.waiting_reason = None
            if isinstance(link, Rfc2217Link) and not link.remote_control:
                self.say_once("refused", "{} refuses remote control of the port (RFC 2217): {} goes on "
                              "as raw; the line settings and modem lines stay with the server".format(
                                  self.url, self.name))
            self.note_refused_lines(link.refused_lines)
            self.note_refused_settings(getattr(link, "refused_settings", []))
            reason = self.serve(link)
            say(self.name, "the connection to {} dropped ({}): {} is gone until the server answers "
                "again".format(self.url, reason, self.name))

    def serve(self, link):
        """Runs one connection; returns why it ended."""
        com = ComEnd(self.rig_dir, self.link)
        pump = Pump(link, com, self.wake)
        modem_words = link.modem_words()
        try:
            com.publish(modem_words)
            pump.start()
            self.refresh_files(link, com)
            watched = [self.watch.fd] if self.watch.fd >= 0 else []
            while True:
                readable, _, _ = select.select([com.master, self.wake_read] + watched, [], [],
                                               self.watch.timeout())
                if self.wake_read in readable:
                    os.read(self.wake_read, 4096)
                if pump.ended.is_set() or link.ended():
                    # What came before the end still goes to the program.
                    pump.wait_end()
                    return pump.reason()
                if com.master in readable:
                    self.send(link, com)
                words = link.modem_words()
                if words != modem_words:
                    modem_words = words
                    write_atomically(com.lines_file, words + "\n")
                if not watched or self.watch.fd in readable:
                    self.watch.drain()
                    self.refresh_files(link, com)
        except SendFailed as failure:
            pump.wait_end()
            return "{}; {} bytes from the program were not sent".format(failure.reason, failure.count)
        finally:
            if pump.is_alive():
                # Stopping the link ends the pump's wait for the server.
                link.stop()
                pump.wait_end()
            # The COM end goes first: pyserial's close lingers for the server's sake.
            com.close()
            link.stop()

    @staticmethod
    def send(link, com):
        try:
            data = os.read(com.master, CHUNK)
        except BlockingIOError:
            return
        if data:
            try:
                link.write(data)
            except (serial.SerialException, OSError) as error:
                raise SendFailed(describe(error), len(data)) from error

    def refresh_files(self, link, com):
        """Sends what changed in the fixture's files of the COM end."""
        text = read_text(com.line_file)
        if text is not None:
            line = parse_line_settings(text)
            if line is None:
                self.say_once(("bad line", text), "cannot read the line settings in {}: {!r}".format(
                    com.line_file, text.strip()))
            elif line != self.line:
                self.line = line
                if link.remote_control:
                    self.note_refused_settings(link.configure(line))
        text = read_text(com.out_file)
        output_lines = parse_output_lines(text) if text is not None else (False, False)
        if output_lines != self.output_lines:
            self.output_lines = output_lines
            self.note_refused_lines(link.set_output_lines(*output_lines))

    def note_refused_settings(self, names):
        for name in names:
            self.say_once(("refused", name), "the server did not take {}".format(name))

    def note_refused_lines(self, names):
        for name in sorted(names):
            self.refused_lines.add(name)
            self.say_once(("refused", name), "the server did not take {} (its port has no such line, or it "
                          "ignores it): {} stays as the server has it".format(name, name))


class SendFailed(Exception):
    def __init__(self, reason, count):
        super().__init__(reason)
        self.reason, self.count = reason, count


class Pump(threading.Thread):
    """Server -> COM end: hands every byte on, waiting for the program while it reads. While no
    program holds the port and its pty is full, the pty's input is dropped as the fixture drops
    it when a program opens the port (a UART keeps nothing for nobody)."""

    def __init__(self, link, com, on_end):
        super().__init__(daemon=True)
        self.link, self.com, self.on_end = link, com, on_end
        self.ended = threading.Event()
        self.stopping = threading.Event()
        self.error = None
        self.undelivered = 0
        self.deadline = None

    def run(self):
        try:
            while True:
                data = self.link.receive()
                if not data:
                    break
                self.deliver(data)
        except (serial.SerialException, OSError) as error:
            self.error = error
        finally:
            self.ended.set()
            self.on_end()

    def deliver(self, data):
        view = memoryview(data)
        while view:
            try:
                view = view[os.write(self.com.master, view):]
                continue
            except BlockingIOError:
                pass
            if self.stopping.is_set():
                # The connection is gone: what the program does not take within the drain time
                # is counted for the message rather than waited for forever.
                self.deadline = self.deadline or time.monotonic() + DRAIN_SECONDS
                if time.monotonic() >= self.deadline:
                    self.undelivered += len(view)
                    return
            _, writable, _ = select.select([], [self.com.master], [], 0.1)
            if not writable and not self.com.claimed():
                termios.tcflush(self.com.slave, termios.TCIFLUSH)

    def wait_end(self):
        self.stopping.set()
        if self.is_alive():
            self.join(DRAIN_SECONDS + 1)

    def reason(self):
        text = describe(self.error) if self.error else "the server closed it"
        if self.undelivered:
            text += "; {} bytes it sent could not be handed to the program".format(self.undelivered)
        return text


def describe(error):
    # pyserial wraps the socket's error ("Could not open port URL: [Errno 111] ...").
    cause = error.__cause__ or error.__context__
    if isinstance(cause, OSError) and cause.strerror:
        return cause.strerror
    if isinstance(error, OSError) and error.strerror:
        return error.strerror
    return str(error) or type(error).__name__


def printable(data):
    text = data.decode("latin-1")
    first = next((line.strip() for line in text.splitlines() if line.strip()), "")
    return "".join(c if c.isprintable() else "?" for c in first)[:120]


def watch_parent(parent):
    """Ends the bridge with the launcher, even if the launcher is killed outright."""
    PR_SET_PDEATHSIG = 1
    libc = ctypes.CDLL(None, use_errno=True)
    libc.prctl(PR_SET_PDEATHSIG, signal.SIGTERM)
    if os.getppid() != parent:
        raise Stop(signal.SIGTERM)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--url", required=True)
    parser.add_argument("--name", required=True)
    parser.add_argument("--rig-dir", required=True)
    parser.add_argument("--link", required=True)
    parser.add_argument("--parent", type=int)
    arguments = parser.parse_args()
    scheme, separator, rest = arguments.url.partition("://")
    try:
        host_port = urllib.parse.urlsplit("//" + rest)
        usable = bool(separator and scheme in ("rfc2217", "tcp") and host_port.hostname and host_port.port
                      and not host_port.path and not host_port.query)
    except ValueError:
        usable = False
    if not usable:
        parser.error("--url: expected rfc2217://HOST:PORT or tcp://HOST:PORT")
    for signum in (signal.SIGTERM, signal.SIGINT, signal.SIGHUP):
        signal.signal(signum, on_signal)
    try:
        if arguments.parent:
            watch_parent(arguments.parent)
        os.makedirs(os.path.join(arguments.rig_dir, "lines"), exist_ok=True)
        Bridge(arguments).run()
    except Stop:
        return 0
    return 0


if __name__ == "__main__":
    sys.exit(main())

#!/usr/bin/python3
"""Checks linux/serial_bridge.py and linux/serial-servers.sh against a real ser2net on 127.0.0.1.

  serial_server_test.py [WORKDIR]      (needs ser2net, socat, gcc and python3-serial)

ser2net serves three ports, each on a socat pty pair whose far end this test plays as the
device: RFC 2217 with remote control, raw TCP, and telnet without RFC 2217 (control refused).
ser2net runs with the serial fixture preloaded and its device ptys marked, so it can answer
TIOCMGET from a lines file, and the fixture's trace (or .line file) tells the frame it set. A
bridge per port makes the COM end, which this process opens as Wine would: with the fixture
preloaded (the test starts itself again that way), so the open claims the port and writes the
output lines. Checked: bytes both ways byte for byte, the line settings of the COM end's .line
file reaching ser2net's device, DTR/RTS reaching it, modem lines raised on ser2net's side
reaching the COM end's lines file, a stopped ser2net taking the COM ends away and a restarted
one bringing them back at the same paths, a server that is not there yet, and the launcher
helper's answers to bad --port URLs. Prints figures (latency, throughput at 25,600 B/s, CPU of
the bridge), then "N passed, N failed"; exits 1 if anything failed.
"""

import errno
import fcntl
import importlib.util
import os
import random
import re
import select
import shutil
import signal
import socket
import struct
import subprocess
import sys
import tempfile
import termios
import time
import tty

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
BRIDGE = os.path.join(ROOT, "linux", "serial_bridge.py")
HELPER = os.path.join(ROOT, "linux", "serial-servers.sh")
FIXTURE_SOURCE = os.path.join(ROOT, "tests", "rig", "serial_fixture.c")
PYTHON = "/usr/bin/python3"
RATE = 25600

passed = 0
failed = 0
figures = []


def check(condition, what):
    global passed, failed
    if condition:
        passed += 1
        print("ok: " + what, flush=True)
    else:
        failed += 1
        print("FAIL: " + what, flush=True)
    return condition


def figure(text):
    figures.append(text)


def wait_for(condition, seconds, step=0.02):
    """Polls CONDITION until it holds or SECONDS pass; returns its last value."""
    deadline = time.monotonic() + seconds
    while True:
        value = condition()
        if value or time.monotonic() >= deadline:
            return value
        time.sleep(step)


def read_text(path):
    try:
        with open(path, encoding="ascii") as handle:
            return handle.read()
    except FileNotFoundError:
        return None


def write_atomically(path, text):
    with open(path + ".tmp", "w", encoding="ascii") as handle:
        handle.write(text)
    os.replace(path + ".tmp", path)


def words(text):
    return sorted((text or "").split())


def free_port():
    with socket.socket() as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


def pts_index(path):
    return int(os.path.realpath(path).rsplit("/", 1)[1])


def clean_env(**extra):
    env = {key: value for key, value in os.environ.items()
           if key not in ("LD_PRELOAD", "QUENLET_RIG_DIR", "QUENLET_FIXTURE_TRACE", "QUENLET_FIXTURE_PASS")}
    env.update(extra)
    return env


def cpu_seconds(pid):
    with open("/proc/{}/stat".format(pid), encoding="ascii") as stat:
        fields = stat.read().rsplit(")", 1)[1].split()
    # utime and stime, fields 14 and 15 of the whole line, of all the threads.
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


def open_raw(path):
    fd = os.open(path, os.O_RDWR | os.O_NOCTTY | os.O_NONBLOCK)
    tty.setraw(fd, termios.TCSANOW)
    return fd


def push(fd, data, seconds=10):
    view = memoryview(data)
    deadline = time.monotonic() + seconds
    while view and time.monotonic() < deadline:
        select.select([], [fd], [], 0.1)
        try:
            view = view[os.write(fd, view):]
        except BlockingIOError:
            pass
    return not view


def pull(fd, count, seconds=10):
    data = bytearray()
    deadline = time.monotonic() + seconds
    while len(data) < count and time.monotonic() < deadline:
        readable, _, _ = select.select([fd], [], [], 0.05)
        if readable:
            try:
                chunk = os.read(fd, 65536)
            except (BlockingIOError, InterruptedError):
                continue
            if not chunk:
                break
            data += chunk
    return bytes(data)


def pull_until(fd, suffix, seconds):
    data = bytearray()
    deadline = time.monotonic() + seconds
    while not data.endswith(suffix) and time.monotonic() < deadline:
        if select.select([fd], [], [], 0.05)[0]:
            try:
                data += os.read(fd, 65536)
            except BlockingIOError:
                pass
    return bytes(data)


def drain(fd, quiet=0.3):
    """Reads until the line is QUIET for a while; returns what came."""
    data = bytearray()
    while select.select([fd], [], [], quiet)[0]:
        try:
            chunk = os.read(fd, 65536)
        except BlockingIOError:
            continue
        if not chunk:
            break
        data += chunk
    return bytes(data)


def round_trip(label, com, far, size=65536, seed=1):
    generator = random.Random(seed)
    data = bytes(range(256)) * 4 + bytes(generator.getrandbits(8) for _ in range(size)) + b"\xff\xff\r\n\r\x00\xff"
    ok_out = push(com, data) and pull(far, len(data)) == data
    check(ok_out, "{}: {} bytes from the COM end reach the device byte for byte".format(label, len(data)))
    ok_in = push(far, data) and pull(com, len(data)) == data
    check(ok_in, "{}: {} bytes from the device reach the COM end byte for byte".format(label, len(data)))
    return ok_out and ok_in


class World:
    """Everything this test starts, stopped by process id at the end."""

    def __init__(self, work):
        self.work = work
        self.processes = []
        self.server = os.path.join(work, "server")
        self.client = os.path.join(work, "client")
        for directory in (self.server, self.client):
            os.makedirs(os.path.join(directory, "lines"), exist_ok=True)
        self.fixture = os.path.join(work, "libserialfixture.so")
        self.trace = os.path.join(self.server, "trace.log")

    def start(self, argv, log, env=None):
        handle = open(log, "ab")
        process = subprocess.Popen(argv, stdin=subprocess.DEVNULL, stdout=handle, stderr=subprocess.STDOUT,
                                   env=env or clean_env(), start_new_session=True)
        handle.close()
        self.processes.append(process)
        return process

    def stop(self, process, seconds=5):
        if process.poll() is None:
            process.terminate()
            try:
                process.wait(seconds)
            except subprocess.TimeoutExpired:
                process.kill()
                process.wait()

    def stop_all(self):
        for process in reversed(self.processes):
            self.stop(process)

    def device_pair(self, name):
        """A socat pty pair: WORK/NAME.dev for ser2net, WORK/NAME.far for this test."""
        dev, far = os.path.join(self.work, name + ".dev"), os.path.join(self.work, name + ".far")
        self.start(["socat", "pty,raw,echo=0,link=" + dev, "pty,raw,echo=0,link=" + far],
                   os.path.join(self.work, name + ".socat.log"))
        if not wait_for(lambda: os.path.exists(dev) and os.path.exists(far), 10):
            raise SystemExit("FAIL: socat made no pty pair for " + name)
        # Marks ser2net's end for the fixture inside ser2net: its input lines start off.
        write_atomically(os.path.join(self.server, "lines", "pts{}".format(pts_index(dev))), "")
        return dev, far

    def start_ser2net(self, config, log, fixture=True):
        env = clean_env(LD_PRELOAD=self.fixture, QUENLET_RIG_DIR=self.server, QUENLET_FIXTURE_TRACE=self.trace) \
            if fixture else clean_env()
        return self.start(["ser2net", "-d", "-c", config], log, env)

    def start_bridge(self, url, name, index):
        link = os.path.join(self.client, "server{}".format(index))
        log = os.path.join(self.work, "bridge{}.log".format(index))
        process = self.start([PYTHON, BRIDGE, "--url", url, "--name", name, "--rig-dir", self.client,
                              "--link", link, "--parent", str(os.getpid())], log)
        return process, link, log


def listening(port):
    try:
        with socket.create_connection(("127.0.0.1", port), timeout=1):
            return True
    except OSError:
        return False


def ser2net_config(path, connections):
    lines = ["%YAML 1.1", "---"]
    for name, accepter, device, options in connections:
        lines += ["connection: &" + name,
                  "    accepter: " + accepter,
                  "    connector: serialdev,{},9600n81{}".format(device, options)]
    with open(path, "w", encoding="ascii") as handle:
        handle.write("\n".join(lines) + "\n")


def device_settings(world, dev):
    """What ser2net set on its device: (baud, data bits, parity, stop bits, flow)."""
    fd = os.open(dev, os.O_RDWR | os.O_NOCTTY | os.O_NONBLOCK)
    try:
        iflag, _, cflag, _, _, ospeed, _ = termios.tcgetattr(fd)
    finally:
        os.close(fd)
    speeds = {getattr(termios, name): int(name[1:]) for name in dir(termios) if re.fullmatch(r"B\d+", name)}
    flow = "rtscts" if cflag & termios.CRTSCTS else "xonxoff" if iflag & termios.IXON and iflag & termios.IXOFF \
        else "none" if not iflag & (termios.IXON | termios.IXOFF) else "mixed"
    stop = "2" if cflag & termios.CSTOPB else "1"
    frame = frame_of(world, pts_index(dev))
    return (speeds.get(ospeed), frame[0] if frame else None, frame[1] if frame else None, stop, flow)


def frame_of(world, pts):
    """Data bits and parity ser2net asked for: the fixture keeps them aside (a pty holds 8 bits
    without parity). Its .line file says them where the fixture writes one, else its trace."""
    line = read_text(os.path.join(world.server, "lines", "pts{}.line".format(pts)))
    if line and len(line.split()) == 5:
        return int(line.split()[1]), line.split()[2]
    trace = read_text(world.trace) or ""
    frames = re.findall(r"(?:pts{0} TCSETS\w*|tcsetattr fd=\d+ pts{0}) .*?frame (0[0-7]*) kept aside".format(pts),
                        trace)
    if not frames:
        return None
    frame = int(frames[-1], 8)
    CMSPAR = 0o10000000000
    bits = {termios.CS5: 5, termios.CS6: 6, termios.CS7: 7, termios.CS8: 8}[frame & termios.CSIZE]
    if not frame & termios.PARENB:
        parity = "N"
    elif frame & CMSPAR:
        parity = "M" if frame & termios.PARODD else "S"
    else:
        parity = "O" if frame & termios.PARODD else "E"
    return bits, parity


def bad_input_checks():
    cases = [
        ("ftp://localhost:4000", "unknown scheme 'ftp'"),
        ("tcp://localhost", "no port number"),
        ("rfc2217://127.0.0.1:", "no port number"),
        ("tcp://localhost:99999", "is not a port number"),
        ("tcp://no-such-host.invalid:4000", "host 'no-such-host.invalid' does not resolve"),
        ("localhost:4000", "expected rfc2217://HOST:PORT or tcp://HOST:PORT"),
    ]
    for url, expected in cases:
        result = subprocess.run(["bash", "-c", 'source "$0"; serial_server_add "$1"', HELPER, url],
                                capture_output=True, text=True, env=clean_env(), timeout=60)
        lines = result.stderr.splitlines()
        check(result.returncode == 2 and len(lines) == 1 and expected in lines[0] and not result.stdout,
              "--port {}: exit 2 with one line ({!r}, status {})".format(url, result.stderr.strip(), result.returncode))
    script = ('source "$0"; serial_server_add rfc2217://127.0.0.1:4000 && serial_server_add tcp://[::1]:4001 && '
              'serial_server_add tcp://127.0.0.1:4002 && serial_server_add tcp://127.0.0.1:4002')
    result = subprocess.run(["bash", "-c", script, HELPER], capture_output=True, text=True, env=clean_env(), timeout=60)
    check(result.returncode == 2 and "given twice" in result.stderr and result.stderr.count("\n") == 1,
          "good URLs are taken, the same one twice is refused ({!r})".format(result.stderr.strip()))
    script = ('source "$0"; serial_server_add rfc2217://127.0.0.1:4000; serial_server_add tcp://127.0.0.1:4002; '
              'serial_server_describe "$(serial_server_link 0)"; serial_server_describe "$(serial_server_link 1)"; '
              'serial_server_describe /dev/ttyUSB0 || echo not a server')
    result = subprocess.run(["bash", "-c", script, HELPER], capture_output=True, text=True, env=clean_env(), timeout=60)
    check(result.stdout.splitlines() == [
        "rfc2217://127.0.0.1:4000 (RFC 2217: line settings, DTR/RTS and modem lines go through)",
        "tcp://127.0.0.1:4002 (raw TCP: the line settings stay with the server)", "not a server"],
        "the mapping's lines for server ports ({!r})".format(result.stdout))
    result = subprocess.run([PYTHON, BRIDGE, "--url", "ftp://x:1", "--name", "COM9", "--rig-dir", "/nonexistent",
                             "--link", "/nonexistent/x"], capture_output=True, text=True, env=clean_env(), timeout=60)
    check(result.returncode == 2, "the bridge refuses a bad URL with status 2")


def hung_up(fd):
    """Whether the pty's other side has gone (what is still buffered is read away)."""
    while True:
        try:
            if not os.read(fd, 65536):
                return True
        except BlockingIOError:
            return False
        except OSError as error:
            return error.errno == errno.EIO


def ioctl_int(fd, request, value=0):
    return struct.unpack("i", fcntl.ioctl(fd, request, struct.pack("i", value)))[0]


def test_rfc2217(world, dev, far_path, bridge, link, log):
    check(wait_for(lambda: os.path.islink(link) and os.path.exists(link), 15), "RFC 2217: the COM end appears")
    check("connected to rfc2217://" in (read_text(log) or ""), "RFC 2217: the bridge says it is connected")
    pts = pts_index(link)
    client_lines = os.path.join(world.client, "lines", "pts{}".format(pts))
    check(os.path.exists(client_lines), "RFC 2217: the COM end is marked for the fixture")
    server_pts = pts_index(dev)
    server_out = os.path.join(world.server, "lines", "pts{}.out".format(server_pts))
    server_lines = os.path.join(world.server, "lines", "pts{}".format(server_pts))

    far = open_raw(far_path)
    com = open_raw(link)  # the fixture claims it and raises DTR and RTS, as a UART's open does
    check(wait_for(lambda: words(read_text(server_out)) == ["DTR", "RTS"], 5),
          "RFC 2217: DTR and RTS raised at open reach ser2net's device ({!r})".format(read_text(server_out)))
    fcntl.ioctl(com, termios.TIOCMBIC, struct.pack("i", termios.TIOCM_RTS))
    check(wait_for(lambda: words(read_text(server_out)) == ["DTR"], 5),
          "RFC 2217: RTS dropped on the COM end drops it on ser2net's device ({!r})".format(read_text(server_out)))
    fcntl.ioctl(com, termios.TIOCMBIC, struct.pack("i", termios.TIOCM_DTR))
    fcntl.ioctl(com, termios.TIOCMBIS, struct.pack("i", termios.TIOCM_RTS))
    check(wait_for(lambda: words(read_text(server_out)) == ["RTS"], 5),
          "RFC 2217: DTR off and RTS on reach ser2net's device ({!r})".format(read_text(server_out)))
    fcntl.ioctl(com, termios.TIOCMBIS, struct.pack("i", termios.TIOCM_DTR))
    drain(far)
    drain(com)
    round_trip("RFC 2217", com, far)

    line_file = os.path.join(world.client, "lines", "pts{}.line".format(pts))
    for line in ("115200 8 E 1 none", "19200 7 O 2 rtscts", "57600 8 N 1 xonxoff", "38400 8 M 1 none",
                 "9600 6 S 2 none", "115200 8 N 1 none"):
        baud, bits, parity, stop, flow = line.split()
        expected = (int(baud), int(bits), parity, stop, flow)
        started = time.monotonic()
        write_atomically(line_file, line + "\n")
        reached = wait_for(lambda: device_settings(world, dev) == expected, 10)
        check(reached, "RFC 2217: {} reaches ser2net's device (it has {})".format(line, device_settings(world, dev)))
        if line == "115200 8 E 1 none":
            figure("line settings from the .line file to ser2net's device: {:.0f} ms".format(
                (time.monotonic() - started) * 1000))
    check("did not take" not in (read_text(log) or ""), "RFC 2217: the server took every setting")

    for lines in ("CTS", "CTS DSR", "CTS DSR RING RLSD", "DSR RLSD", ""):
        started = time.monotonic()
        write_atomically(server_lines, lines + "\n")
        arrived = wait_for(lambda: words(read_text(client_lines)) == words(lines), 5, step=0.005)
        check(arrived, "RFC 2217: modem lines '{}' raised on ser2net's side reach the COM end's lines file ({!r})"
              .format(lines, read_text(client_lines)))
        if arrived:
            figure("modem lines '{}' from ser2net's device to the COM end: {:.0f} ms".format(
                lines, (time.monotonic() - started) * 1000))
    write_atomically(server_lines, "CTS RLSD\n")
    wait_for(lambda: words(read_text(client_lines)) == ["CTS", "RLSD"], 5)
    modem = ioctl_int(com, termios.TIOCMGET)
    check(modem & (termios.TIOCM_CTS | termios.TIOCM_CAR | termios.TIOCM_DSR | termios.TIOCM_RNG)
          == termios.TIOCM_CTS | termios.TIOCM_CAR,
          "RFC 2217: the COM end's TIOCMGET (as Wine asks) shows CTS and RLSD (0x{:x})".format(modem))

    measure(com, far, bridge)
    return com, far


def latency(writer, reader, samples=30):
    results = []
    for _ in range(samples):
        drain(reader, 0.02)
        started = time.monotonic()
        os.write(writer, b"\x5a")
        if pull(reader, 1, 2) != b"\x5a":
            return None
        results.append((time.monotonic() - started) * 1000)
    results.sort()
    return results[len(results) // 2], results[-1]


def paced(source, sink, seconds, label, bridge):
    """SOURCE sends RATE bytes a second in 10 ms slices; SINK must get them all, in order."""
    generator = random.Random(7)
    total = RATE * seconds
    data = bytes(generator.getrandbits(8) for _ in range(total))
    slice_size = RATE // 100
    received = bytearray()
    cpu_before = cpu_seconds(bridge.pid)
    started = time.monotonic()
    sent = 0
    while len(received) < total and time.monotonic() < started + seconds + 10:
        due = min(total, int((time.monotonic() - started) * RATE // slice_size + 1) * slice_size)
        if sent < due:
            try:
                sent += os.write(source, data[sent:due])
            except BlockingIOError:
                pass
        readable, _, _ = select.select([sink], [], [], 0.002)
        if readable:
            received += os.read(sink, 65536)
    elapsed = time.monotonic() - started
    cpu = cpu_seconds(bridge.pid) - cpu_before
    check(bytes(received) == data, "{}: {} bytes at {} B/s arrive byte for byte".format(label, total, RATE))
    figure("{}: {:.0f} B/s over {:.1f} s, bridge CPU {:.1f}%".format(label, len(received) / elapsed, elapsed,
                                                                   100 * cpu / elapsed))


def measure(com, far, bridge):
    drain(far)
    drain(com)
    for direction, writer, reader in (("COM end -> device", com, far), ("device -> COM end", far, com)):
        result = latency(writer, reader)
        check(result is not None, "RFC 2217 at 115200: single bytes {} arrive".format(direction))
        if result:
            figure("latency of a byte {} (RFC 2217, 115200 8N1): median {:.2f} ms, max {:.2f} ms".format(
                direction, *result))
    idle = 10
    before = cpu_seconds(bridge.pid)
    started = time.monotonic()
    time.sleep(idle)  # the measurement interval itself, not a synchronisation
    figure("bridge CPU idle (COM end open, connection up): {:.2f}% over {:.0f} s".format(
        100 * (cpu_seconds(bridge.pid) - before) / (time.monotonic() - started), idle))
    paced(far, com, 10, "RFC 2217 device -> COM end", bridge)
    paced(com, far, 10, "RFC 2217 COM end -> device", bridge)


def main():
    for tool in ("ser2net", "socat", "gcc"):
        if not shutil.which(tool):
            print("FAIL: {} is missing (sudo apt install ser2net socat gcc python3-serial)".format(tool))
            return 1
    work = os.path.abspath(sys.argv[1]) if len(sys.argv) > 1 else None
    if os.environ.get("QUENLET_SERVER_TEST_STAGE") != "preloaded":
        # Start again with the fixture preloaded, so this process opens COM ends as Wine does.
        work = work or tempfile.mkdtemp(prefix="quenlet-server-test.")
        marker = os.path.join(work, ".serial-server-test")
        if os.path.exists(marker):
            # An earlier run's files (fixture marks, traces) would be taken for this run's.
            shutil.rmtree(work)
        elif os.path.isdir(work) and os.listdir(work):
            print("FAIL: {} is not empty and not a directory of this test".format(work))
            return 1
        os.makedirs(os.path.join(work, "client", "lines"), exist_ok=True)
        open(marker, "w").close()
        fixture = os.path.join(work, "libserialfixture.so")
        subprocess.run(["gcc", "-O2", "-Wall", "-Wextra", "-shared", "-fPIC", "-o", fixture, FIXTURE_SOURCE, "-ldl"],
                       check=True)
        env = dict(os.environ, LD_PRELOAD=fixture, QUENLET_RIG_DIR=os.path.join(work, "client"),
                   QUENLET_SERVER_TEST_STAGE="preloaded")
        os.execve(PYTHON, [PYTHON, os.path.abspath(__file__), work], env)
    if importlib.util.find_spec("serial") is None:
        print("FAIL: Python's serial module is missing (sudo apt install python3-serial)")
        return 1

    world = World(work)
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(143))
    try:
        run(world)
    finally:
        world.stop_all()
    for line in figures:
        print("figure: " + line)
    print("{} passed, {} failed".format(passed, failed))
    return 1 if failed else 0


def run(world):
    bad_input_checks()

    rfc_dev, rfc_far = world.device_pair("rfc")
    raw_dev, raw_far = world.device_pair("raw")
    tel_dev, tel_far = world.device_pair("telnet")
    ports = {name: free_port() for name in ("rfc", "raw", "telnet", "late")}
    config = os.path.join(world.work, "ser2net.yaml")
    # No "local" on the RFC 2217 port: with it ser2net neither watches nor reports modem lines.
    ser2net_config(config, [
        ("rfc", "telnet(rfc2217),tcp,127.0.0.1,{}".format(ports["rfc"]), rfc_dev, ""),
        ("raw", "tcp,127.0.0.1,{}".format(ports["raw"]), raw_dev, ",local"),
        ("telnet", "telnet,tcp,127.0.0.1,{}".format(ports["telnet"]), tel_dev, ",local"),
    ])
    ser2net_log = os.path.join(world.work, "ser2net.log")
    ser2net = world.start_ser2net(config, ser2net_log)
    if not check(wait_for(lambda: all(listening(ports[n]) for n in ("rfc", "raw", "telnet")), 15, 0.1),
                 "ser2net listens on its three ports"):
        print(read_text(ser2net_log))
        return

    bridge_rfc, link_rfc, log_rfc = world.start_bridge("rfc2217://127.0.0.1:{}".format(ports["rfc"]), "COM5", 0)
    bridge_raw, link_raw, log_raw = world.start_bridge("tcp://127.0.0.1:{}".format(ports["raw"]), "COM6", 1)
    bridge_tel, link_tel, log_tel = world.start_bridge("rfc2217://127.0.0.1:{}".format(ports["telnet"]), "COM7", 2)

    com, far = test_rfc2217(world, rfc_dev, rfc_far, bridge_rfc, link_rfc, log_rfc)

    # Raw: the bytes pass, the line settings stay with the server.
    check(wait_for(lambda: os.path.exists(link_raw), 15), "raw: the COM end appears")
    raw_com, raw_far_fd = open_raw(link_raw), open_raw(raw_far)
    round_trip("raw", raw_com, raw_far_fd)
    before = device_settings(world, raw_dev)
    write_atomically(os.path.join(world.client, "lines", "pts{}.line".format(pts_index(link_raw))),
                     "115200 7 E 2 rtscts\n")
    round_trip("raw, after a .line change", raw_com, raw_far_fd, size=1024, seed=2)
    check(device_settings(world, raw_dev) == before == (9600, 8, "N", "1", "none"),
          "raw: ser2net's device keeps its own settings ({})".format(device_settings(world, raw_dev)))
    paced(raw_far_fd, raw_com, 10, "raw device -> COM end", bridge_raw)

    # Telnet without RFC 2217: control refused, the port goes on as raw (telnet escaping kept).
    check(wait_for(lambda: os.path.exists(link_tel), 15), "control refused: the COM end appears")
    tel_com, tel_far_fd = open_raw(link_tel), open_raw(tel_far)
    round_trip("control refused", tel_com, tel_far_fd)
    said = (read_text(log_tel) or "").count("refuses remote control")
    check(said == 1, "control refused: the bridge says so once ({!r})".format(read_text(log_tel)))

    # A dropped connection is a lost device; the port comes back at the same path.
    links = {"rfc": link_rfc, "raw": link_raw, "telnet": link_tel}
    old_targets = {name: os.readlink(path) for name, path in links.items()}
    old_marks = [os.path.join(world.client, "lines", "pts{}".format(pts_index(path))) for path in links.values()]
    stopped = time.monotonic()
    world.stop(ser2net)
    gone = wait_for(lambda: not any(os.path.lexists(path) for path in links.values()), 10, 0.005)
    check(gone, "ser2net stopped: the three COM ends go away")
    if gone:
        figure("connection dropped -> COM end gone: {:.0f} ms".format((time.monotonic() - stopped) * 1000))
    check(wait_for(lambda: hung_up(com), 5), "ser2net stopped: the open COM end's handle fails (hangup)")
    check(wait_for(lambda: not any(os.path.exists(mark) for mark in old_marks), 5),
          "ser2net stopped: the fixture's marks go away")
    check(wait_for(lambda: "dropped" in (read_text(log_rfc) or ""), 5),
          "ser2net stopped: the bridge says the connection dropped")
    for fd in (com, raw_com, tel_com):
        os.close(fd)

    restarted = time.monotonic()
    ser2net = world.start_ser2net(config, ser2net_log)
    back = wait_for(lambda: all(os.path.exists(path) for path in links.values()), 15, 0.01)
    check(back, "ser2net started again: the COM ends come back at the same paths")
    if back:
        figure("server back -> COM end back: {:.0f} ms".format((time.monotonic() - restarted) * 1000))
        check(all(os.readlink(path).startswith("/dev/pts/") for path in links.values()),
              "ser2net started again: the paths lead to ptys again ({}; before: {})".format(
                  {n: os.readlink(p) for n, p in links.items()}, old_targets))
        # Nobody has the port open: a UART keeps nothing for nobody, and the bridge must not stall
        # or hoard while the pty is full.
        flood = bytes(random.Random(9).getrandbits(8) for _ in range(256 * 1024))
        check(push(far, flood, 30), "RFC 2217: 256 KiB sent while no program has the port open all go out")
        com = open_raw(link_rfc)
        push(far, b"MARK")
        check(pull_until(com, b"MARK", 10).endswith(b"MARK"), "RFC 2217: once opened, the port gets what comes next")
        drain(far)
        round_trip("RFC 2217 after the return", com, far, size=4096, seed=3)
        os.close(com)
        raw_com = open_raw(link_raw)
        drain(raw_far_fd)
        round_trip("raw after the return", raw_com, raw_far_fd, size=4096, seed=4)
        os.close(raw_com)
    check("answers again" in (read_text(log_rfc) or ""), "the bridge says the server answers again")

    # A server that is not there yet: said once, and the port appears when it answers.
    bridge_late, link_late, log_late = world.start_bridge("rfc2217://127.0.0.1:{}".format(ports["late"]), "COM8", 3)
    check(wait_for(lambda: "does not answer" in (read_text(log_late) or ""), 10),
          "a server not there yet: the bridge says it does not answer ({!r})".format(read_text(log_late)))
    check(not os.path.lexists(link_late), "a server not there yet: no COM end meanwhile")
    before, started = cpu_seconds(bridge_late.pid), time.monotonic()
    time.sleep(5)  # the measurement interval itself, not a synchronisation
    figure("bridge CPU while it waits for a server that is not there: {:.2f}% over 5 s".format(
        100 * (cpu_seconds(bridge_late.pid) - before) / (time.monotonic() - started)))
    late_dev, late_far = world.device_pair("late")
    late_config = os.path.join(world.work, "ser2net-late.yaml")
    ser2net_config(late_config, [("late", "telnet(rfc2217),tcp,127.0.0.1,{}".format(ports["late"]), late_dev, "")])
    # This one runs without the fixture: its device (a bare pty) has no DTR or RTS to set, and
    # ser2net leaves those requests unanswered.
    world.start_ser2net(late_config, os.path.join(world.work, "ser2net-late.log"), fixture=False)
    check(wait_for(lambda: os.path.exists(link_late), 30), "a server not there yet: the COM end appears once it answers")
    check((read_text(log_late) or "").count("does not answer") == 1, "a server not there yet: said once")
    check("did not take DTR" in (read_text(log_late) or ""),
          "a device without modem control: the bridge says DTR does not go through, and goes on")
    late_com, late_far_fd = open_raw(link_late), open_raw(late_far)
    round_trip("late server", late_com, late_far_fd, size=4096, seed=5)
    os.close(late_com)

    for bridge in (bridge_rfc, bridge_raw, bridge_tel, bridge_late):
        world.stop(bridge)
        check(bridge.returncode == 0, "the bridge ends cleanly on SIGTERM (status {})".format(bridge.returncode))
    check(not any(os.path.lexists(path) for path in list(links.values()) + [link_late]),
          "stopped bridges leave no COM end behind")
    # (The .out files the fixture writes when this process closes a COM end are its own.)
    left = [name for name in os.listdir(os.path.join(world.client, "lines")) if not name.endswith(".out")]
    check(not left, "stopped bridges leave no marks or .line files behind ({})".format(left))


if __name__ == "__main__":
    sys.exit(main())

// Dev probe: checks, under Wine on the serial rig, every serial behaviour the program relies on.
// Build: x86_64-w64-mingw32-g++ -std=c++20 -O2 -Wall -Wextra -static -I../../.. -o serial_probe.exe serial_probe.cpp
//
//   serial_probe full N RIGDIR   all checks on COMN; RIGDIR as a Windows path (Z:\...) whose
//                                ports.ini names COMN's far end and line files
//   serial_probe open N          one open attempt; exit code = GetLastError (0 = opened)
//   serial_probe watch N MS      print every change of "can COMN be opened" during MS ms
//   serial_probe echo N BYTES    send BYTES to COMN and expect them back (demo_device.py --echo on
//                                the far end)
#include "framework/handles.h"

#include <windows.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace quenlet::probe {
namespace {

constexpr DWORD kEventMask = EV_RXCHAR | EV_CTS | EV_DSR | EV_RLSD | EV_RING | EV_BREAK | EV_ERR;

int failures = 0;

void report(const char* verdict, const char* name, const char* format, va_list args) {
    std::printf("%-4s %-34s ", verdict, name);
    std::vprintf(format, args);
    std::printf("\n");
    std::fflush(stdout);
}

void check(bool ok, const char* name, const char* format, ...) {
    va_list args;
    va_start(args, format);
    report(ok ? "PASS" : "FAIL", name, format, args);
    va_end(args);
    if (!ok) ++failures;
}

void info(const char* name, const char* format, ...) {
    va_list args;
    va_start(args, format);
    report("INFO", name, format, args);
    va_end(args);
}

class Stopwatch {
public:
    Stopwatch() {
        QueryPerformanceFrequency(&frequency_);
        restart();
    }
    void restart() { QueryPerformanceCounter(&start_); }
    double elapsedMs() const {
        LARGE_INTEGER now;
        QueryPerformanceCounter(&now);
        return double(now.QuadPart - start_.QuadPart) * 1000.0 / double(frequency_.QuadPart);
    }

private:
    LARGE_INTEGER frequency_{};
    LARGE_INTEGER start_{};
};

std::string portPath(int port) {
    char path[16];
    std::snprintf(path, sizeof path, "\\\\.\\COM%d", port);
    return path;
}

UniqueHandle openPort(int port, bool overlapped, DWORD& error) {
    UniqueHandle handle(CreateFileA(portPath(port).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                    overlapped ? FILE_FLAG_OVERLAPPED : 0, nullptr));
    error = handle ? 0 : GetLastError();
    return handle;
}

bool setTimeouts(HANDLE handle) {
    COMMTIMEOUTS timeouts{};
    timeouts.ReadIntervalTimeout = MAXDWORD;
    timeouts.WriteTotalTimeoutConstant = 1000;
    return SetCommTimeouts(handle, &timeouts) != FALSE;
}

bool setLineParameters(HANDLE handle, DWORD baud, BYTE dataBits, BYTE stopBits, DWORD& error,
                       BYTE parity = NOPARITY) {
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (!GetCommState(handle, &dcb)) {
        error = GetLastError();
        return false;
    }
    dcb.BaudRate = baud;
    dcb.ByteSize = dataBits;
    dcb.Parity = parity;
    dcb.StopBits = stopBits;
    dcb.fOutxCtsFlow = FALSE;
    dcb.fOutxDsrFlow = FALSE;
    dcb.fOutX = FALSE;
    dcb.fInX = FALSE;
    dcb.fDtrControl = DTR_CONTROL_ENABLE;
    dcb.fRtsControl = RTS_CONTROL_ENABLE;
    const bool ok = SetCommState(handle, &dcb) != FALSE;
    error = ok ? 0 : GetLastError();
    return ok;
}

// One overlapped WaitCommEvent with its own event; the record must stay put while pending.
struct EventWait {
    UniqueHandle event = makeManualResetEvent();
    OVERLAPPED overlapped{};
    DWORD events = 0;
    DWORD startError = 0;
    bool pending = false;
    bool completedAtOnce = false;
    HANDLE port_ = nullptr;

    bool start(HANDLE port) {
        port_ = port;
        ResetEvent(event.get());
        overlapped = OVERLAPPED{};
        overlapped.hEvent = event.get();
        events = 0;
        pending = completedAtOnce = false;
        if (WaitCommEvent(port, &events, &overlapped)) {
            completedAtOnce = true;
            return true;
        }
        startError = GetLastError();
        pending = startError == ERROR_IO_PENDING;
        return pending;
    }
    // A wait that did not finish is withdrawn (SetCommMask; CancelIo does not reach it under Wine)
    // before the record goes away, since Wine's wait thread writes into it.
    ~EventWait() {
        if (pending) withdraw(kEventMask);
    }
    void withdraw(DWORD mask) {
        SetCommMask(port_, mask);
        WaitForSingleObject(event.get(), 1000);
        pending = false;
    }
    EventWait() = default;
    EventWait(const EventWait&) = delete;
    EventWait& operator=(const EventWait&) = delete;

    // true when the wait finished within the limit; the event bits are then in `events`.
    bool finish(HANDLE port, DWORD limitMs, DWORD& resultError) {
        resultError = 0;
        if (completedAtOnce) return true;
        if (WaitForSingleObject(event.get(), limitMs) != WAIT_OBJECT_0) return false;
        pending = false;
        DWORD transferred = 0;
        if (!GetOverlappedResult(port, &overlapped, &transferred, FALSE)) resultError = GetLastError();
        return true;
    }
};

// Writes the file through a temporary name and a rename, as the rig does, so the fixture never
// sees a half-written state.
bool writeFileAtomically(const std::string& path, const std::string& text) {
    const std::string temporary = path + ".probe.tmp";
    {
        UniqueHandle file(
            CreateFileA(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file) return false;
        DWORD written = 0;
        if (!WriteFile(file.get(), text.data(), DWORD(text.size()), &written, nullptr) || written != text.size())
            return false;
    }
    return MoveFileExA(temporary.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING) != FALSE;
}

std::string readTextFile(const std::string& path) {
    UniqueHandle file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                  nullptr, OPEN_EXISTING, 0, nullptr));
    if (!file) return "<unreadable>";
    char buffer[128];
    DWORD count = 0;
    if (!ReadFile(file.get(), buffer, sizeof buffer - 1, &count, nullptr)) return "<unreadable>";
    std::string text(buffer, count);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    return text;
}

// Overlapped read that gives up after the limit (a pending read is withdrawn with CancelIo).
bool readWithin(HANDLE handle, char* buffer, DWORD size, DWORD limitMs, DWORD& count) {
    const UniqueHandle event = makeManualResetEvent();
    OVERLAPPED overlapped{};
    overlapped.hEvent = event.get();
    count = 0;
    if (ReadFile(handle, buffer, size, &count, &overlapped)) return true;
    if (GetLastError() != ERROR_IO_PENDING) return false;
    if (WaitForSingleObject(event.get(), limitMs) != WAIT_OBJECT_0) {
        CancelIo(handle);
        if (WaitForSingleObject(event.get(), 1000) != WAIT_OBJECT_0) return false;
    }
    return GetOverlappedResult(handle, &overlapped, &count, FALSE) != FALSE;
}

bool writeAll(HANDLE handle, const std::string& data) {
    const UniqueHandle event = makeManualResetEvent();
    OVERLAPPED overlapped{};
    overlapped.hEvent = event.get();
    DWORD written = 0;
    if (!WriteFile(handle, data.data(), DWORD(data.size()), &written, &overlapped)) {
        if (GetLastError() != ERROR_IO_PENDING) return false;
        if (WaitForSingleObject(event.get(), 2000) != WAIT_OBJECT_0) return false;
        if (!GetOverlappedResult(handle, &overlapped, &written, FALSE)) return false;
    }
    return written == data.size();
}

// Collects exactly `size` bytes or whatever arrived when the limit passed.
std::string readExactly(HANDLE handle, size_t size, DWORD limitMs) {
    std::string data;
    const Stopwatch clock;
    while (data.size() < size) {
        const double left = limitMs - clock.elapsedMs();
        if (left <= 0) break;
        char buffer[512];
        DWORD count = 0;
        const DWORD want = DWORD(std::min(sizeof buffer, size - data.size()));
        if (!readWithin(handle, buffer, want, DWORD(std::min(left, 50.0)) + 1, count)) break;
        if (count == 0) Sleep(1);
        data.append(buffer, count);
    }
    return data;
}

void drain(HANDLE handle) {
    PurgeComm(handle, PURGE_RXCLEAR | PURGE_TXCLEAR);
}

struct Percentiles {
    double min = 0, median = 0, max = 0;
};

Percentiles summarize(std::vector<double> samples) {
    if (samples.empty()) return {};
    std::sort(samples.begin(), samples.end());
    return {samples.front(), samples[samples.size() / 2], samples.back()};
}

DWORD runChildOpen(int port) {
    char exe[MAX_PATH];
    GetModuleFileNameA(nullptr, exe, sizeof exe);
    char commandLine[MAX_PATH + 32];
    std::snprintf(commandLine, sizeof commandLine, "\"%s\" open %d", exe, port);
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessA(nullptr, commandLine, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
        return DWORD(-1);
    const UniqueHandle processHandle(process.hProcess);
    const UniqueHandle threadHandle(process.hThread);
    if (WaitForSingleObject(processHandle.get(), 20000) != WAIT_OBJECT_0) return DWORD(-2);
    DWORD exitCode = DWORD(-3);
    GetExitCodeProcess(processHandle.get(), &exitCode);
    return exitCode;
}

struct Rig {
    int port;
    std::string peerPath;
    std::string linesPath;
    std::string linesOutPath;
};

// The modem-line checks: one line on, then off; each change must wake a pending wait.
void checkModemLine(HANDLE port, const Rig& rig, const char* token, DWORD eventBit, DWORD statusBit,
                    std::vector<double>& latencies) {
    for (const bool on : {true, false}) {
        char name[48];
        std::snprintf(name, sizeof name, "%s %s -> event", token, on ? "on" : "off");
        EventWait wait;
        if (!wait.start(port)) {
            check(false, name, "WaitCommEvent did not go pending (error %lu)", wait.startError);
            continue;
        }
        const Stopwatch clock;
        writeFileAtomically(rig.linesPath, on ? std::string(token) + "\n" : std::string("\n"));
        DWORD error = 0;
        const bool finished = wait.finish(port, 3000, error);
        const double latency = clock.elapsedMs();
        if (finished) latencies.push_back(latency);
        if (!finished) wait.withdraw(kEventMask);
        check(finished && (wait.events & eventBit), name, "events=0x%lx error=%lu after %.2f ms", wait.events, error,
              latency);
        DWORD status = 0;
        const BOOL statusOk = GetCommModemStatus(port, &status);
        std::snprintf(name, sizeof name, "%s %s -> modem status", token, on ? "on" : "off");
        check(statusOk && ((status & statusBit) != 0) == on, name, "GetCommModemStatus=0x%lx", status);
    }
}

void checkPulse(HANDLE port, const Rig& rig, const char* token, DWORD eventBit) {
    EventWait wait;
    char name[48];
    std::snprintf(name, sizeof name, "%s pulse -> event", token);
    if (!wait.start(port)) {
        check(false, name, "WaitCommEvent did not go pending (error %lu)", wait.startError);
        return;
    }
    writeFileAtomically(rig.linesPath, std::string(token) + "\n");
    DWORD error = 0;
    const bool finished = wait.finish(port, 3000, error);
    if (!finished) wait.withdraw(kEventMask);
    check(finished && (wait.events & eventBit), name, "events=0x%lx error=%lu", wait.events, error);
    writeFileAtomically(rig.linesPath, "\n");
    Sleep(20);  // let the fixture see the off state, so the next pulse is a new edge
}

int runFull(const Rig& rig) {
    // Open and configure.
    DWORD error = 0;
    UniqueHandle port = openPort(rig.port, true, error);
    check(bool(port), "open overlapped", "%s error=%lu", portPath(rig.port).c_str(), error);
    if (!port) return 1;
    const bool timeoutsSet = setTimeouts(port.get());
    check(timeoutsSet, "SetCommTimeouts MAXDWORD/0/0", "error=%lu", timeoutsSet ? 0ul : GetLastError());
    check(setLineParameters(port.get(), 9600, 8, ONESTOPBIT, error), "SetCommState 9600 8N1", "error=%lu", error);
    for (const DWORD baud : {128000ul, 256000ul}) {
        char name[40];
        std::snprintf(name, sizeof name, "SetCommState %lu", baud);
        check(setLineParameters(port.get(), baud, 8, ONESTOPBIT, error), name, "error=%lu", error);
    }
    setLineParameters(port.get(), 9600, 8, ONESTOPBIT, error);
    // Every frame the program can ask for: accepted, and reported back by GetCommState.
    {
        std::string refused, table;
        for (const BYTE stopBits : {BYTE(ONESTOPBIT), BYTE(ONE5STOPBITS), BYTE(TWOSTOPBITS)}) {
            table += stopBits == ONESTOPBIT ? " stop 1:" : stopBits == ONE5STOPBITS ? "; stop 1.5:" : "; stop 2:";
            for (BYTE dataBits = 4; dataBits <= 8; ++dataBits) {
                for (BYTE parity = NOPARITY; parity <= SPACEPARITY; ++parity) {
                    const bool accepted = setLineParameters(port.get(), 9600, dataBits, stopBits, error, parity);
                    DCB dcb{};
                    dcb.DCBlength = sizeof dcb;
                    GetCommState(port.get(), &dcb);
                    const bool reported = accepted && dcb.ByteSize == dataBits && dcb.Parity == parity &&
                                          dcb.StopBits == stopBits;
                    // e.g. "7E1"; 1.5 stop bits show as 'h'
                    const char frame[] = {char('0' + dataBits), "NOEMS"[parity],
                                          stopBits == ONESTOPBIT ? '1' : stopBits == ONE5STOPBITS ? 'h' : '2', 0};
                    if (parity == NOPARITY) table += " " + std::to_string(dataBits) + "=" + std::to_string(error);
                    // Windows' own rules: 5-8 data bits; 1.5 stop bits only with 5, 2 only with 6-8.
                    const bool valid = dataBits >= 5 &&
                                       (stopBits == ONESTOPBIT || (stopBits == ONE5STOPBITS) == (dataBits == 5));
                    if (valid && !reported) refused += std::string(" ") + frame + "(" + std::to_string(error) + ")";
                }
            }
        }
        info("SetCommState error by data bits", "%s", table.c_str());
        check(refused.empty(), "all valid frames accepted", "%s", refused.empty() ? "5-8 data, N/O/E/M/S" : refused.c_str());
    }
    setLineParameters(port.get(), 9600, 8, ONESTOPBIT, error);
    const bool setup = SetupComm(port.get(), 4096, 4096) != FALSE;
    check(setup, "SetupComm 4096", "error=%lu", setup ? 0ul : GetLastError());
    const bool masked = SetCommMask(port.get(), kEventMask) != FALSE;
    check(masked, "SetCommMask 0x1F9", "error=%lu", masked ? 0ul : GetLastError());

    // Output lines: DTR_CONTROL_ENABLE/RTS_CONTROL_ENABLE above raised both.
    check(readTextFile(rig.linesOutPath) == "DTR RTS", "output lines after SetCommState", "'%s'",
          readTextFile(rig.linesOutPath).c_str());
    EscapeCommFunction(port.get(), CLRDTR);
    check(readTextFile(rig.linesOutPath) == "RTS", "output lines after CLRDTR", "'%s'",
          readTextFile(rig.linesOutPath).c_str());
    EscapeCommFunction(port.get(), SETDTR);

    // The far end, opened through its Z: path.
    UniqueHandle peer(CreateFileA(rig.peerPath.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                  FILE_FLAG_OVERLAPPED, nullptr));
    check(bool(peer), "open peer end", "%s error=%lu", rig.peerPath.c_str(), peer ? 0ul : GetLastError());
    if (!peer) return 1;
    setTimeouts(peer.get());

    // Empty-queue read: returns at once with nothing, or stays pending?
    {
        char buffer[16];
        const UniqueHandle event = makeManualResetEvent();
        OVERLAPPED overlapped{};
        overlapped.hEvent = event.get();
        DWORD count = 0;
        const Stopwatch clock;
        const BOOL immediate = ReadFile(port.get(), buffer, sizeof buffer, &count, &overlapped);
        const DWORD readError = immediate ? 0 : GetLastError();
        if (immediate) {
            info("ReadFile on empty queue", "completed at once with %lu bytes", count);
        } else if (readError == ERROR_IO_PENDING) {
            const bool done = WaitForSingleObject(event.get(), 200) == WAIT_OBJECT_0;
            if (done) {
                GetOverlappedResult(port.get(), &overlapped, &count, FALSE);
                info("ReadFile on empty queue", "pending, then completed with %lu bytes after %.1f ms", count,
                     clock.elapsedMs());
            } else {
                CancelIo(port.get());
                const bool cancelled = WaitForSingleObject(event.get(), 1000) == WAIT_OBJECT_0;
                const BOOL result = GetOverlappedResult(port.get(), &overlapped, &count, FALSE);
                info("ReadFile on empty queue", "still pending after 200 ms; CancelIo %s it (result %d error %lu)",
                     cancelled ? "completed" : "did NOT complete", result, result ? 0ul : GetLastError());
            }
        } else {
            info("ReadFile on empty queue", "failed with error %lu", readError);
        }
    }

    // Received data: a pending wait completes with EV_RXCHAR, the queue reports it, a read gets it.
    {
        EventWait wait;
        const bool pending = wait.start(port.get());
        check(pending && !wait.completedAtOnce, "WaitCommEvent goes pending", "error=%lu", wait.startError);
        check(WaitForSingleObject(wait.event.get(), 100) == WAIT_TIMEOUT, "wait stays pending without traffic",
              "100 ms");
        const std::string hello = "hello";
        writeAll(peer.get(), hello);
        DWORD waitError = 0;
        const bool finished = wait.finish(port.get(), 3000, waitError);
        check(finished && (wait.events & EV_RXCHAR), "peer bytes -> EV_RXCHAR", "events=0x%lx error=%lu",
              wait.events, waitError);
        Sleep(20);
        COMSTAT status{};
        DWORD errors = 0;
        ClearCommError(port.get(), &errors, &status);
        info("ClearCommError cbInQue", "%lu (5 bytes were sent), errors=0x%lx", status.cbInQue, errors);
        check(status.cbInQue == hello.size(), "cbInQue reports queued bytes", "%lu", status.cbInQue);
        const std::string received = readExactly(port.get(), hello.size(), 2000);
        check(received == hello, "ReadFile gets the bytes", "'%s'", received.c_str());
    }

    // Latency from the peer's write to the completed wait (the write itself goes through Wine too).
    {
        std::vector<double> latencies, writeCalls;
        for (int i = 0; i < 30; ++i) {
            EventWait wait;
            if (!wait.start(port.get())) break;
            Sleep(3);  // let Wine's wait thread start polling
            const Stopwatch clock;
            writeAll(peer.get(), "x");
            writeCalls.push_back(clock.elapsedMs());
            DWORD waitError = 0;
            if (!wait.finish(port.get(), 3000, waitError)) break;
            latencies.push_back(clock.elapsedMs());
            readExactly(port.get(), 1, 1000);
        }
        const Percentiles p = summarize(latencies);
        const Percentiles w = summarize(writeCalls);
        check(latencies.size() == 30, "EV_RXCHAR latency (30 runs)",
              "min %.2f / median %.2f / max %.2f ms (of which the peer WriteFile: median %.2f ms)", p.min, p.median,
              p.max, w.median);
    }

    // Transmit: every byte value arrives unchanged at the peer.
    {
        std::string all(256, '\0');
        for (int i = 0; i < 256; ++i) all[size_t(i)] = char(i);
        const bool written = writeAll(port.get(), all);
        const std::string received = readExactly(peer.get(), all.size(), 3000);
        check(written && received == all, "256 byte values port -> peer", "written=%d received %zu bytes%s",
              written, received.size(), received == all ? "" : " (differs)");
        writeAll(peer.get(), all);
        const std::string back = readExactly(port.get(), all.size(), 3000);
        check(back == all, "256 byte values peer -> port", "received %zu bytes%s", back.size(),
              back == all ? "" : " (differs)");
    }

    // Modem input lines from the state file.
    {
        std::vector<double> latencies;
        checkModemLine(port.get(), rig, "CTS", EV_CTS, MS_CTS_ON, latencies);
        checkModemLine(port.get(), rig, "DSR", EV_DSR, MS_DSR_ON, latencies);
        checkModemLine(port.get(), rig, "RING", EV_RING, MS_RING_ON, latencies);
        checkModemLine(port.get(), rig, "RLSD", EV_RLSD, MS_RLSD_ON, latencies);
        const Percentiles p = summarize(latencies);
        info("modem line event latency", "min %.2f / median %.2f / max %.2f ms (file rename -> event)", p.min,
             p.median, p.max);
        checkPulse(port.get(), rig, "BREAK", EV_BREAK);
        checkPulse(port.get(), rig, "FRAME", EV_ERR);
    }

    // A timed-out wait withdrawn by SetCommMask; the next wait must work.
    {
        EventWait wait;
        wait.start(port.get());
        const bool timedOut = WaitForSingleObject(wait.event.get(), 100) == WAIT_TIMEOUT;
        check(timedOut, "wait times out after 100 ms", "no traffic");
        const Stopwatch clock;
        SetCommMask(port.get(), kEventMask);
        DWORD waitError = 0;
        const bool withdrawn = wait.finish(port.get(), 2000, waitError);
        check(withdrawn, "SetCommMask withdraws the wait", "after %.2f ms, events=0x%lx GetOverlappedResult error=%lu",
              clock.elapsedMs(), wait.events, waitError);
        EventWait next;
        const bool nextPending = next.start(port.get());
        check(nextPending, "next WaitCommEvent goes pending", "error=%lu", next.startError);
        writeAll(peer.get(), "again");
        const bool nextFinished = next.finish(port.get(), 3000, waitError);
        check(nextFinished && (next.events & EV_RXCHAR), "next wait reports EV_RXCHAR", "events=0x%lx",
              next.events);
        readExactly(port.get(), 5, 1000);
    }

    // Exclusive open: in this process and from another one.
    {
        DWORD secondError = 0;
        UniqueHandle second = openPort(rig.port, false, secondError);
        check(!second && secondError == ERROR_ACCESS_DENIED, "second open while open", "error=%lu", secondError);
        const DWORD childResult = runChildOpen(rig.port);
        check(childResult == ERROR_ACCESS_DENIED, "open from another process", "child result=%lu", childResult);
        port.reset();
        check(readTextFile(rig.linesOutPath).empty(), "output lines dropped at close", "'%s'",
              readTextFile(rig.linesOutPath).c_str());
        second = openPort(rig.port, false, secondError);
        check(bool(second), "open again after close", "error=%lu", secondError);
        check(readTextFile(rig.linesOutPath) == "DTR RTS", "output lines raised at open", "'%s'",
              readTextFile(rig.linesOutPath).c_str());
        second.reset();
        const DWORD childAfter = runChildOpen(rig.port);
        check(childAfter == 0, "other process opens after close", "child result=%lu", childAfter);
    }

    // Bytes that arrive while the port is closed are gone at the next open, as on a UART.
    {
        writeAll(peer.get(), "stale");
        Sleep(50);
        port = openPort(rig.port, true, error);
        COMSTAT status{};
        DWORD errors = 0;
        ClearCommError(port.get(), &errors, &status);
        check(port && status.cbInQue == 0, "input flushed at open", "cbInQue=%lu", status.cbInQue);
    }

    // Unmapped port and the console's port.
    {
        DWORD missingError = 0;
        const UniqueHandle missing = openPort(9, false, missingError);
        check(!missing && (missingError == ERROR_FILE_NOT_FOUND || missingError == ERROR_PATH_NOT_FOUND),
              "open unmapped COM9", "error=%lu", missingError);
        DWORD consoleError = 0;
        const UniqueHandle console = openPort(1, false, consoleError);
        check(!console, "COM1 (console port) not openable", "error=%lu", consoleError);
    }

    // CancelIo on a pending wait, last: it may leave Wine's wait thread behind.
    {
        SetCommMask(port.get(), kEventMask);
        EventWait wait;
        wait.start(port.get());
        CancelIo(port.get());
        const bool completed = WaitForSingleObject(wait.event.get(), 500) == WAIT_OBJECT_0;
        EventWait next;
        const bool nextPending = next.start(port.get());
        info("CancelIo on pending wait", "%s within 500 ms; next WaitCommEvent %s (error %lu)",
             completed ? "completed" : "did NOT complete", nextPending ? "pending" : "failed", next.startError);
        // Both records are withdrawn (SetCommMask) when they go out of scope.
    }
    drain(port.get());

    std::printf("%s: %d failure(s)\n", failures ? "FAILED" : "ALL PASSED", failures);
    return failures;
}

int runOpen(int port) {
    DWORD error = 0;
    const UniqueHandle handle = openPort(port, false, error);
    std::printf("COM%d open -> %s (error %lu)\n", port, handle ? "opened" : "failed", error);
    return int(error);
}

int runWatch(int port, DWORD durationMs) {
    const Stopwatch clock;
    int last = -2;
    while (clock.elapsedMs() < durationMs) {
        DWORD error = 0;
        {
            const UniqueHandle handle = openPort(port, false, error);
        }
        if (int(error) != last) {
            std::printf("%8.1f ms COM%d %s (error %lu)\n", clock.elapsedMs(), port, error ? "absent" : "present",
                        error);
            std::fflush(stdout);
            last = int(error);
        }
        Sleep(20);
    }
    return 0;
}

// Round trip through an echoing far end, driven the way the program drives a port: event waits,
// then reads until the queue is empty.
int runEcho(int portNumber, size_t size) {
    DWORD error = 0;
    const UniqueHandle port = openPort(portNumber, true, error);
    if (!port) {
        std::printf("FAIL echo: open error %lu\n", error);
        return 1;
    }
    setTimeouts(port.get());
    setLineParameters(port.get(), 115200, 8, ONESTOPBIT, error);
    SetCommMask(port.get(), EV_RXCHAR);
    std::string sent(size, '\0');
    for (size_t i = 0; i < size; ++i) sent[i] = char((i * 7 + 3) & 0xFF);

    const Stopwatch clock;
    if (!writeAll(port.get(), sent)) {
        std::printf("FAIL echo: write error %lu\n", GetLastError());
        return 1;
    }
    std::string received;
    double firstByteMs = -1;
    while (received.size() < size && clock.elapsedMs() < 10000) {
        EventWait wait;
        if (wait.start(port.get())) {
            DWORD waitError = 0;
            if (!wait.finish(port.get(), 200, waitError)) wait.withdraw(EV_RXCHAR);
        }
        for (;;) {
            char buffer[1023];
            DWORD count = 0;
            if (!readWithin(port.get(), buffer, sizeof buffer, 50, count) || count == 0) break;
            if (firstByteMs < 0) firstByteMs = clock.elapsedMs();
            received.append(buffer, count);
        }
    }
    const bool ok = received == sent;
    std::printf("%s echo: %zu of %zu bytes back intact, first after %.1f ms, all after %.1f ms\n",
                ok ? "PASS" : "FAIL", received.size(), size, firstByteMs, clock.elapsedMs());
    return ok ? 0 : 1;
}

int usage() {
    std::fprintf(stderr, "usage: serial_probe full N RIGDIR | open N | watch N MS | echo N BYTES\n");
    return 2;
}

std::string portSetting(const std::string& indexPath, int port, const char* key) {
    char section[16];
    std::snprintf(section, sizeof section, "COM%d", port);
    char value[MAX_PATH] = "";
    GetPrivateProfileStringA(section, key, "", value, sizeof value, indexPath.c_str());
    return value;
}

int runFull(int port, const std::string& rigDir) {
    const std::string index = rigDir + "\\ports.ini";
    const Rig rig{port, portSetting(index, port, "peer"), portSetting(index, port, "lines"),
                  portSetting(index, port, "lines_out")};
    if (rig.peerPath.empty() || rig.linesPath.empty() || rig.linesOutPath.empty()) {
        std::fprintf(stderr, "COM%d is not in %s\n", port, index.c_str());
        return 2;
    }
    std::printf("COM%d: peer %s, lines %s\n", port, rig.peerPath.c_str(), rig.linesPath.c_str());
    return runFull(rig);
}

}  // namespace
}  // namespace quenlet::probe

int main(int argc, char** argv) {
    using namespace quenlet::probe;
    if (argc < 3) return usage();
    const std::string mode = argv[1];
    const int port = std::atoi(argv[2]);
    if (mode == "full" && argc == 4) return runFull(port, argv[3]);
    if (mode == "open") return runOpen(port);
    if (mode == "watch" && argc == 4) return runWatch(port, DWORD(std::atoi(argv[3])));
    if (mode == "echo" && argc == 4) return runEcho(port, size_t(std::atoi(argv[3])));
    return usage();
}

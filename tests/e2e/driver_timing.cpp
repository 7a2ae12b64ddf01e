#include "driver_timing.h"

#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <vector>

#include "driver_windows.h"

namespace e2e {
namespace {

using Clock = std::chrono::steady_clock;

double millisecondsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

double percentile(const std::vector<double>& sorted, double fraction) {
    const size_t index = static_cast<size_t>(fraction * static_cast<double>(sorted.size() - 1) + 0.5);
    return sorted[std::min(index, sorted.size() - 1)];
}

// Process and thread handles of a started program, closed on every path.
struct StartedProcess {
    PROCESS_INFORMATION info{};
    ~StartedProcess() {
        if (info.hThread != nullptr) CloseHandle(info.hThread);
        if (info.hProcess != nullptr) CloseHandle(info.hProcess);
    }
};

}  // namespace

bool printNullRoundTripStats(double seconds) {
    const HWND main = findMainWindow(true);
    if (main == nullptr) {
        std::fprintf(stderr, "no Quenlet window\n");
        return false;
    }
    std::vector<double> samples;
    const auto end = Clock::now() + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
    while (Clock::now() < end) {
        const auto start = Clock::now();
        DWORD_PTR result = 0;
        if (!SendMessageTimeoutA(main, WM_NULL, 0, 0, SMTO_NORMAL, kMessageLimitMs, &result)) {
            std::fprintf(stderr, "WM_NULL got no answer within %u ms\n", kMessageLimitMs);
            return false;
        }
        samples.push_back(millisecondsSince(start));
        Sleep(10);
    }
    if (samples.empty()) return false;
    std::sort(samples.begin(), samples.end());
    std::printf("round_trips=%zu p50_ms=%.3f p99_ms=%.3f max_ms=%.3f\n", samples.size(), percentile(samples, 0.5),
                percentile(samples, 0.99), samples.back());
    return true;
}

bool printLineLatency(const std::string& linesPath, const std::string& lineName, int box, int count) {
    const HWND status = findStatusWindow();
    if (status == nullptr) {
        std::fprintf(stderr, "no status window\n");
        return false;
    }
    const HWND item = GetDlgItem(status, box);
    const std::string temporary = linesPath + ".latency";
    std::vector<double> delays;
    int missed = 0;
    for (int flip = 0; flip < count; ++flip) {
        const bool on = flip % 2 == 0;
        FILE* const file = std::fopen(temporary.c_str(), "wb");
        if (file == nullptr) {
            std::fprintf(stderr, "cannot write %s\n", temporary.c_str());
            return false;
        }
        std::fprintf(file, "%s\n", on ? lineName.c_str() : "");
        std::fclose(file);
        const auto start = Clock::now();
        if (!MoveFileExA(temporary.c_str(), linesPath.c_str(), MOVEFILE_REPLACE_EXISTING)) {
            std::fprintf(stderr, "cannot replace %s (error %lu)\n", linesPath.c_str(), GetLastError());
            return false;
        }
        const LRESULT wanted = on ? BST_CHECKED : BST_UNCHECKED;
        bool followed = false;
        while (millisecondsSince(start) < 2000) {
            if (SendMessageA(item, BM_GETCHECK, 0, 0) == wanted) {
                followed = true;
                break;
            }
            Sleep(1);
        }
        if (followed) delays.push_back(millisecondsSince(start));
        else ++missed;
        Sleep(300 + 37 * (flip % 7));  // away from the program's own 100 ms rhythm
    }
    std::sort(delays.begin(), delays.end());
    if (delays.empty()) {
        std::printf("flips=%d missed=%d\n", count, missed);
        return true;
    }
    std::printf("flips=%d missed=%d p50_ms=%.1f p90_ms=%.1f max_ms=%.1f\n", count, missed, percentile(delays, 0.5),
                percentile(delays, 0.9), delays.back());
    return true;
}

bool printEchoLatency(const std::string& peerPath, int box, int count) {
    const HWND main = findMainWindow(true);
    if (main == nullptr) {
        std::fprintf(stderr, "no Quenlet window\n");
        return false;
    }
    const HWND item = GetDlgItem(main, box);
    const HANDLE peer = CreateFileA(peerPath.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (peer == INVALID_HANDLE_VALUE) {
        std::fprintf(stderr, "cannot open %s (error %lu)\n", peerPath.c_str(), GetLastError());
        return false;
    }
    const auto length = [&] {
        DWORD_PTR result = 0;
        SendMessageTimeoutA(item, WM_GETTEXTLENGTH, 0, 0, SMTO_NORMAL, kMessageLimitMs, &result);
        return result;
    };
    std::vector<double> delays;
    int missed = 0;
    for (int sample = 0; sample < count; ++sample) {
        Sleep(1000 + 37 * (sample % 7));  // a quiet second, away from the program's own rhythm
        const DWORD_PTR before = length();
        DWORD written = 0;
        const auto start = Clock::now();
        if (!WriteFile(peer, "e", 1, &written, nullptr) || written != 1) {
            std::fprintf(stderr, "cannot write to %s (error %lu)\n", peerPath.c_str(), GetLastError());
            CloseHandle(peer);
            return false;
        }
        bool shown = false;
        while (millisecondsSince(start) < 2000) {
            if (length() > before) {
                shown = true;
                break;
            }
            Sleep(1);
        }
        if (shown) delays.push_back(millisecondsSince(start));
        else ++missed;
    }
    CloseHandle(peer);
    std::sort(delays.begin(), delays.end());
    if (delays.empty()) {
        std::printf("bytes=%d missed=%d\n", count, missed);
        return true;
    }
    std::printf("bytes=%d missed=%d p50_ms=%.1f p90_ms=%.1f max_ms=%.1f\n", count, missed, percentile(delays, 0.5),
                percentile(delays, 0.9), delays.back());
    return true;
}

bool printTextChanges(int id, double seconds) {
    const HWND main = findMainWindow(true);
    if (main == nullptr) {
        std::fprintf(stderr, "no Quenlet window\n");
        return false;
    }
    const HWND item = GetDlgItem(main, id);
    char previous[256] = {};
    char current[256] = {};
    GetWindowTextA(item, previous, sizeof previous);
    int changes = 0;
    const auto start = Clock::now();
    while (millisecondsSince(start) < seconds * 1000) {
        Sleep(1);
        GetWindowTextA(item, current, sizeof current);
        if (std::strcmp(current, previous) == 0) continue;
        ++changes;
        std::memcpy(previous, current, sizeof previous);
    }
    std::printf("changes=%d per_second=%.1f last=%s\n", changes, changes / seconds, previous);
    return true;
}

bool launchAndTimeWindow(const std::string& commandLine, unsigned limitMs) {
    std::string mutableLine = commandLine;
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    // No standard handles: the program must not hold the pipe a script reads this driver's output
    // from, or the script would wait for the program's end.
    startup.dwFlags = STARTF_USESTDHANDLES;
    StartedProcess process;
    const auto start = Clock::now();
    if (!CreateProcessA(nullptr, mutableLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &process.info)) {
        std::fprintf(stderr, "cannot start %s (error %lu)\n", commandLine.c_str(), GetLastError());
        return false;
    }
    const bool shown = waitFor(
        [&] {
            const HWND main = findMainWindow(true);
            DWORD owner = 0;
            if (main != nullptr) GetWindowThreadProcessId(main, &owner);
            return owner == process.info.dwProcessId;
        },
        Milliseconds(limitMs));
    if (!shown) {
        std::fprintf(stderr, "no window within %u ms\n", limitMs);
        return false;
    }
    std::printf("window_ms=%.1f\n", millisecondsSince(start));
    return true;
}

ProgramExitWatch::ProgramExitWatch(HWND window) {
    DWORD processId = 0;
    if (window != nullptr) GetWindowThreadProcessId(window, &processId);
    if (processId != 0) {
        process = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId);
    }
}

ProgramExitWatch::~ProgramExitWatch() {
    if (process != nullptr) CloseHandle(process);
}

void ProgramExitWatch::start() { started = Clock::now(); }

bool ProgramExitWatch::waitForCleanExit(unsigned limitMs) const {
    if (process == nullptr) {
        std::fprintf(stderr, "cannot watch the program's process\n");
        return false;
    }
    if (WaitForSingleObject(process, limitMs) != WAIT_OBJECT_0) {
        std::fprintf(stderr, "the program still runs %u ms later\n", limitMs);
        return false;
    }
    DWORD code = 0;
    GetExitCodeProcess(process, &code);
    std::printf("exit_code=%lu exit_ms=%.0f\n", code, millisecondsSince(started));
    return code == 0;
}

}  // namespace e2e

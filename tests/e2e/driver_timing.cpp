#include "driver_timing.h"

#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
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

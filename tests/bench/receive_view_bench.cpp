// Cost of one received chunk in the receive box, as the program appends it: a worker thread sends
// WM_GETTEXTLENGTH, EM_SETSEL and EM_REPLACESEL for a hex chunk of 1023 bytes (3069 characters)
// while the window thread keeps dispatching messages and painting.
//
// Prints the median time per chunk over 50 chunks at 1%, 50% and 90% of the fill target: for the
// receive view up to 90% of its 20,971,520-character limit, and for comparison for the system's
// edit box up to 1 MB. A 25,600 B/s line delivers a 1023-byte chunk every 40 ms.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "framework/handles.h"
#include "framework/ui_handles.h"
#include "ui/receive_view.h"

namespace quenlet {
namespace {

constexpr std::size_t kLimit = 20971520;
constexpr std::size_t kBytesPerChunk = 1023;
constexpr std::size_t kChunksPerFigure = 50;

struct ChunkTiming {
    std::size_t lengthBefore;
    double milliseconds;
};

struct Run {
    HWND box;
    std::size_t target;  // characters to reach
    std::vector<std::string> chunks;
    std::vector<ChunkTiming> timings;
};

double elapsedMilliseconds(const LARGE_INTEGER& from, const LARGE_INTEGER& to) {
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return 1000.0 * static_cast<double>(to.QuadPart - from.QuadPart) / static_cast<double>(frequency.QuadPart);
}

DWORD WINAPI appendUntilTarget(void* parameter) {
    auto* run = static_cast<Run*>(parameter);
    for (std::size_t i = 0;; ++i) {
        const std::string& chunk = run->chunks[i % run->chunks.size()];
        LARGE_INTEGER start;
        LARGE_INTEGER end;
        QueryPerformanceCounter(&start);
        const LRESULT length = SendMessageA(run->box, WM_GETTEXTLENGTH, 0, 0);
        SendMessageA(run->box, EM_SETSEL, static_cast<WPARAM>(length), length);
        SendMessageA(run->box, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(chunk.c_str()));
        QueryPerformanceCounter(&end);
        run->timings.push_back({static_cast<std::size_t>(length), elapsedMilliseconds(start, end)});
        if (static_cast<std::size_t>(length) + chunk.size() >= run->target) return 0;
    }
}

std::vector<std::string> hexChunks() {
    std::mt19937 random(7);
    std::vector<std::string> chunks(16);
    for (std::string& chunk : chunks) {
        char pair[4];
        for (std::size_t b = 0; b < kBytesPerChunk; ++b) {
            std::snprintf(pair, sizeof(pair), "%02X ", static_cast<unsigned>(random() & 0xFF));
            chunk += pair;
        }
    }
    return chunks;
}

// Runs the worker while this thread dispatches messages, as the program's window thread does.
bool runWorker(Run& run) {
    const UniqueHandle worker(CreateThread(nullptr, 0, appendUntilTarget, &run, 0, nullptr));
    if (!worker) return false;
    for (;;) {
        const HANDLE handle = worker.get();
        const DWORD woke = MsgWaitForMultipleObjects(1, &handle, FALSE, 600000, QS_ALLINPUT);
        if (woke == WAIT_OBJECT_0) return true;
        if (woke != WAIT_OBJECT_0 + 1) return false;
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
    }
}

// Median time of the 50 chunks appended from the moment the box held fraction of target; the last
// 50 chunks before that point when the run ended sooner.
double medianAt(const std::vector<ChunkTiming>& timings, std::size_t target, double fraction) {
    const auto threshold = static_cast<std::size_t>(fraction * static_cast<double>(target));
    auto first = std::find_if(timings.begin(), timings.end(), [&](const ChunkTiming& t) { return t.lengthBefore >= threshold; });
    if (timings.end() - first < static_cast<std::ptrdiff_t>(kChunksPerFigure))
        first = timings.end() - std::min<std::ptrdiff_t>(timings.end() - timings.begin(), kChunksPerFigure);
    std::vector<double> window;
    for (auto it = first; it != timings.end() && window.size() < kChunksPerFigure; ++it) window.push_back(it->milliseconds);
    if (window.empty()) return 0;
    std::nth_element(window.begin(), window.begin() + window.size() / 2, window.end());
    return window[window.size() / 2];
}

void report(const char* name, const Run& run) {
    double worst = 0;
    for (const ChunkTiming& timing : run.timings) worst = std::max(worst, timing.milliseconds);
    std::printf("%s: %zu chunks of %zu characters, filled to %zu characters (target %zu)\n", name,
                run.timings.size(), run.chunks[0].size(), static_cast<std::size_t>(SendMessageA(run.box, WM_GETTEXTLENGTH, 0, 0)),
                run.target);
    for (const double fraction : {0.01, 0.50, 0.90}) {
        const double median = medianAt(run.timings, run.target, fraction);
        std::printf("  at %3.0f%% full: median %8.3f ms per chunk = %10.0f received bytes/s\n", fraction * 100, median,
                    median > 0 ? 1000.0 * kBytesPerChunk / median : 0.0);
    }
    std::printf("  slowest chunk: %.3f ms\n", worst);
    std::fflush(stdout);
}

int runBenchmark() {
    const HINSTANCE instance = GetModuleHandleA(nullptr);
    if (!registerReceiveViewClass(instance)) return 1;
    const HWND frame = CreateWindowExA(0, "STATIC", "receive view benchmark", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0,
                                       560, 300, nullptr, nullptr, instance, nullptr);
    if (frame == nullptr) return 1;

    const HDC screen = GetDC(nullptr);
    const int height = -MulDiv(8, GetDeviceCaps(screen, LOGPIXELSY), 72);
    ReleaseDC(nullptr, screen);
    const UniqueFont font(CreateFontA(height, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, ANSI_CHARSET, OUT_DEFAULT_PRECIS,
                                      CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, FIXED_PITCH | FF_MODERN, "Courier New"));
    const DWORD style = WS_CHILD | WS_VISIBLE | WS_VSCROLL | WS_TABSTOP | ES_MULTILINE | ES_AUTOVSCROLL | ES_READONLY;

    const std::vector<std::string> chunks = hexChunks();
    for (const char* className : {kReceiveViewClassName, "EDIT"}) {
        const bool edit = std::string(className) == "EDIT";
        // The size the main dialog gives the receive box (290 x 60 dialog units in Courier New 8 pt).
        const HWND box = CreateWindowExA(WS_EX_CLIENTEDGE, className, "", style, 4, 8, 510, 100, frame,
                                         reinterpret_cast<HMENU>(1000), instance, nullptr);
        if (box == nullptr) return 1;
        SendMessageA(box, WM_SETFONT, reinterpret_cast<WPARAM>(font.get()), TRUE);
        SendMessageA(box, EM_LIMITTEXT, kLimit, 0);
        Run run{box, edit ? std::size_t{1} << 20 : kLimit * 9 / 10, chunks, {}};
        run.timings.reserve(run.target / chunks[0].size() + 1);
        if (!runWorker(run)) return 1;
        report(edit ? "system edit box" : "receive view", run);
        DestroyWindow(box);
    }
    DestroyWindow(frame);
    return 0;
}

}  // namespace
}  // namespace quenlet

int main() { return quenlet::runBenchmark(); }

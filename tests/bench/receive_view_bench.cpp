// Cost of received data in the receive box, as the program hands it over: a worker thread makes one
// synchronous call to the window thread per read of four 1023-byte chunks, and the window thread
// appends each chunk as hex text (3069 characters) with WM_GETTEXTLENGTH, EM_SETSEL and
// EM_REPLACESEL, while it keeps dispatching messages and painting.
//
// Prints, at points of the run given as shares of the box's limit (20,971,520 characters): the
// median time of one chunk's append on the window thread (the view's own cost), the median round
// trip of one read as the worker sees it, and how often the view painted and how long a paint took.
// The receive view, keeping the newest text as the main dialog has it, is handed twice its limit,
// so that the second half shows appends at the limit: for those the mean is printed as well (it
// includes the occasional drop of old text, which the median would hide), the slowest one, and
// whether the box ends with the newest chunk. Then the memory the process took for the run and
// what the view's text and line table hold. For comparison the system's edit box is filled to
// 1 MB (shares are of that).
// A 25,600 B/s line delivers a 1023-byte chunk every 40 ms.
#include <windows.h>
#include <psapi.h>

#include <algorithm>
#include <cstdint>
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
constexpr std::size_t kChunksPerRead = 4;
constexpr std::size_t kReadsPerFigure = 50;
constexpr UINT kAppendMessage = WM_APP + 1;

double nowMilliseconds() {
    LARGE_INTEGER counter;
    LARGE_INTEGER frequency;
    QueryPerformanceCounter(&counter);
    QueryPerformanceFrequency(&frequency);
    return 1000.0 * static_cast<double>(counter.QuadPart) / static_cast<double>(frequency.QuadPart);
}

struct ReadTiming {
    std::size_t handedBefore;  // characters handed to the box before this read
    double roundTripMs;  // as the worker sees it
    double appendMs;     // the four appends on the window thread, per chunk
};

struct PaintTiming {
    double at;
    double milliseconds;
};

struct Run {
    HWND box;
    std::size_t target;     // characters to hand over
    std::size_t reference;  // what the shares of the report are shares of
    const std::vector<std::string>* chunks;
    std::vector<ReadTiming> reads;
    std::vector<PaintTiming> paints;
    WNDPROC boxProcedure;
};

Run* g_run = nullptr;  // the run the window procedures below serve

// The read the worker hands over, and what the window thread measured of it.
struct Handover {
    std::size_t first;  // index of its first chunk
    double appendMs;
};

LRESULT CALLBACK frameProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message != kAppendMessage) return DefWindowProcA(window, message, wParam, lParam);
    auto* const handover = reinterpret_cast<Handover*>(lParam);
    const double start = nowMilliseconds();
    for (std::size_t i = 0; i < kChunksPerRead; ++i) {
        const std::string& chunk = (*g_run->chunks)[(handover->first + i) % g_run->chunks->size()];
        const LRESULT length = SendMessageA(g_run->box, WM_GETTEXTLENGTH, 0, 0);
        SendMessageA(g_run->box, EM_SETSEL, static_cast<WPARAM>(length), length);
        SendMessageA(g_run->box, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(chunk.c_str()));
    }
    handover->appendMs = (nowMilliseconds() - start) / kChunksPerRead;
    return 0;
}

LRESULT CALLBACK timedBoxProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message != WM_PAINT) return CallWindowProcA(g_run->boxProcedure, window, message, wParam, lParam);
    const double start = nowMilliseconds();
    const LRESULT result = CallWindowProcA(g_run->boxProcedure, window, message, wParam, lParam);
    g_run->paints.push_back({start, nowMilliseconds() - start});
    return result;
}

DWORD WINAPI appendUntilTarget(void* parameter) {
    const auto frame = static_cast<HWND>(parameter);
    const std::size_t perRead = kChunksPerRead * (*g_run->chunks)[0].size();
    for (std::size_t read = 0;; ++read) {
        Handover handover{read * kChunksPerRead, 0};
        const double start = nowMilliseconds();
        SendMessageA(frame, kAppendMessage, 0, reinterpret_cast<LPARAM>(&handover));
        g_run->reads.push_back({read * perRead, nowMilliseconds() - start, handover.appendMs});
        if ((read + 1) * perRead >= g_run->target) return 0;
    }
}

// Megabytes of memory the process has in use (its working set; Wine reports no private bytes).
double workingSetMegabytes() {
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof(counters);
    if (!GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof(counters))) return 0;
    return static_cast<double>(counters.WorkingSetSize) / (1024.0 * 1024.0);
}

// Whether the box's text ends with the chunk handed over last.
bool endsWithNewest(const Run& run) {
    const auto length = static_cast<std::size_t>(SendMessageA(run.box, WM_GETTEXTLENGTH, 0, 0));
    std::string text(length + 1, '\0');
    text.resize(static_cast<std::size_t>(SendMessageA(run.box, WM_GETTEXT, length + 1, reinterpret_cast<LPARAM>(text.data()))));
    const std::size_t last = run.reads.size() * kChunksPerRead - 1;
    const std::string& newest = (*run.chunks)[last % run.chunks->size()];
    return text.size() >= newest.size() && text.compare(text.size() - newest.size(), newest.size(), newest) == 0;
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
bool runWorker(HWND frame) {
    const UniqueHandle worker(CreateThread(nullptr, 0, appendUntilTarget, frame, 0, nullptr));
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

double median(std::vector<double> values) {
    if (values.empty()) return 0;
    std::nth_element(values.begin(), values.begin() + values.size() / 2, values.end());
    return values[values.size() / 2];
}

// The 50 reads handed over from the moment fraction of the reference had been handed over (the last
// 50 when the run ended sooner).
std::pair<std::size_t, std::size_t> readsAt(const Run& run, double fraction) {
    const auto threshold = static_cast<std::size_t>(fraction * static_cast<double>(run.reference));
    std::size_t first = 0;
    while (first < run.reads.size() && run.reads[first].handedBefore < threshold) ++first;
    if (run.reads.size() - first < kReadsPerFigure) first = run.reads.size() - std::min(run.reads.size(), kReadsPerFigure);
    return {first, std::min(run.reads.size(), first + kReadsPerFigure)};
}

void report(const char* name, const Run& run, double seconds, double megabytesBefore) {
    double worstTrip = 0;
    for (const ReadTiming& read : run.reads) worstTrip = std::max(worstTrip, read.roundTripMs);
    std::vector<double> paintTimes;
    for (const PaintTiming& paint : run.paints) paintTimes.push_back(paint.milliseconds);
    const std::size_t chunks = run.reads.size() * kChunksPerRead;
    std::printf("%s: %zu chunks of %zu characters in %.1f s, %zu characters handed over, %zu held (limit %zu)\n",
                name, chunks, (*run.chunks)[0].size(), seconds, run.reads.size() * kChunksPerRead * (*run.chunks)[0].size(),
                static_cast<std::size_t>(SendMessageA(run.box, WM_GETTEXTLENGTH, 0, 0)),
                static_cast<std::size_t>(SendMessageA(run.box, EM_GETLIMITTEXT, 0, 0)));
    const bool pastLimit = run.target > run.reference;
    for (const double fraction : {0.01, 0.50, 0.90, 1.10, 1.50, 1.90}) {
        if (fraction > 1 && !pastLimit) break;
        const auto [first, last] = readsAt(run, fraction);
        std::vector<double> appends;
        std::vector<double> trips;
        for (std::size_t i = first; i < last; ++i) {
            appends.push_back(run.reads[i].appendMs);
            trips.push_back(run.reads[i].roundTripMs);
        }
        std::printf("  at %3.0f%%: append %8.3f ms per chunk on the window thread, round trip %7.3f ms per read\n",
                    fraction * 100, median(appends), median(trips));
    }
    if (pastLimit) {
        double sum = 0;
        double slowest = 0;
        std::size_t count = 0;
        for (const ReadTiming& read : run.reads) {
            if (read.handedBefore < run.reference) continue;
            sum += read.appendMs;
            slowest = std::max(slowest, read.appendMs);
            ++count;
        }
        std::printf("  past the limit: mean append %.3f ms per chunk, slowest %.3f ms per chunk (over one read); "
                    "the box ends with the newest chunk: %s\n",
                    count > 0 ? sum / static_cast<double>(count) : 0.0, slowest, endsWithNewest(run) ? "yes" : "no");
    }
    std::printf("  memory: the process uses %.1f MB more than before the run", workingSetMegabytes() - megabytesBefore);
    ReceiveViewDiagnostics diagnostics;
    if (readReceiveViewDiagnostics(run.box, diagnostics))
        std::printf("; the view's text buffer %.1f MB, its line table %.1f MB (%zu lines held)",
                    static_cast<double>(diagnostics.textCapacity) / (1024.0 * 1024.0),
                    static_cast<double>(diagnostics.lineTableCapacity * sizeof(std::uint32_t)) / (1024.0 * 1024.0),
                    static_cast<std::size_t>(SendMessageA(run.box, EM_GETLINECOUNT, 0, 0)));
    std::printf("\n");
    std::printf("  slowest round trip: %.3f ms; %zu paints = %.1f per second, median %.3f ms each\n", worstTrip,
                run.paints.size(), seconds > 0 ? static_cast<double>(run.paints.size()) / seconds : 0.0,
                median(paintTimes));
    std::printf("  throughput: %.0f received bytes/s\n", seconds > 0 ? static_cast<double>(chunks * kBytesPerChunk) / seconds : 0.0);
    std::fflush(stdout);
}

int runBenchmark() {
    const HINSTANCE instance = GetModuleHandleA(nullptr);
    if (!registerReceiveViewClass(instance)) return 1;
    WNDCLASSA frameClass{};
    frameClass.lpfnWndProc = frameProcedure;
    frameClass.hInstance = instance;
    frameClass.hbrBackground = GetSysColorBrush(COLOR_3DFACE);
    frameClass.lpszClassName = "ReceiveViewBenchFrame";
    if (RegisterClassA(&frameClass) == 0) return 1;
    const HWND frame = CreateWindowExA(0, frameClass.lpszClassName, "receive view benchmark",
                                       WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 560, 300, nullptr, nullptr, instance, nullptr);
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
        if (!edit) SendMessageA(box, kReceiveViewKeepNewest, TRUE, 0);  // as the main dialog sets it
        const std::size_t reference = edit ? std::size_t{1} << 20 : kLimit;
        Run run{box, edit ? reference : 2 * reference, reference, &chunks, {}, {}, nullptr};
        run.reads.reserve(run.target / (chunks[0].size() * kChunksPerRead) + 1);
        g_run = &run;
        run.boxProcedure = reinterpret_cast<WNDPROC>(
            SetWindowLongPtrA(box, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&timedBoxProcedure)));
        const double megabytesBefore = workingSetMegabytes();
        const double start = nowMilliseconds();
        if (!runWorker(frame)) return 1;
        report(edit ? "system edit box" : "receive view", run, (nowMilliseconds() - start) / 1000.0, megabytesBefore);
        SetWindowLongPtrA(box, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(run.boxProcedure));
        g_run = nullptr;
        DestroyWindow(box);
    }
    DestroyWindow(frame);
    return 0;
}

}  // namespace
}  // namespace quenlet

int main() { return quenlet::runBenchmark(); }

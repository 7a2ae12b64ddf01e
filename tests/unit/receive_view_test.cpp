// The receive view: its line breaking on its own, then the window as the program and outside tools
// use it (the append sequence from a worker thread, text and selection messages, limit, wrapping,
// scrolling, copying, painting, screen readers) and the cost of an append at 20 MB measured by work
// done.
#include <gtest/gtest.h>

#include <windows.h>
// windows.h first: oleacc.h builds on it.
#include <oleacc.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "framework/com_apartment.h"
#include "framework/handles.h"
#include "framework/ui_handles.h"
#include "ui/receive_view.h"
#include "ui/receive_view_accessibility.h"
#include "ui/receive_view_layout.h"

namespace quenlet {
namespace {

// ---------------------------------------------------------------------------------------------
// Line breaking

// Every character 10 pixels wide, tab stops 40 apart, lines 50 wide: five characters per line.
GlyphAdvances tenPixelAdvances() {
    GlyphAdvances advances;
    advances.width.fill(10);
    advances.tabStop = 40;
    return advances;
}

std::vector<std::size_t> lineStartsOf(const TextLayout& layout) {
    std::vector<std::size_t> starts;
    for (std::size_t line = 0; line < layout.lineCount(); ++line) starts.push_back(layout.lineStart(line));
    return starts;
}

std::vector<std::size_t> layOut(const std::string& text, int width = 50) {
    TextLayout layout;
    layout.setGeometry(tenPixelAdvances(), width);
    layout.assign(text);
    return lineStartsOf(layout);
}

using Starts = std::vector<std::size_t>;

TEST(ReceiveViewLayout, EmptyTextIsOneLine) {
    EXPECT_EQ(layOut(""), Starts({0}));
}

TEST(ReceiveViewLayout, LineFeedEndsALineWithOrWithoutCarriageReturn) {
    EXPECT_EQ(layOut("ab\r\ncd"), Starts({0, 4}));
    EXPECT_EQ(layOut("ab\ncd"), Starts({0, 3}));
    EXPECT_EQ(layOut("ab\r\n"), Starts({0, 4}));
    EXPECT_EQ(layOut("a\r\r\nb"), Starts({0, 4}));
}

TEST(ReceiveViewLayout, LoneCarriageReturnIsAnOrdinaryCharacter) {
    EXPECT_EQ(layOut("ab\rcd"), Starts({0}));
    EXPECT_EQ(layOut("ab\rcdef"), Starts({0, 5}));  // the CR takes room like any character
}

TEST(ReceiveViewLayout, WrapsAfterTheLastBlankThatFits) {
    EXPECT_EQ(layOut("aaa bbb ccc"), Starts({0, 4, 8}));
    EXPECT_EQ(layOut("aa\tbbbb"), Starts({0, 3}));
}

TEST(ReceiveViewLayout, SplitsAWordLongerThanTheLine) {
    EXPECT_EQ(layOut("aaaaaaaaaaaa"), Starts({0, 5, 10}));
    EXPECT_EQ(layOut("ab aaaaaaaaaaaa"), Starts({0, 3, 8, 13}));
}

TEST(ReceiveViewLayout, BlanksPastTheEdgeHangOnTheirLine) {
    EXPECT_EQ(layOut("aaaaa      b"), Starts({0, 11}));
}

TEST(ReceiveViewLayout, EveryLineHoldsACharacterHoweverNarrow) {
    EXPECT_EQ(layOut("abc", 1), Starts({0, 1, 2}));
}

TEST(ReceiveViewLayout, CarriageReturnAtTheEndWaitsForWhatFollows) {
    TextLayout layout;
    layout.setGeometry(tenPixelAdvances(), 50);
    layout.assign("abcde\r");
    EXPECT_EQ(lineStartsOf(layout), Starts({0}));  // no room taken yet
    EXPECT_EQ(layout.lineContentEnd(0), 5u);       // and not shown
    layout.replace(6, 6, "\nx");
    EXPECT_EQ(lineStartsOf(layout), Starts({0, 7}));
    EXPECT_EQ(layout.lineContentEnd(0), 5u);

    layout.assign("abcde\r");
    layout.replace(6, 6, "x");
    EXPECT_EQ(lineStartsOf(layout), Starts({0, 5}));  // now an ordinary character on the next line
}

// Random text appended in random pieces, and edited in the middle, breaks exactly as the whole
// text laid out at once.
TEST(ReceiveViewLayout, PiecewiseAndEditedTextBreaksLikeWholeText) {
    std::mt19937 random(20240607);
    const std::string alphabet = "aaaaabbbcc  \t\r\n\r\nX";
    GlyphAdvances advances = tenPixelAdvances();
    advances.width['a'] = 7;
    advances.width['X'] = 23;
    advances.width[' '] = 4;
    for (int round = 0; round < 200; ++round) {
        std::string text;
        const int length = std::uniform_int_distribution<int>(0, 400)(random);
        for (int i = 0; i < length; ++i) text += alphabet[random() % alphabet.size()];
        const int width = std::uniform_int_distribution<int>(1, 120)(random);

        TextLayout piecewise;
        piecewise.setGeometry(advances, width);
        for (std::size_t at = 0; at < text.size();) {
            const std::size_t piece = std::min<std::size_t>(text.size() - at, 1 + random() % 17);
            piecewise.replace(piecewise.length(), piecewise.length(), text.substr(at, piece));
            at += piece;
        }
        TextLayout whole;
        whole.setGeometry(advances, width);
        whole.assign(text);
        ASSERT_EQ(piecewise.text(), text);
        ASSERT_EQ(lineStartsOf(piecewise), lineStartsOf(whole)) << "round " << round << " width " << width;
        for (std::size_t line = 0; line < whole.lineCount(); ++line)
            ASSERT_EQ(piecewise.lineContentEnd(line), whole.lineContentEnd(line));

        if (text.empty()) continue;
        const std::size_t begin = random() % text.size();
        const std::size_t end = begin + random() % (text.size() - begin);
        const std::string inserted = text.substr(0, random() % 20);
        piecewise.replace(begin, end, inserted);
        text.replace(begin, end - begin, inserted);
        whole.assign(text);
        ASSERT_EQ(piecewise.text(), text);
        ASSERT_EQ(lineStartsOf(piecewise), lineStartsOf(whole)) << "edit, round " << round;
    }
}

TEST(ReceiveViewLayout, AnAppendExaminesOnlyItsOwnTextAndTheLastLine) {
    TextLayout layout;
    layout.setGeometry(tenPixelAdvances(), 300);  // 30 characters a line
    std::string chunk;
    for (int i = 0; i < 1023; ++i) chunk += static_cast<char>(i % 7 == 6 ? ' ' : 'a' + i % 26);
    for (int i = 0; i < 2000; ++i) {
        layout.replace(layout.length(), layout.length(), chunk);
        // Each character once, plus the words moved to a new line, plus the unfinished last line.
        ASSERT_LE(layout.lastBreakWork(), 2 * chunk.size() + 30);
    }
    EXPECT_EQ(layout.length(), 2000 * chunk.size());
}

// Kept within a limit, the text is always the newest part of everything appended, within the
// limit, starting after a line feed (after a blank in hex, which has none), and broken into exactly
// the lines that text has on its own: the lines after a cut are only shifted, never broken again.
TEST(ReceiveViewLayout, KeepingTheNewestDropsWholeLinesOrHexGroupsAndKeepsTheLines) {
    std::mt19937 random(20250117);
    GlyphAdvances advances = tenPixelAdvances();
    advances.width['a'] = 7;
    advances.width[' '] = 4;
    const std::string alphabet = "aaaabbb cc\r\n\n\r\tX\n";
    for (int round = 0; round < 40; ++round) {
        const bool hex = round % 2 == 1;
        const std::size_t limit = 800 + random() % 4000;
        const int width = std::uniform_int_distribution<int>(1, 200)(random);
        TextLayout kept;
        kept.setGeometry(advances, width);
        std::string all;
        std::size_t dropped = 0;
        for (int append = 0; append < 150; ++append) {
            // Mostly chunks of a few dozen characters, now and then one longer than the limit.
            const std::size_t size = append % 50 == 49 ? limit + random() % limit : random() % 120;
            std::string piece;
            char group[4];
            while (piece.size() < size) {
                if (hex) {
                    std::snprintf(group, sizeof(group), "%02X ", static_cast<unsigned>(random() & 0xFF));
                    piece += group;
                } else {
                    piece += alphabet[random() % alphabet.size()];
                }
            }
            all += piece;
            const TextLayout::Dropped drop = kept.appendKeepingNewest(piece, limit);
            dropped += drop.characters;
            const std::string& text = kept.text();
            ASSERT_LE(text.size(), limit) << "round " << round << " append " << append;
            ASSERT_EQ(dropped + text.size(), all.size());
            ASSERT_EQ(all.compare(dropped, text.size(), text), 0) << "round " << round << " append " << append;
            if (dropped > 0) {
                ASSERT_EQ(all[dropped - 1], hex ? ' ' : '\n') << "round " << round << " append " << append;
            }
            // A drop takes what it must and about a sixteenth of the limit more, never twice that.
            if (drop.characters > 0) {
                ASSERT_GE(text.size() + 2 * (limit / 16) + 1, limit);
            }
            TextLayout whole;
            whole.setGeometry(advances, width);
            whole.assign(text);
            ASSERT_EQ(lineStartsOf(kept), lineStartsOf(whole)) << "round " << round << " append " << append;
            for (std::size_t line = 0; line < whole.lineCount(); ++line)
                ASSERT_EQ(kept.lineContentEnd(line), whole.lineContentEnd(line));
        }
    }

    // Blanks past the edge hang on one line however many there are: with no line start near the
    // cut, the text is cut inside that line and its lines are broken again.
    TextLayout hanging;
    hanging.setGeometry(tenPixelAdvances(), 50);
    hanging.appendKeepingNewest("aaaaa", 1000);
    const TextLayout::Dropped drop = hanging.appendKeepingNewest(std::string(3000, ' ') + "b", 1000);
    EXPECT_TRUE(drop.linesBrokenAgain);
    EXPECT_EQ(drop.characters + hanging.length(), 3006u);
    EXPECT_LE(hanging.length(), 1000u);
    TextLayout whole;
    whole.setGeometry(tenPixelAdvances(), 50);
    whole.assign(hanging.text());
    EXPECT_EQ(lineStartsOf(hanging), lineStartsOf(whole));
}

// ---------------------------------------------------------------------------------------------
// The window

constexpr int kViewId = 1000;

// What the parent window heard from the view.
struct ParentLog {
    std::vector<WORD> notifications;
    int contextMenus = 0;

    int count(WORD code) const { return static_cast<int>(std::count(notifications.begin(), notifications.end(), code)); }
};
ParentLog g_parentLog;

LRESULT CALLBACK parentProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_COMMAND && LOWORD(wParam) == kViewId) g_parentLog.notifications.push_back(HIWORD(wParam));
    if (message == WM_CONTEXTMENU) ++g_parentLog.contextMenus;
    return DefWindowProcA(window, message, wParam, lParam);
}

class OwnedWindow {
public:
    explicit OwnedWindow(HWND window = nullptr) : window_(window) {}
    ~OwnedWindow() {
        if (window_ != nullptr) DestroyWindow(window_);
    }
    OwnedWindow(const OwnedWindow&) = delete;
    OwnedWindow& operator=(const OwnedWindow&) = delete;
    HWND get() const { return window_; }

private:
    HWND window_;
};

LRESULT send(HWND window, UINT message, WPARAM wParam = 0, LPARAM lParam = 0) {
    return SendMessageA(window, message, wParam, lParam);
}

// Exactly what the program does for every received chunk.
void appendReceived(HWND box, const char* text) {
    const LRESULT length = SendMessageA(box, WM_GETTEXTLENGTH, 0, 0);
    SendMessageA(box, EM_SETSEL, static_cast<WPARAM>(length), length);
    SendMessageA(box, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(text));
}

std::string textOf(HWND box) {
    const auto length = static_cast<std::size_t>(send(box, WM_GETTEXTLENGTH));
    std::string text(length + 1, '\0');
    const auto copied = static_cast<std::size_t>(send(box, WM_GETTEXT, length + 1, reinterpret_cast<LPARAM>(text.data())));
    text.resize(copied);
    return text;
}

std::pair<DWORD, DWORD> selectionOf(HWND box) {
    DWORD start = 0;
    DWORD end = 0;
    send(box, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
    return {start, end};
}

std::size_t lineCountOf(HWND box) { return static_cast<std::size_t>(send(box, EM_GETLINECOUNT)); }
std::size_t firstVisibleOf(HWND box) { return static_cast<std::size_t>(send(box, EM_GETFIRSTVISIBLELINE)); }

std::string clipboardText() {
    if (!OpenClipboard(nullptr)) return "<clipboard busy>";
    std::string text = "<no CF_TEXT>";
    if (const HANDLE data = GetClipboardData(CF_TEXT)) {
        if (const auto* bytes = static_cast<const char*>(GlobalLock(data))) {
            text = bytes;
            GlobalUnlock(data);
        }
    }
    CloseClipboard();
    return text;
}

// Dispatches this thread's messages until handle is signalled or the time is up.
bool pumpUntilSignalled(HANDLE handle, DWORD timeoutMs) {
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    for (;;) {
        const ULONGLONG now = GetTickCount64();
        if (now >= deadline) return false;
        const DWORD woke = MsgWaitForMultipleObjects(1, &handle, FALSE, static_cast<DWORD>(deadline - now), QS_ALLINPUT);
        if (woke == WAIT_OBJECT_0) return true;
        if (woke != WAIT_OBJECT_0 + 1) return false;
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
    }
}

template <typename Work>
DWORD WINAPI runWork(void* work) {
    (*static_cast<Work*>(work))();
    return 0;
}

// Runs work on a thread of its own while this thread dispatches its messages (those the work
// sends the view among them); false when it did not end in time.
template <typename Work>
bool runOnAnotherThread(Work& work, DWORD timeoutMs = 10000) {
    const UniqueHandle thread(CreateThread(nullptr, 0, runWork<Work>, &work, 0, nullptr));
    return thread && pumpUntilSignalled(thread.get(), timeoutMs);
}

constexpr DWORD kViewStyle = WS_CHILD | WS_VISIBLE | WS_VSCROLL | WS_TABSTOP | ES_MULTILINE | ES_AUTOVSCROLL | ES_READONLY;

// The shown top-level window the views live in. It lasts as long as the process and goes with it:
// destroying a shown window waits two seconds for a window manager on a bare X server.
HWND sharedParent() {
    static const HWND parent = [] {
        const HINSTANCE instance = GetModuleHandleA(nullptr);
        WNDCLASSA parentClass{};
        parentClass.lpfnWndProc = parentProcedure;
        parentClass.hInstance = instance;
        parentClass.lpszClassName = "ReceiveViewTestParent";
        RegisterClassA(&parentClass);
        return CreateWindowExA(0, "ReceiveViewTestParent", "receive view test", WS_POPUP | WS_VISIBLE, 0, 0, 700, 300,
                               nullptr, nullptr, instance, nullptr);
    }();
    return parent;
}

class ReceiveViewTest : public ::testing::Test {
protected:
    void SetUp() override {
        const HINSTANCE instance = GetModuleHandleA(nullptr);
        ASSERT_TRUE(registerReceiveViewClass(instance));
        ASSERT_TRUE(registerReceiveViewClass(instance));  // a second call is harmless
        ASSERT_NE(sharedParent(), nullptr);
        g_parentLog = ParentLog();
        ownedView_ = std::make_unique<OwnedWindow>(createView(kReceiveViewClassName));
        view_ = ownedView_->get();
        ASSERT_NE(view_, nullptr);

        const HDC screen = GetDC(nullptr);
        const int height = -MulDiv(8, GetDeviceCaps(screen, LOGPIXELSY), 72);
        ReleaseDC(nullptr, screen);
        font_.reset(CreateFontA(height, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, ANSI_CHARSET, OUT_DEFAULT_PRECIS,
                                CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, FIXED_PITCH | FF_MODERN, "Courier New"));
        ASSERT_TRUE(font_);
        send(view_, WM_SETFONT, reinterpret_cast<WPARAM>(font_.get()), TRUE);
    }

    void TearDown() override { ownedView_.reset(); }

    HWND createView(const char* className, int id = kViewId) const {
        return CreateWindowExA(WS_EX_CLIENTEDGE, className, "", kViewStyle, 10, 10, 300, 100, sharedParent(),
                               reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), GetModuleHandleA(nullptr), nullptr);
    }

    int lineHeight() const {
        const HDC dc = GetDC(view_);
        const HGDIOBJ previous = SelectObject(dc, font_.get());
        TEXTMETRICA metrics{};
        GetTextMetricsA(dc, &metrics);
        SelectObject(dc, previous);
        ReleaseDC(view_, dc);
        return metrics.tmHeight;
    }

    int textWidth(const char* text) const {
        const HDC dc = GetDC(view_);
        const HGDIOBJ previous = SelectObject(dc, font_.get());
        SIZE size{};
        GetTextExtentPoint32A(dc, text, static_cast<int>(std::strlen(text)), &size);
        SelectObject(dc, previous);
        ReleaseDC(view_, dc);
        return size.cx;
    }

    RECT clientRect() const {
        RECT client{};
        GetClientRect(view_, &client);
        return client;
    }

    ReceiveViewDiagnostics diagnostics() const {
        ReceiveViewDiagnostics result;
        EXPECT_TRUE(readReceiveViewDiagnostics(view_, result));
        return result;
    }

    std::unique_ptr<OwnedWindow> ownedView_;
    HWND view_ = nullptr;
    UniqueFont font_;
};

// --- text messages ---

struct WorkerJob {
    HWND box;
    const std::vector<std::string>* chunks;
};

DWORD WINAPI appendChunks(void* parameter) {
    const auto* job = static_cast<const WorkerJob*>(parameter);
    for (const std::string& chunk : *job->chunks) appendReceived(job->box, chunk.c_str());
    return 0;
}

TEST_F(ReceiveViewTest, AppendSequenceFromAWorkerThreadBuildsTheExactText) {
    send(view_, EM_LIMITTEXT, 0x1400000);
    std::vector<std::string> chunks;
    std::string expected;
    for (int i = 0; i < 300; ++i) {
        std::string chunk;
        if (i % 2 == 0) {
            chunk = "line " + std::to_string(i) + " of received text\r\n";
        } else {
            char pair[4];
            for (int b = 0; b < 40; ++b) {
                std::snprintf(pair, sizeof(pair), "%02X ", static_cast<unsigned>((i * 7 + b) & 0xFF));
                chunk += pair;
            }
        }
        expected += chunk;
        chunks.push_back(std::move(chunk));
    }
    WorkerJob job{view_, &chunks};
    const UniqueHandle worker(CreateThread(nullptr, 0, appendChunks, &job, 0, nullptr));
    ASSERT_TRUE(worker);
    ASSERT_TRUE(pumpUntilSignalled(worker.get(), 10000));

    EXPECT_EQ(textOf(view_), expected);
    EXPECT_EQ(static_cast<std::size_t>(send(view_, WM_GETTEXTLENGTH)), expected.size());
    EXPECT_EQ(selectionOf(view_), std::make_pair(static_cast<DWORD>(expected.size()), static_cast<DWORD>(expected.size())));
    EXPECT_GT(lineCountOf(view_), 150u);
    EXPECT_EQ(g_parentLog.count(EN_CHANGE), 300);
    EXPECT_EQ(g_parentLog.count(EN_MAXTEXT), 0);
}

TEST_F(ReceiveViewTest, GetTextCopiesAtMostOneLessThanTheBufferAndATerminator) {
    send(view_, WM_SETTEXT, 0, reinterpret_cast<LPARAM>("0123456789"));
    EXPECT_EQ(send(view_, WM_GETTEXTLENGTH), 10);

    char buffer[16];
    std::memset(buffer, '#', sizeof(buffer));
    EXPECT_EQ(send(view_, WM_GETTEXT, 5, reinterpret_cast<LPARAM>(buffer)), 4);
    EXPECT_STREQ(buffer, "0123");
    EXPECT_EQ(buffer[5], '#');

    std::memset(buffer, '#', sizeof(buffer));
    EXPECT_EQ(send(view_, WM_GETTEXT, 0, reinterpret_cast<LPARAM>(buffer)), 0);
    EXPECT_EQ(buffer[0], '#');

    EXPECT_EQ(send(view_, WM_GETTEXT, 11, reinterpret_cast<LPARAM>(buffer)), 10);
    EXPECT_STREQ(buffer, "0123456789");
    EXPECT_EQ(send(view_, WM_GETTEXT, sizeof(buffer), reinterpret_cast<LPARAM>(buffer)), 10);
}

TEST_F(ReceiveViewTest, SetTextReplacesEverythingAndEmptyTextClears) {
    for (int i = 0; i < 50; ++i) appendReceived(view_, "some received line\r\n");
    ASSERT_GT(firstVisibleOf(view_), 0u);

    send(view_, WM_SETTEXT, 0, reinterpret_cast<LPARAM>("Receiving file to...\r\nC:\\capture.bin"));
    EXPECT_EQ(textOf(view_), "Receiving file to...\r\nC:\\capture.bin");
    EXPECT_EQ(lineCountOf(view_), 2u);
    EXPECT_EQ(firstVisibleOf(view_), 0u);
    EXPECT_EQ(selectionOf(view_), std::make_pair(DWORD{0}, DWORD{0}));

    send(view_, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(""));
    EXPECT_EQ(send(view_, WM_GETTEXTLENGTH), 0);
    EXPECT_EQ(lineCountOf(view_), 1u);
    appendReceived(view_, "new data");
    EXPECT_EQ(textOf(view_), "new data");
}

TEST_F(ReceiveViewTest, LimitKeepsWhatFitsAndReportsTheRest) {
    EXPECT_EQ(send(view_, EM_GETLIMITTEXT), 30000);  // an edit box's default
    send(view_, EM_LIMITTEXT, 10);
    EXPECT_EQ(send(view_, EM_GETLIMITTEXT), 10);
    appendReceived(view_, "12345678");
    EXPECT_EQ(g_parentLog.count(EN_MAXTEXT), 0);
    appendReceived(view_, "abcde");
    EXPECT_EQ(textOf(view_), "12345678ab");
    EXPECT_EQ(g_parentLog.count(EN_MAXTEXT), 1);
    appendReceived(view_, "z");
    EXPECT_EQ(textOf(view_), "12345678ab");
    EXPECT_EQ(g_parentLog.count(EN_MAXTEXT), 2);

    send(view_, EM_SETLIMITTEXT, 0);
    EXPECT_EQ(send(view_, EM_GETLIMITTEXT), 0x7FFFFFFE);
}

// The same messages to an edit box and to the view leave the same text and selection.
TEST_F(ReceiveViewTest, TextAndSelectionMessagesMatchAnEditBox) {
    const OwnedWindow edit(createView("EDIT", 1001));
    ASSERT_NE(edit.get(), nullptr);
    const HWND boxes[] = {edit.get(), view_};

    struct Step {
        UINT message;
        WPARAM wParam;
        LPARAM lParam;
    };
    const auto text = [](const char* value) { return reinterpret_cast<LPARAM>(value); };
    const Step steps[] = {
        {WM_SETTEXT, 0, text("0123456789")},
        {EM_SETSEL, 5, 2},
        {EM_SETSEL, static_cast<WPARAM>(-1), 0},
        {EM_SETSEL, 2, -1},
        {EM_SETSEL, 3, 4},
        {EM_SETSEL, static_cast<WPARAM>(-1), 7},
        {EM_SETSEL, 4, 50},
        {EM_SETSEL, static_cast<WPARAM>(-5), 3},
        {EM_SETSEL, 3, 6},
        {EM_REPLACESEL, FALSE, text("abc\r\ndef")},
        {EM_SETSEL, 0, 2},
        {EM_REPLACESEL, FALSE, text("")},
        {EM_LIMITTEXT, 10, 0},
        {WM_SETTEXT, 0, text("0123456789ABCDEF")},  // not cut: the limit is for replacements
        {EM_SETSEL, 3, 3},
        {EM_REPLACESEL, FALSE, text("x")},
        {EM_SETSEL, 3, 5},
        {EM_REPLACESEL, FALSE, text("xyz")},
        {EM_SETSEL, 0, 10},
        {EM_REPLACESEL, FALSE, text("pq")},
        {EM_SETSEL, 6, 6},
        {EM_REPLACESEL, FALSE, text("123456789")},
    };
    int index = 0;
    for (const Step& step : steps) {
        LRESULT results[2];
        for (int box = 0; box < 2; ++box) results[box] = send(boxes[box], step.message, step.wParam, step.lParam);
        if (step.message == WM_SETTEXT) {
            EXPECT_EQ(results[0], results[1]) << "step " << index;
        }
        EXPECT_EQ(textOf(boxes[0]), textOf(boxes[1])) << "step " << index;
        EXPECT_EQ(selectionOf(boxes[0]), selectionOf(boxes[1])) << "step " << index;
        EXPECT_EQ(send(boxes[0], EM_GETSEL), send(boxes[1], EM_GETSEL)) << "step " << index;
        EXPECT_EQ(send(boxes[0], WM_GETTEXTLENGTH), send(boxes[1], WM_GETTEXTLENGTH)) << "step " << index;
        ++index;
    }
    for (const char* sample : {"", "ab\r\n", "ab\r\ncd", "ab\rcd", "x\r\n\r\n"}) {
        send(edit.get(), WM_SETTEXT, 0, text(sample));
        send(view_, WM_SETTEXT, 0, text(sample));
        EXPECT_EQ(lineCountOf(edit.get()), lineCountOf(view_)) << sample;
    }
}

// --- lines, wrapping and scrolling ---

TEST_F(ReceiveViewTest, LineBreaksStartNewLinesEvenWhenSplitAcrossAppends) {
    appendReceived(view_, "ab\r\ncd");
    EXPECT_EQ(lineCountOf(view_), 2u);
    EXPECT_EQ(send(view_, EM_LINEINDEX, 1), 4);

    send(view_, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(""));
    appendReceived(view_, "ab\r");
    EXPECT_EQ(lineCountOf(view_), 1u);
    appendReceived(view_, "\ncd");
    EXPECT_EQ(lineCountOf(view_), 2u);
    EXPECT_EQ(send(view_, EM_LINEINDEX, 1), 4);
    EXPECT_EQ(send(view_, EM_LINELENGTH, 0), 2);

    // A lone LF also starts a line; a lone CR stays in its line.
    send(view_, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(""));
    appendReceived(view_, "ab\ncd\ref");
    EXPECT_EQ(lineCountOf(view_), 2u);
    EXPECT_EQ(send(view_, EM_LINELENGTH, 3), 5);
}

TEST_F(ReceiveViewTest, LongLinesWrapAtTheWidthAndAgainWhenResized) {
    std::string words;
    for (int i = 0; i < 60; ++i) words += "word ";
    appendReceived(view_, words.c_str());
    const std::size_t lines = lineCountOf(view_);
    ASSERT_GT(lines, 1u);
    const std::string text = textOf(view_);
    for (std::size_t line = 1; line < lines; ++line) {
        const auto start = static_cast<std::size_t>(send(view_, EM_LINEINDEX, line));
        EXPECT_EQ(text[start - 1], ' ') << "line " << line << " does not start after a space";
    }
    // Each full line holds as many words as fit in the text width.
    const int wordsPerLine = static_cast<int>(send(view_, EM_LINEINDEX, 1)) / 5;
    EXPECT_LE(textWidth("word") + (wordsPerLine - 1) * textWidth("word "), clientRect().right);
    EXPECT_GT((wordsPerLine + 1) * textWidth("word "), clientRect().right - 10);

    SetWindowPos(view_, nullptr, 0, 0, 150, 100, SWP_NOMOVE | SWP_NOZORDER);
    const std::size_t narrowLines = lineCountOf(view_);
    EXPECT_GT(narrowLines, lines);
    SetWindowPos(view_, nullptr, 0, 0, 600, 100, SWP_NOMOVE | SWP_NOZORDER);
    EXPECT_LT(lineCountOf(view_), lines);

    // Hex text without line breaks wraps between pairs; a run without blanks is split.
    send(view_, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(std::string(400, 'x').c_str()));
    EXPECT_GT(lineCountOf(view_), 1u);
}

TEST_F(ReceiveViewTest, TheViewFollowsTheEndOfTheText) {
    for (int i = 0; i < 100; ++i) appendReceived(view_, ("line " + std::to_string(i) + "\r\n").c_str());
    const std::size_t lines = lineCountOf(view_);
    EXPECT_EQ(lines, 101u);
    const std::size_t first = firstVisibleOf(view_);
    ASSERT_GT(first, 0u);
    const std::size_t visible = lines - first;
    EXPECT_GE(visible, 1u);
    EXPECT_LE(static_cast<int>(visible) * lineHeight(), clientRect().bottom);
    EXPECT_GT(static_cast<int>(visible + 1) * lineHeight(), clientRect().bottom - 2);

    send(view_, EM_LINESCROLL, 0, -50);
    EXPECT_EQ(firstVisibleOf(view_), first - 50);
    appendReceived(view_, "one more\r\n");
    EXPECT_EQ(firstVisibleOf(view_), first + 1);
    send(view_, EM_LINESCROLL, 0, 1000);  // never past the end
    EXPECT_EQ(firstVisibleOf(view_), first + 1);

    // A resize keeps the end in view, or else the first line shown.
    SetWindowPos(view_, nullptr, 0, 0, 200, 60, SWP_NOMOVE | SWP_NOZORDER);
    const std::size_t endFirst = firstVisibleOf(view_);
    EXPECT_GT(endFirst, first + 1);
    send(view_, EM_LINESCROLL, 0, 1);
    EXPECT_EQ(firstVisibleOf(view_), endFirst);
    send(view_, EM_LINESCROLL, 0, -30);
    SetWindowPos(view_, nullptr, 0, 0, 200, 100, SWP_NOMOVE | SWP_NOZORDER);
    EXPECT_EQ(firstVisibleOf(view_), endFirst - 30);
}

void setControlKey(bool down) {
    BYTE keys[256];
    GetKeyboardState(keys);
    keys[VK_CONTROL] = down ? 0x80 : 0;
    SetKeyboardState(keys);
}

TEST_F(ReceiveViewTest, KeysWheelAndScrollBarScroll) {
    for (int i = 0; i < 100; ++i) appendReceived(view_, "text\r\n");
    const std::size_t last = firstVisibleOf(view_);
    const std::size_t page = lineCountOf(view_) - last;
    ASSERT_GT(last, 2 * page);

    send(view_, WM_KEYDOWN, VK_PRIOR);
    EXPECT_EQ(firstVisibleOf(view_), last - page);
    send(view_, WM_KEYDOWN, VK_UP);
    EXPECT_EQ(firstVisibleOf(view_), last - page - 1);
    send(view_, WM_KEYDOWN, VK_NEXT);
    EXPECT_EQ(firstVisibleOf(view_), last - 1);
    send(view_, WM_KEYDOWN, VK_DOWN);
    EXPECT_EQ(firstVisibleOf(view_), last);

    UINT wheelLines = 3;
    SystemParametersInfoA(SPI_GETWHEELSCROLLLINES, 0, &wheelLines, 0);
    send(view_, WM_MOUSEWHEEL, MAKEWPARAM(0, WHEEL_DELTA), 0);
    EXPECT_EQ(firstVisibleOf(view_), last - wheelLines);

    setControlKey(true);
    send(view_, WM_KEYDOWN, VK_HOME);
    EXPECT_EQ(firstVisibleOf(view_), 0u);
    send(view_, WM_KEYDOWN, VK_END);
    EXPECT_EQ(firstVisibleOf(view_), last);
    setControlKey(false);

    send(view_, WM_VSCROLL, SB_TOP);
    EXPECT_EQ(firstVisibleOf(view_), 0u);
    SCROLLINFO info{};
    info.cbSize = sizeof(info);
    info.fMask = SIF_ALL;
    ASSERT_TRUE(GetScrollInfo(view_, SB_VERT, &info));
    EXPECT_EQ(info.nMax + 1, static_cast<int>(lineCountOf(view_)));
    EXPECT_EQ(info.nPage, page);
    EXPECT_EQ(info.nPos, 0);
    send(view_, WM_VSCROLL, SB_BOTTOM);
    EXPECT_EQ(firstVisibleOf(view_), last);
}

// --- selection and the dialog ---

TEST_F(ReceiveViewTest, SelectionIsCopiedAsText) {
    send(view_, WM_SETTEXT, 0, reinterpret_cast<LPARAM>("hello world\r\nsecond line"));
    send(view_, EM_SETSEL, 6, 17);
    send(view_, WM_COPY);
    EXPECT_EQ(clipboardText(), "world\r\nseco");

    send(view_, EM_SETSEL, 0, 5);
    send(view_, WM_CHAR, 0x03);  // Ctrl+C
    EXPECT_EQ(clipboardText(), "hello");

    send(view_, WM_CLEAR);  // read-only: these change nothing
    send(view_, WM_CUT);
    send(view_, WM_PASTE);
    EXPECT_EQ(textOf(view_), "hello world\r\nsecond line");
}

TEST_F(ReceiveViewTest, MouseSelectsByDragShiftClickAndDoubleClick) {
    send(view_, WM_SETTEXT, 0, reinterpret_cast<LPARAM>("hello world\r\nsecond line"));
    const int y = 1 + lineHeight() / 2;
    const int left = 4;  // where an edit box starts its text
    send(view_, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(left, y));
    send(view_, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(left + textWidth("hello") + 1, y));
    send(view_, WM_LBUTTONUP, 0, MAKELPARAM(left + textWidth("hello") + 1, y));
    EXPECT_EQ(selectionOf(view_), std::make_pair(DWORD{0}, DWORD{5}));
    EXPECT_EQ(GetFocus(), view_);

    send(view_, WM_LBUTTONDOWN, MK_LBUTTON | MK_SHIFT, MAKELPARAM(left + textWidth("sec") + 1, y + lineHeight()));
    send(view_, WM_LBUTTONUP, 0, 0);
    EXPECT_EQ(selectionOf(view_), std::make_pair(DWORD{0}, DWORD{16}));

    send(view_, WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(left + textWidth("hello wo"), y));
    send(view_, WM_LBUTTONUP, 0, 0);
    EXPECT_EQ(selectionOf(view_), std::make_pair(DWORD{6}, DWORD{11}));
    send(view_, WM_COPY);
    EXPECT_EQ(clipboardText(), "world");
}

TEST_F(ReceiveViewTest, DialogKeysAndRightButtonStayWithTheDialog) {
    const LRESULT code = send(view_, WM_GETDLGCODE);
    EXPECT_EQ(code, DLGC_WANTCHARS | DLGC_HASSETSEL | DLGC_WANTARROWS);
    MSG enter{};
    enter.message = WM_KEYDOWN;
    enter.wParam = VK_RETURN;
    EXPECT_EQ(send(view_, WM_GETDLGCODE, VK_RETURN, reinterpret_cast<LPARAM>(&enter)) & (DLGC_WANTALLKEYS | DLGC_WANTTAB | DLGC_WANTMESSAGE), 0);

    send(view_, WM_SETTEXT, 0, reinterpret_cast<LPARAM>("text"));
    send(view_, WM_RBUTTONDOWN, MK_RBUTTON, MAKELPARAM(5, 5));
    send(view_, WM_RBUTTONUP, 0, MAKELPARAM(5, 5));
    EXPECT_EQ(g_parentLog.contextMenus, 0);
    EXPECT_EQ(textOf(view_), "text");
}

// Builds an in-memory dialog template: Courier New 8 pt, one receive box with id 1000.
std::vector<WORD> receiveBoxDialogTemplate() {
    std::vector<WORD> words;
    const auto dword = [&](DWORD value) {
        words.push_back(LOWORD(value));
        words.push_back(HIWORD(value));
    };
    const auto string = [&](const char* value) {
        for (; *value != '\0'; ++value) words.push_back(static_cast<WORD>(*value));
        words.push_back(0);
    };
    dword(WS_POPUP | DS_SETFONT | DS_MODALFRAME);
    dword(0);
    words.push_back(1);                                    // one control
    for (const WORD value : {0, 0, 296, 70}) words.push_back(value);
    words.push_back(0);                                    // no menu
    words.push_back(0);                                    // standard dialog class
    string("");                                            // no title
    words.push_back(8);
    string("Courier New");
    if (words.size() % 2 != 0) words.push_back(0);        // items start on a DWORD
    dword(kViewStyle & ~WS_VISIBLE);
    dword(WS_EX_CLIENTEDGE);
    for (const WORD value : {2, 4, 290, 60}) words.push_back(value);
    words.push_back(kViewId);
    string(kReceiveViewClassName);
    string("");
    words.push_back(0);                                    // no creation data
    return words;
}

INT_PTR CALLBACK defaultDialogProcedure(HWND, UINT, WPARAM, LPARAM) { return FALSE; }

TEST_F(ReceiveViewTest, ADialogTemplateCreatesTheViewWithTheDialogFont) {
    const std::vector<WORD> dialogTemplate = receiveBoxDialogTemplate();
    const OwnedWindow dialog(CreateDialogIndirectParamA(GetModuleHandleA(nullptr),
                                                        reinterpret_cast<const DLGTEMPLATE*>(dialogTemplate.data()),
                                                        nullptr, defaultDialogProcedure, 0));
    ASSERT_NE(dialog.get(), nullptr);
    const HWND box = GetDlgItem(dialog.get(), kViewId);
    ASSERT_NE(box, nullptr);
    char className[64] = {};
    GetClassNameA(box, className, sizeof(className));
    EXPECT_STREQ(className, kReceiveViewClassName);
    EXPECT_EQ(send(box, WM_GETFONT), send(dialog.get(), WM_GETFONT));
    EXPECT_NE(send(box, WM_GETFONT), 0);

    send(box, EM_LIMITTEXT, 0x1400000);
    appendReceived(box, "41 42 ");
    appendReceived(box, "43 ");
    EXPECT_EQ(textOf(box), "41 42 43 ");
}

// --- painting and cost ---

// Counts the pixels in rows [top, bottom) of the view's client area, painted through
// WM_PRINTCLIENT, that differ from the background colour.
int inkedPixels(HWND view, int top, int bottom) {
    RECT client{};
    GetClientRect(view, &client);
    const HDC screen = GetDC(view);
    const HDC memory = CreateCompatibleDC(screen);
    const UniqueBitmap bitmap(CreateCompatibleBitmap(screen, client.right, client.bottom));
    ReleaseDC(view, screen);
    const HGDIOBJ previous = SelectObject(memory, bitmap.get());
    SendMessageA(view, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(memory), PRF_CLIENT);
    const COLORREF background = GetPixel(memory, client.right - 1, client.bottom - 1);
    int inked = 0;
    for (int y = std::max(top, 0); y < std::min<int>(bottom, client.bottom); ++y)
        for (int x = 0; x < client.right; ++x) inked += GetPixel(memory, x, y) != background;
    SelectObject(memory, previous);
    DeleteDC(memory);
    return inked;
}

TEST_F(ReceiveViewTest, PaintingDrawsTheVisibleLinesOnly) {
    EXPECT_EQ(inkedPixels(view_, 0, clientRect().bottom), 0);
    appendReceived(view_, "MMMMMMMM");
    EXPECT_GT(inkedPixels(view_, 0, lineHeight() + 1), 20);
    EXPECT_EQ(inkedPixels(view_, lineHeight() + 2, clientRect().bottom), 0);

    send(view_, EM_LIMITTEXT, 0x1400000);
    std::string chunk;
    for (int i = 0; i < 1023; ++i) chunk += static_cast<char>(i % 60 == 59 ? '\n' : 'A' + i % 26);
    for (int i = 0; i < 200; ++i) appendReceived(view_, chunk.c_str());
    InvalidateRect(view_, nullptr, FALSE);
    UpdateWindow(view_);
    const ReceiveViewDiagnostics painted = diagnostics();
    const std::size_t visible = lineCountOf(view_) - firstVisibleOf(view_);
    EXPECT_GE(painted.linesPaintedByLastPaint, visible);
    EXPECT_LE(painted.linesPaintedByLastPaint, visible);
    EXPECT_LE(painted.charactersPaintedByLastPaint, visible * 60);
    EXPECT_GT(inkedPixels(view_, 0, clientRect().bottom), 100);
}

TEST_F(ReceiveViewTest, AppendCostStaysFlatUpToTheTwentyMegabyteLimitAndPastIt) {
    constexpr std::size_t kLimit = 20971520;
    send(view_, EM_LIMITTEXT, kLimit);
    std::string text(1023, ' ');
    std::string hex;
    for (int i = 0; i < 341; ++i) hex += "A5 ";
    for (std::size_t i = 0; i < text.size(); ++i) text[i] = i % 80 == 78 ? '\r' : i % 80 == 79 ? '\n' : static_cast<char>('a' + i % 23);
    std::size_t worst = 0;
    std::size_t total = 0;
    std::size_t appends = 0;
    while (static_cast<std::size_t>(send(view_, WM_GETTEXTLENGTH)) < kLimit) {
        const std::string& chunk = appends % 3 == 0 ? hex : text;
        appendReceived(view_, chunk.c_str());
        const std::size_t work = diagnostics().charactersExaminedByLastChange;
        worst = std::max(worst, work);
        total += work;
        ++appends;
        ASSERT_LT(appends, 30000u);
    }
    EXPECT_EQ(static_cast<std::size_t>(send(view_, WM_GETTEXTLENGTH)), kLimit);
    EXPECT_EQ(g_parentLog.count(EN_MAXTEXT), 1);
    // No append looked at more than twice its own text plus one line; none at the text before.
    EXPECT_LE(worst, 2 * 1023u + 200);
    EXPECT_LE(total, 2 * kLimit);

    appendReceived(view_, "more");
    EXPECT_EQ(static_cast<std::size_t>(send(view_, WM_GETTEXTLENGTH)), kLimit);
    EXPECT_EQ(diagnostics().charactersExaminedByLastChange, 0u);
    EXPECT_EQ(g_parentLog.count(EN_MAXTEXT), 2);

    // A full box paints (and prints) only what it shows.
    UpdateWindow(GetParent(view_));
    InvalidateRect(view_, nullptr, FALSE);
    UpdateWindow(view_);
    const std::size_t visible = lineCountOf(view_) - firstVisibleOf(view_);
    EXPECT_LE(diagnostics().linesPaintedByLastPaint, visible);
    const HDC screen = GetDC(view_);
    const HDC memory = CreateCompatibleDC(screen);
    const UniqueBitmap bitmap(CreateCompatibleBitmap(screen, 400, 200));
    ReleaseDC(view_, screen);
    const HGDIOBJ previous = SelectObject(memory, bitmap.get());
    EXPECT_TRUE(PrintWindow(view_, memory, 0));
    SelectObject(memory, previous);
    DeleteDC(memory);
    EXPECT_LE(diagnostics().linesPaintedByLastPaint, visible);
    EXPECT_GT(diagnostics().linesPaintedByLastPaint, 0u);

    // Keeping the newest text, every append past the limit shows: the oldest whole lines go, a
    // sixteenth of the limit at a time. An append still breaks only its own text; a drop moves
    // the rest of the text once, and comes at most once per sixteenth of the limit appended.
    ASSERT_EQ(send(view_, kReceiveViewKeepNewest, TRUE), TRUE);
    constexpr std::size_t kSlice = kLimit / 16;
    std::string expected = textOf(view_);
    std::size_t appended = 0;
    std::size_t drops = 0;
    std::size_t appendedAtLastDrop = 0;
    worst = 0;
    while (appended < 4 * kSlice) {
        const std::string& chunk = appends % 3 == 0 ? hex : text;
        appendReceived(view_, chunk.c_str());
        ++appends;
        expected += chunk;
        appended += chunk.size();
        const ReceiveViewDiagnostics work = diagnostics();
        worst = std::max(worst, work.charactersExaminedByLastChange);
        const auto length = static_cast<std::size_t>(send(view_, WM_GETTEXTLENGTH));
        ASSERT_LE(length, kLimit);
        if (work.dropWorkByLastChange == 0) {
            ASSERT_EQ(length, expected.size());
            continue;
        }
        if (drops++ > 0) {
            EXPECT_GE(appended - appendedAtLastDrop, kSlice - 2 * 1023) << "drop " << drops;
        }
        appendedAtLastDrop = appended;
        EXPECT_LE(work.dropWorkByLastChange, kLimit + kSlice) << "drop " << drops;
        // The newest text, starting after a line break, about a slice below the limit.
        const std::string shown = textOf(view_);
        ASSERT_EQ(shown.size(), length);
        ASSERT_LT(shown.size(), expected.size());
        ASSERT_EQ(expected.compare(expected.size() - shown.size(), shown.size(), shown), 0) << "drop " << drops;
        EXPECT_EQ(expected[expected.size() - shown.size() - 1], '\n') << "drop " << drops;
        EXPECT_GE(shown.size(), kLimit - kSlice - 1200) << "drop " << drops;
        expected = shown;
    }
    EXPECT_GE(drops, 4u);
    EXPECT_LE(worst, 2 * 1023u + 200);
    EXPECT_EQ(g_parentLog.count(EN_MAXTEXT), 2);  // nothing was refused
    const std::string shown = textOf(view_);
    EXPECT_EQ(shown, expected);
    const std::string& last = (appends - 1) % 3 == 0 ? hex : text;
    EXPECT_EQ(shown.substr(shown.size() - last.size()), last);
    // The edit messages describe the kept text: caret at its end, lines as a new box breaks them,
    // the view at the end.
    EXPECT_EQ(selectionOf(view_), std::make_pair(static_cast<DWORD>(shown.size()), static_cast<DWORD>(shown.size())));
    EXPECT_EQ(send(view_, EM_GETLIMITTEXT), static_cast<LRESULT>(kLimit));
    EXPECT_EQ(lineCountOf(view_) - firstVisibleOf(view_), visible);
    const OwnedWindow fresh(createView(kReceiveViewClassName, 1002));
    send(fresh.get(), WM_SETFONT, reinterpret_cast<WPARAM>(font_.get()), TRUE);
    send(fresh.get(), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(shown.c_str()));
    ASSERT_EQ(lineCountOf(view_), lineCountOf(fresh.get()));
    for (std::size_t line = 0; line < lineCountOf(view_); line += 997)
        ASSERT_EQ(send(view_, EM_LINEINDEX, line), send(fresh.get(), EM_LINEINDEX, line)) << "line " << line;
    const LRESULT lastLine = static_cast<LRESULT>(lineCountOf(view_) - 1);
    EXPECT_EQ(send(view_, EM_LINEINDEX, lastLine), send(fresh.get(), EM_LINEINDEX, lastLine));
    EXPECT_EQ(send(view_, EM_LINEFROMCHAR, shown.size() - 1), lastLine);
    // Memory stays near the limit: the buffer the text grew before it was kept went back, and the
    // one it holds now has room for the limit and a slice.
    EXPECT_LE(diagnostics().textCapacity, kLimit + kSlice);
}

// A user reading older text keeps it in view while appends push the oldest text out, and keeps
// the selection made on it; text that is gone is gone. Back at the end, the view follows again.
TEST_F(ReceiveViewTest, KeepingTheNewestLeavesAReaderOnTheTextTheyRead) {
    constexpr std::size_t kLimit = 24000;
    send(view_, EM_LIMITTEXT, kLimit);
    ASSERT_EQ(send(view_, kReceiveViewKeepNewest, TRUE), TRUE);
    int next = 0;
    const auto appendLines = [&](int count) {
        for (int i = 0; i < count; ++i) {
            char line[16];
            std::snprintf(line, sizeof(line), "line %05d\r\n", next++);  // 12 characters
            appendReceived(view_, line);
        }
    };
    const auto lineText = [&](std::size_t line) {
        char buffer[64] = {};
        buffer[0] = sizeof(buffer) - 1;
        const auto count = static_cast<std::size_t>(send(view_, EM_GETLINE, line, reinterpret_cast<LPARAM>(buffer)));
        return std::string(buffer, count);
    };
    appendLines(1900);
    ASSERT_GT(firstVisibleOf(view_), 0u);
    const std::size_t page = lineCountOf(view_) - firstVisibleOf(view_);
    ASSERT_GT(page, 3u);

    // The user scrolls up and selects the second line shown with the mouse.
    send(view_, EM_LINESCROLL, 0, -300);
    const std::size_t top = firstVisibleOf(view_);
    const std::string topText = lineText(top);
    const int y = 1 + lineHeight() + lineHeight() / 2;
    send(view_, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(4, y));
    send(view_, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(4 + textWidth("line 0000") + 1, y));
    send(view_, WM_LBUTTONUP, 0, MAKELPARAM(4 + textWidth("line 0000") + 1, y));
    const auto [from, to] = selectionOf(view_);
    const std::string selected = textOf(view_).substr(from, to - from);
    ASSERT_EQ(selected, lineText(top + 1).substr(0, 9));

    // Under the limit, appends leave the reader where they are.
    appendLines(50);
    EXPECT_EQ(firstVisibleOf(view_), top);
    EXPECT_EQ(selectionOf(view_), std::make_pair(from, to));

    // Past the limit: the oldest lines go, the reader's lines and selection stay where they are.
    appendLines(400);
    std::string shown = textOf(view_);
    ASSERT_LE(shown.size(), kLimit);
    ASSERT_LT(shown.size(), 2350u * 12);
    EXPECT_EQ(shown.substr(0, 5), "line ");  // whole lines went
    EXPECT_EQ(shown.size() % 12, 0u);
    EXPECT_EQ(shown.substr(shown.size() - 12), "line 02349\r\n");
    EXPECT_EQ(lineCountOf(view_), shown.size() / 12 + 1);
    EXPECT_EQ(send(view_, EM_LINEINDEX, 1), 12);
    EXPECT_EQ(send(view_, EM_GETLIMITTEXT), static_cast<LRESULT>(kLimit));
    EXPECT_LT(firstVisibleOf(view_), top);
    EXPECT_EQ(lineText(firstVisibleOf(view_)), topText);
    const auto [keptFrom, keptTo] = selectionOf(view_);
    EXPECT_EQ(shown.substr(keptFrom, keptTo - keptFrom), selected);
    send(view_, WM_COPY);
    EXPECT_EQ(clipboardText(), selected);

    // Once the text read is gone, the view shows the oldest text left and the selection is empty.
    appendLines(2000);
    EXPECT_EQ(firstVisibleOf(view_), 0u);
    EXPECT_EQ(selectionOf(view_), std::make_pair(DWORD{0}, DWORD{0}));
    shown = textOf(view_);
    EXPECT_EQ(shown.substr(shown.size() - 12), "line 04349\r\n");

    // At the end again, the view follows the new text.
    send(view_, WM_VSCROLL, SB_BOTTOM);
    ASSERT_EQ(lineCountOf(view_) - firstVisibleOf(view_), page);
    appendLines(1000);
    EXPECT_EQ(lineCountOf(view_) - firstVisibleOf(view_), page);
    EXPECT_EQ(lineText(lineCountOf(view_) - 2), "line 05349");
}

// --- screen readers ---

// The view's accessible object as a screen reader gets it, in process. Like any client, and like
// the program's window thread, this thread is in a COM apartment meanwhile.
class AccessibleObject {
public:
    explicit AccessibleObject(HWND window) {
        EXPECT_TRUE(apartment_.joined());
        result_ = AccessibleObjectFromWindow(window, static_cast<DWORD>(OBJID_CLIENT), __uuidof(IAccessible),
                                             reinterpret_cast<void**>(&object_));
    }
    ~AccessibleObject() {
        if (object_ != nullptr) object_->Release();
    }
    AccessibleObject(const AccessibleObject&) = delete;
    AccessibleObject& operator=(const AccessibleObject&) = delete;

    HRESULT result() const { return result_; }
    IAccessible* get() const { return object_; }

    LONG role() const { return number(&IAccessible::get_accRole); }
    LONG state() const { return number(&IAccessible::get_accState); }
    std::wstring name() const { return text(&IAccessible::get_accName); }
    std::wstring value() const { return text(&IAccessible::get_accValue); }

    static VARIANT self() {
        VARIANT child;
        VariantInit(&child);
        child.vt = VT_I4;
        child.lVal = CHILDID_SELF;
        return child;
    }

private:
    LONG number(HRESULT (STDMETHODCALLTYPE IAccessible::*query)(VARIANT, VARIANT*)) const {
        VARIANT answer;
        VariantInit(&answer);
        if ((object_->*query)(self(), &answer) != S_OK || answer.vt != VT_I4) return -1;
        return answer.lVal;
    }
    std::wstring text(HRESULT (STDMETHODCALLTYPE IAccessible::*query)(VARIANT, BSTR*)) const {
        BSTR answer = nullptr;
        if ((object_->*query)(self(), &answer) != S_OK || answer == nullptr) return L"<none>";
        std::wstring result(answer, SysStringLen(answer));
        SysFreeString(answer);
        return result;
    }

    const ComApartment apartment_;
    IAccessible* object_ = nullptr;
    HRESULT result_ = E_FAIL;
};

std::wstring wide(const std::string& text) { return std::wstring(text.begin(), text.end()); }

// Read as an edit box is read: text, read-only, named "Received" (or by the label before it), the
// text as value, up to its newest kAccessibleValueLimit characters from a line start.
TEST_F(ReceiveViewTest, ScreenReadersReadItAsReadOnlyTextNamedReceivedWithTheTextAsValue) {
    appendReceived(view_, "first line\r\nsecond ");
    appendReceived(view_, "line");
    const AccessibleObject object(view_);
    ASSERT_EQ(object.result(), S_OK);
    ASSERT_NE(object.get(), nullptr);
    EXPECT_EQ(object.role(), ROLE_SYSTEM_TEXT);
    EXPECT_NE(object.state() & STATE_SYSTEM_READONLY, 0);
    EXPECT_EQ(object.name(), L"Received");
    EXPECT_EQ(object.value(), L"first line\r\nsecond line");
    HWND window = nullptr;
    EXPECT_EQ(WindowFromAccessibleObject(object.get(), &window), S_OK);
    EXPECT_EQ(window, view_);
    // Where it is, as for any window: its client area.
    LONG left = 0, top = 0, width = 0, height = 0;
    EXPECT_EQ(object.get()->accLocation(&left, &top, &width, &height, AccessibleObject::self()), S_OK);
    EXPECT_EQ(width, clientRect().right);
    EXPECT_EQ(height, clientRect().bottom);

    // The object reads the window each time: it follows the text.
    appendReceived(view_, "\r\nthird");
    EXPECT_EQ(object.value(), L"first line\r\nsecond line\r\nthird");

    // Of more text, the newest part from a line start.
    send(view_, EM_LIMITTEXT, 0x1400000);
    std::string text;
    for (int line = 0; text.size() < 3 * kAccessibleValueLimit; ++line) {
        char buffer[64];
        std::snprintf(buffer, sizeof(buffer), "line %05d of the text the device sent\r\n", line);  // 40 characters
        text += buffer;
    }
    send(view_, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
    const std::wstring value = object.value();
    EXPECT_LE(value.size(), kAccessibleValueLimit);
    EXPECT_GT(value.size(), kAccessibleValueLimit - 40);
    EXPECT_EQ(value, wide(text.substr(text.size() - value.size())));
    EXPECT_EQ(value.substr(0, 5), L"line ");

    // A label just before the view names it, as it names an edit box.
    const OwnedWindow label(CreateWindowExA(0, "Static", "&Incoming", WS_CHILD | WS_VISIBLE | SS_LEFT, 10, 120, 100,
                                            20, sharedParent(), nullptr, GetModuleHandleA(nullptr), nullptr));
    const OwnedWindow labelled(createView(kReceiveViewClassName, kViewId + 1));
    ASSERT_EQ(GetWindow(labelled.get(), GW_HWNDPREV), label.get());
    EXPECT_EQ(AccessibleObject(labelled.get()).name(), L"Incoming");
}

// The object as a late-bound client reads it: through IDispatch, a member's DISPID by its name,
// then Invoke.
class LateBound {
public:
    explicit LateBound(IAccessible* object) {
        result_ = object->QueryInterface(__uuidof(IDispatch), reinterpret_cast<void**>(&dispatch_));
    }
    ~LateBound() {
        if (dispatch_ != nullptr) dispatch_->Release();
    }
    LateBound(const LateBound&) = delete;
    LateBound& operator=(const LateBound&) = delete;

    HRESULT result() const { return result_; }
    IDispatch* get() const { return dispatch_; }

    // DISPID_UNKNOWN when the object does not know the name.
    DISPID idOf(const wchar_t* name) const {
        LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
        DISPID id = DISPID_UNKNOWN;
        if (dispatch_->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id) != S_OK) return DISPID_UNKNOWN;
        return id;
    }
    // Property id of the object itself: named CHILDID_SELF, or with the optional child left out.
    LONG number(DISPID id, bool namingSelf = true) const {
        VARIANT answer;
        VariantInit(&answer);
        const LONG result = get(id, namingSelf, answer) == S_OK && answer.vt == VT_I4 ? answer.lVal : -1;
        VariantClear(&answer);
        return result;
    }
    std::wstring text(DISPID id, bool namingSelf = true) const {
        VARIANT answer;
        VariantInit(&answer);
        std::wstring result = L"<none>";
        if (get(id, namingSelf, answer) == S_OK && answer.vt == VT_BSTR && answer.bstrVal != nullptr)
            result.assign(answer.bstrVal, SysStringLen(answer.bstrVal));
        VariantClear(&answer);
        return result;
    }

private:
    HRESULT get(DISPID id, bool namingSelf, VARIANT& answer) const {
        VARIANT child = AccessibleObject::self();
        DISPPARAMS parameters{};
        parameters.rgvarg = namingSelf ? &child : nullptr;
        parameters.cArgs = namingSelf ? 1 : 0;
        EXCEPINFO exception{};
        UINT badArgument = 0;
        const HRESULT result = dispatch_->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYGET, &parameters,
                                                 &answer, &exception, &badArgument);
        SysFreeString(exception.bstrSource);
        SysFreeString(exception.bstrDescription);
        SysFreeString(exception.bstrHelpFile);
        return result;
    }

    IDispatch* dispatch_ = nullptr;
    HRESULT result_ = E_FAIL;
};

// Late-bound clients (scripts, some screen readers) get the same role, name, state and value as
// callers of IAccessible's methods, by name or by DISPID, not what the system's object says of
// any window (its name would be all the text).
TEST_F(ReceiveViewTest, LateBoundClientsGetTheSameRoleNameStateAndValue) {
    appendReceived(view_, "first line\r\nsecond line");
    const AccessibleObject object(view_);
    ASSERT_EQ(object.result(), S_OK);
    ASSERT_NE(object.get(), nullptr);
    const LateBound dispatch(object.get());
    ASSERT_EQ(dispatch.result(), S_OK);
    ASSERT_NE(dispatch.get(), nullptr);

    EXPECT_EQ(dispatch.idOf(L"accName"), DISPID_ACC_NAME);
    EXPECT_EQ(dispatch.idOf(L"accRole"), DISPID_ACC_ROLE);
    EXPECT_EQ(dispatch.idOf(L"accValue"), DISPID_ACC_VALUE);
    EXPECT_EQ(dispatch.idOf(L"accState"), DISPID_ACC_STATE);
    EXPECT_EQ(dispatch.idOf(L"noSuchMember"), DISPID_UNKNOWN);

    EXPECT_EQ(dispatch.number(dispatch.idOf(L"accRole")), ROLE_SYSTEM_TEXT);
    EXPECT_EQ(dispatch.text(dispatch.idOf(L"accName")), L"Received");
    EXPECT_EQ(dispatch.text(dispatch.idOf(L"accValue")), L"first line\r\nsecond line");
    EXPECT_NE(dispatch.number(dispatch.idOf(L"accState")) & STATE_SYSTEM_READONLY, 0);
    // By DISPID alone, and with the optional child left out (the object itself).
    EXPECT_EQ(dispatch.number(DISPID_ACC_ROLE), ROLE_SYSTEM_TEXT);
    EXPECT_EQ(dispatch.text(DISPID_ACC_NAME, false), L"Received");
    EXPECT_EQ(dispatch.number(DISPID_ACC_ROLE, false), ROLE_SYSTEM_TEXT);
    EXPECT_EQ(dispatch.text(DISPID_ACC_VALUE, false), L"first line\r\nsecond line");
    EXPECT_NE(dispatch.number(DISPID_ACC_STATE, false) & STATE_SYSTEM_READONLY, 0);
    // The rest still answers as for any window.
    EXPECT_EQ(dispatch.number(DISPID_ACC_CHILDCOUNT, false), 0);

    // The type information describes what it answers.
    UINT count = 0;
    EXPECT_EQ(dispatch.get()->GetTypeInfoCount(&count), S_OK);
    EXPECT_EQ(count, 1u);
    ITypeInfo* info = nullptr;
    ASSERT_EQ(dispatch.get()->GetTypeInfo(0, LOCALE_USER_DEFAULT, &info), S_OK);
    ASSERT_NE(info, nullptr);
    TYPEATTR* attributes = nullptr;
    ASSERT_EQ(info->GetTypeAttr(&attributes), S_OK);
    EXPECT_EQ(attributes->guid, __uuidof(IAccessible));
    info->ReleaseTypeAttr(attributes);
    info->Release();
}

// A client on another thread gets the object through COM's marshalling, and its calls, by
// IAccessible and by IDispatch, are carried out on the view's thread: the same answers.
TEST_F(ReceiveViewTest, AClientOnAnotherThreadGetsTheSameAnswersThroughCom) {
    appendReceived(view_, "first line\r\nsecond line");
    const AccessibleObject here(view_);  // this thread, the view's, in its apartment too
    ASSERT_EQ(here.result(), S_OK);
    HRESULT found = E_FAIL;
    LONG role = -1;
    LONG lateRole = -1;
    std::wstring name, value, lateName, lateValue;
    auto client = [&] {
        const AccessibleObject object(view_);
        found = object.result();
        if (found != S_OK) return;
        role = object.role();
        name = object.name();
        value = object.value();
        const LateBound dispatch(object.get());
        if (dispatch.result() != S_OK) return;
        lateRole = dispatch.number(dispatch.idOf(L"accRole"));
        lateName = dispatch.text(dispatch.idOf(L"accName"));
        lateValue = dispatch.text(dispatch.idOf(L"accValue"));
    };
    ASSERT_TRUE(runOnAnotherThread(client));
    ASSERT_EQ(found, S_OK);
    EXPECT_EQ(role, ROLE_SYSTEM_TEXT);
    EXPECT_EQ(name, L"Received");
    EXPECT_EQ(value, L"first line\r\nsecond line");
    EXPECT_EQ(lateRole, ROLE_SYSTEM_TEXT);
    EXPECT_EQ(lateName, L"Received");
    EXPECT_EQ(lateValue, L"first line\r\nsecond line");
}

// The object reads the newest text with a private message that carries a pointer. Anyone else
// (another thread, another program, this thread) sending or posting it, with a real buffer or a
// pointer to nowhere, is refused: nothing written, nothing read, no crash.
TEST_F(ReceiveViewTest, TheNewestTextMessageIsRefusedToAnyoneButTheAccessibleObject) {
    appendReceived(view_, "received text");
    const std::string untouched(64, 'x');
    std::string buffer = untouched;
    LRESULT answer = -1;
    auto sendBuffer = [&] {
        answer = SendMessageA(view_, kReceiveViewGetNewestText, 32, reinterpret_cast<LPARAM>(buffer.data()));
    };
    ASSERT_TRUE(runOnAnotherThread(sendBuffer));
    ASSERT_EQ(answer, 0);
    ASSERT_EQ(buffer, untouched);
    ASSERT_EQ(send(view_, kReceiveViewGetNewestText, 32, reinterpret_cast<LPARAM>(buffer.data())), 0);
    ASSERT_EQ(buffer, untouched);

    // Pointers to nowhere: null, the first page, memory given back.
    void* const page = VirtualAlloc(nullptr, 4096, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
    ASSERT_NE(page, nullptr);
    ASSERT_TRUE(VirtualFree(page, 0, MEM_RELEASE));
    const std::vector<LPARAM> nowhere = {0, 0x10, reinterpret_cast<LPARAM>(page)};
    std::vector<LRESULT> answers;
    auto sendNowhere = [&] {
        for (const LPARAM pointer : nowhere)
            answers.push_back(SendMessageA(view_, kReceiveViewGetNewestText, 32, pointer));
    };
    ASSERT_TRUE(runOnAnotherThread(sendNowhere));
    EXPECT_EQ(answers, std::vector<LRESULT>(nowhere.size(), 0));
    // Posted, they reach the view as if from its own thread.
    for (const LPARAM pointer : nowhere) ASSERT_TRUE(PostMessageA(view_, kReceiveViewGetNewestText, 32, pointer));
    std::size_t dispatched = 0;
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.hwnd == view_ && message.message == kReceiveViewGetNewestText) ++dispatched;
        DispatchMessageA(&message);
    }
    EXPECT_EQ(dispatched, nowhere.size());

    // The object still reads the text, from the view's thread and from a client's thread that
    // holds the object itself.
    const AccessibleObject object(view_);
    ASSERT_EQ(object.result(), S_OK);
    EXPECT_EQ(object.value(), L"received text");
    std::wstring value;
    auto readValue = [&] { value = object.value(); };
    ASSERT_TRUE(runOnAnotherThread(readValue));
    EXPECT_EQ(value, L"received text");
}

std::vector<HWND> g_valueChanges;

void CALLBACK recordValueChange(HWINEVENTHOOK, DWORD event, HWND window, LONG object, LONG child, DWORD, DWORD) {
    if (event == EVENT_OBJECT_VALUECHANGE && object == OBJID_CLIENT && child == CHILDID_SELF)
        g_valueChanges.push_back(window);
}

// Pumps this thread's messages until the view has announced count changes or the time is up.
bool pumpUntilAnnounced(HWND view, std::size_t count, DWORD timeoutMs) {
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    const auto heard = [view] { return static_cast<std::size_t>(std::count(g_valueChanges.begin(), g_valueChanges.end(), view)); };
    while (heard() < count && GetTickCount64() < deadline) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&message);
    }
    return heard() >= count;
}

// Screen readers hear of new text as the view repaints it: a burst of chunks that one repaint shows
// is one change, text that comes soon after that repaint another with the next, paced one.
TEST_F(ReceiveViewTest, ArrivingTextIsAnnouncedAtThePaceOfTheRepaints) {
    g_valueChanges.clear();
    const HWINEVENTHOOK hook = SetWinEventHook(EVENT_OBJECT_VALUECHANGE, EVENT_OBJECT_VALUECHANGE, nullptr,
                                               recordValueChange, GetCurrentProcessId(), 0, WINEVENT_OUTOFCONTEXT);
    ASSERT_NE(hook, nullptr);
    for (int i = 0; i < 50; ++i) appendReceived(view_, "chunk of received text\r\n");
    EXPECT_TRUE(pumpUntilAnnounced(view_, 1, 2000));
    for (int i = 0; i < 50; ++i) appendReceived(view_, "chunk of received text\r\n");
    EXPECT_TRUE(pumpUntilAnnounced(view_, 2, 2000));
    // Nothing more comes once the text stops.
    const ULONGLONG settle = GetTickCount64() + 400;
    while (GetTickCount64() < settle) pumpUntilAnnounced(view_, 3, 50);
    EXPECT_EQ(std::count(g_valueChanges.begin(), g_valueChanges.end(), view_), 2);

    // After the quiet spell, the next text is announced with its repaint.
    appendReceived(view_, "more");
    EXPECT_TRUE(pumpUntilAnnounced(view_, 3, 2000));
    UnhookWinEvent(hook);
}

}  // namespace
}  // namespace quenlet

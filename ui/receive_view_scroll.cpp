// Geometry, font and scrolling of the receive view.
#include <algorithm>

#include "framework/paced_text.h"
#include "ui/receive_view_control.h"

namespace quenlet {

int ReceiveViewControl::wrapWidth() const {
    RECT client{};
    GetClientRect(window_, &client);
    return std::max<int>(client.right - kInsetLeft - kInsetRight, 1);
}

std::size_t ReceiveViewControl::visibleLines() const {
    RECT client{};
    GetClientRect(window_, &client);
    return static_cast<std::size_t>(std::max<int>((client.bottom - kInsetTop) / metrics_.lineHeight, 1));
}

std::size_t ReceiveViewControl::lastFirstLine() const {
    const std::size_t visible = visibleLines();
    return layout_.lineCount() > visible ? layout_.lineCount() - visible : 0;
}

void ReceiveViewControl::onSize() {
    RECT client{};
    GetClientRect(window_, &client);
    // A hidden or collapsed window keeps its lines: breaking 20 MB into one-character lines would
    // cost time and memory for nothing.
    if (client.right <= 0 || client.bottom <= 0) return;
    if (wrapWidth() != layoutWidth_) {
        relayout();
        return;
    }
    firstLine_ = showsEnd() ? lastFirstLine() : std::min(firstLine_, lastFirstLine());
    pageLines_ = visibleLines();
    updateScrollBar();
    InvalidateRect(window_, nullptr, FALSE);
}

void ReceiveViewControl::onSetFont(HFONT font, bool redraw) {
    font_ = font;
    metrics_ = measureFont(window_, font);
    relayout();
    if (redraw) UpdateWindow(window_);
}

void ReceiveViewControl::relayout() {
    // Keep the view where it was: at the end if it showed the end, else at the same first character.
    const bool atEnd = showsEnd();
    const std::size_t topCharacter = layout_.lineStart(firstLine_);
    layoutWidth_ = wrapWidth();
    layout_.setGeometry(metrics_.advances, layoutWidth_);
    diagnostics_.charactersExaminedByLastChange = layout_.lastBreakWork();
    pageLines_ = visibleLines();
    firstLine_ = atEnd ? lastFirstLine() : std::min(layout_.lineOf(topCharacter), lastFirstLine());
    updateScrollBar();
    InvalidateRect(window_, nullptr, FALSE);
}

void ReceiveViewControl::scrollTo(std::size_t firstLine, ScrollBarRedraw redraw) {
    firstLine = std::min(firstLine, lastFirstLine());
    if (firstLine == firstLine_) return;
    firstLine_ = firstLine;
    updateScrollBar(redraw);
    invalidate(nullptr);
}

void ReceiveViewControl::scrollBy(std::ptrdiff_t lines) {
    if (lines < 0) {
        const auto up = static_cast<std::size_t>(-lines);
        scrollTo(firstLine_ > up ? firstLine_ - up : 0);
    } else {
        scrollTo(firstLine_ + static_cast<std::size_t>(lines));
    }
}

void ReceiveViewControl::scrollCaretIntoView(ScrollBarRedraw redraw) {
    const std::size_t line = layout_.lineOf(caret_);
    const std::size_t visible = visibleLines();
    if (line < firstLine_)
        scrollTo(line, redraw);
    else if (line >= firstLine_ + visible)
        scrollTo(line - visible + 1, redraw);
}

void ReceiveViewControl::scrollEndIntoView(ScrollBarRedraw redraw) {
    const std::size_t endLine = layout_.lineCount() - 1;
    const std::size_t visible = visibleLines();
    if (endLine >= firstLine_ + visible) scrollTo(endLine - visible + 1, redraw);
}

void ReceiveViewControl::updateScrollBar(ScrollBarRedraw redraw) {
    if ((GetWindowLongA(window_, GWL_STYLE) & WS_VSCROLL) == 0) return;  // would add a scroll bar
    SCROLLINFO info{};
    info.cbSize = sizeof(info);
    // Always shown, greyed when everything fits, so the text width never depends on the text.
    info.fMask = SIF_RANGE | SIF_PAGE | SIF_POS | SIF_DISABLENOSCROLL;
    info.nMin = 0;
    info.nMax = static_cast<int>(layout_.lineCount() - 1);
    info.nPage = static_cast<UINT>(visibleLines());
    info.nPos = static_cast<int>(firstLine_);
    const auto same = [&](const SCROLLINFO& other) {
        return other.cbSize != 0 && info.nMax == other.nMax && info.nPage == other.nPage && info.nPos == other.nPos;
    };
    if (redraw == ScrollBarRedraw::soon) {
        if (same(scrollBarPending_ ? pendingScroll_ : shownScroll_)) return;
        // A bar that would look as it does (a long text streaming in, its thumb at the bottom) is
        // set at once: there is nothing to draw, so nothing to pace.
        if (!scrollBarPending_ && thumbGeometry(info) == drawnThumb_) {
            setScrollBar(info);
            return;
        }
        pendingScroll_ = info;
        if (!scrollBarPending_) SetTimer(window_, kScrollBarTimer, kScrollBarDelayMs, nullptr);
        scrollBarPending_ = true;
        return;
    }
    if (scrollBarPending_) {
        KillTimer(window_, kScrollBarTimer);
        scrollBarPending_ = false;
    }
    if (same(shownScroll_)) return;
    setScrollBar(info);
}

void ReceiveViewControl::showPendingScrollBar() {
    KillTimer(window_, kScrollBarTimer);
    if (!scrollBarPending_) return;
    scrollBarPending_ = false;
    setScrollBar(pendingScroll_);
}

// Drawing the scroll bar is slow on some systems (several milliseconds under Wine). Once a stream
// has made the text many pages long the thumb sits at the bottom at its least size and looks the
// same after every append: the new range is then set without drawing it.
void ReceiveViewControl::setScrollBar(const SCROLLINFO& info) {
    shownScroll_ = info;
    const ThumbGeometry thumb = thumbGeometry(info);
    const bool looksDifferent = !(thumb == drawnThumb_);
    SetScrollInfo(window_, SB_VERT, &shownScroll_, looksDifferent ? TRUE : FALSE);
    if (looksDifferent) drawnThumb_ = thumb;
}

// Where the thumb shows in the bar's track, in pixels, as the system places it (to within the
// rounding it may do differently).
ReceiveViewControl::ThumbGeometry ReceiveViewControl::thumbGeometry(const SCROLLINFO& info) const {
    RECT client{};
    GetClientRect(window_, &client);
    const int track = std::max<int>(client.bottom - 2 * GetSystemMetrics(SM_CYVSCROLL), 0);
    const long long range = static_cast<long long>(info.nMax) - info.nMin + 1;
    if (range <= static_cast<long long>(info.nPage) || track == 0) return {false, 0, 0, track};
    int size = static_cast<int>(static_cast<long long>(info.nPage) * track / range);
    size = std::min(std::max(size, GetSystemMetrics(SM_CYVTHUMB)), track);
    const long long scrollable = range - info.nPage;
    const int top = static_cast<int>((info.nPos - info.nMin) * static_cast<long long>(track - size) / scrollable);
    return {true, top, size, track};
}

void ReceiveViewControl::onVScroll(WORD request) {
    const auto page = static_cast<std::ptrdiff_t>(visibleLines());
    switch (request) {
    case SB_LINEUP: scrollBy(-1); break;
    case SB_LINEDOWN: scrollBy(1); break;
    case SB_PAGEUP: scrollBy(-page); break;
    case SB_PAGEDOWN: scrollBy(page); break;
    case SB_TOP: scrollTo(0); break;
    case SB_BOTTOM: scrollTo(lastFirstLine()); break;
    case SB_THUMBTRACK:
    case SB_THUMBPOSITION: {
        // The message's own position has 16 bits only.
        SCROLLINFO info{};
        info.cbSize = sizeof(info);
        info.fMask = SIF_TRACKPOS;
        if (GetScrollInfo(window_, SB_VERT, &info)) scrollTo(static_cast<std::size_t>(std::max(info.nTrackPos, 0)));
        break;
    }
    default: break;
    }
}

void ReceiveViewControl::onMouseWheel(short delta) {
    UINT linesPerNotch = 3;
    SystemParametersInfoA(SPI_GETWHEELSCROLLLINES, 0, &linesPerNotch, 0);
    if (linesPerNotch == 0) return;
    if (linesPerNotch == WHEEL_PAGESCROLL) linesPerNotch = static_cast<UINT>(visibleLines());
    // Fine-grained wheels send small deltas: keep the rest for the next message.
    wheelRemainder_ += delta;
    const int lines = wheelRemainder_ * static_cast<int>(linesPerNotch) / WHEEL_DELTA;
    if (lines == 0) return;
    wheelRemainder_ -= lines * WHEEL_DELTA / static_cast<int>(linesPerNotch);
    scrollBy(-lines);
}

void ReceiveViewControl::onKeyDown(WPARAM key) {
    const bool control = GetKeyState(VK_CONTROL) < 0;
    const auto page = static_cast<std::ptrdiff_t>(visibleLines());
    switch (key) {
    case VK_UP: scrollBy(-1); break;
    case VK_DOWN: scrollBy(1); break;
    case VK_PRIOR: scrollBy(-page); break;
    case VK_NEXT: scrollBy(page); break;
    case VK_HOME:
        if (control) scrollTo(0);
        break;
    case VK_END:
        if (control) scrollTo(lastFirstLine());
        break;
    case VK_INSERT:
        if (control) copySelection();
        break;
    default: break;
    }
}

int ReceiveViewControl::lineTop(std::size_t line) const {
    const auto offset = static_cast<std::ptrdiff_t>(line) - static_cast<std::ptrdiff_t>(firstLine_);
    return kInsetTop + static_cast<int>(offset) * metrics_.lineHeight;
}

void ReceiveViewControl::invalidateFromLine(std::size_t line) {
    RECT client{};
    GetClientRect(window_, &client);
    if (line > firstLine_) {
        const std::size_t visible = visibleLines() + 1;
        if (line - firstLine_ > visible) return;
        client.top = lineTop(line);
    }
    invalidate(&client);
}

void ReceiveViewControl::invalidate(const RECT* area) {
    if (!pacingRepaints_) {
        InvalidateRect(window_, area, FALSE);
        return;
    }
    if (repaintRequested_) return;  // the paint to come repaints everything
    if (repaintTimerRunning_) {
        repaintPending_ = true;  // the interval's end repaints everything
        return;
    }
    // Text that comes a whole interval after the last repaint (the first after a quiet spell, or
    // the next hand-over of a steady stream) shows in the paint that follows at once, with all
    // the text the same hand-over brings; text that comes sooner waits for the interval's end. A
    // steady stream handed over at the repaint pace thus costs one paint per hand-over, and no
    // timer.
    const ULONGLONG now = GetTickCount64();
    const DWORD delay = repaintDelay(lastRepaintRequest_, now, kRepaintIntervalMs);
    if (delay == 0 || SetTimer(window_, kRepaintTimer, delay, nullptr) == 0) {
        requestRepaint(now);
        return;
    }
    repaintTimerRunning_ = true;
    repaintPending_ = true;
}

void ReceiveViewControl::requestRepaint(ULONGLONG now) {
    lastRepaintRequest_ = now;
    repaintRequested_ = true;
    InvalidateRect(window_, nullptr, FALSE);
}

void ReceiveViewControl::showPendingRepaint() {
    KillTimer(window_, kRepaintTimer);
    repaintTimerRunning_ = false;
    if (!repaintPending_) return;
    repaintPending_ = false;
    requestRepaint(GetTickCount64());
}

void ReceiveViewControl::invalidateLines(std::size_t firstLine, std::size_t lastLine) {
    if (lastLine < firstLine_ || firstLine > firstLine_ + visibleLines() + 1) return;
    RECT client{};
    GetClientRect(window_, &client);
    if (firstLine > firstLine_) client.top = lineTop(firstLine);
    client.bottom = std::min<LONG>(client.bottom, lineTop(lastLine) + metrics_.lineHeight);
    InvalidateRect(window_, &client, FALSE);
}

}  // namespace quenlet

// Mouse selection in the receive view and copying the selection.
#include <algorithm>
#include <string_view>

#include "ui/receive_view_clipboard.h"
#include "ui/receive_view_control.h"

namespace quenlet {
namespace {

bool separatesWords(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

}  // namespace

std::size_t ReceiveViewControl::positionAt(POINT point) const {
    const int row = (point.y - kInsetTop) >= 0 ? (point.y - kInsetTop) / metrics_.lineHeight
                                               : (point.y - kInsetTop - metrics_.lineHeight + 1) / metrics_.lineHeight;
    const auto wanted = static_cast<std::ptrdiff_t>(firstLine_) + row;
    const std::size_t line =
        static_cast<std::size_t>(std::clamp<std::ptrdiff_t>(wanted, 0, static_cast<std::ptrdiff_t>(layout_.lineCount() - 1)));
    const std::size_t contentEnd = layout_.lineContentEnd(line);
    const int targetX = point.x - kInsetLeft;
    int x = 0;
    // The nearer edge of the character under the point.
    for (std::size_t position = layout_.lineStart(line); position < contentEnd; ++position) {
        const int advance = metrics_.advances.advance(static_cast<unsigned char>(layout_.text()[position]), x);
        if (targetX < x + advance / 2) return position;
        x += advance;
    }
    return contentEnd;
}

void ReceiveViewControl::setSelection(std::size_t anchor, std::size_t caret) {
    dropSetAsideSelection();
    const std::size_t oldFrom = selectionStart();
    const std::size_t oldTo = selectionEnd();
    const bool hadSelection = anchor_ != caret_;
    anchor_ = std::min(anchor, layout_.length());
    caret_ = std::min(caret, layout_.length());
    if (hadSelection) invalidateLines(layout_.lineOf(oldFrom), layout_.lineOf(oldTo));
    if (anchor_ != caret_) invalidateLines(layout_.lineOf(selectionStart()), layout_.lineOf(selectionEnd()));
}

void ReceiveViewControl::selectByUser(std::size_t anchor, std::size_t caret) {
    setSelection(anchor, caret);
    selectionByUser_ = true;
}

void ReceiveViewControl::onButtonDown(POINT point, WPARAM keys) {
    SetFocus(window_);
    const std::size_t position = positionAt(point);
    selectByUser((keys & MK_SHIFT) != 0 ? anchor_ : position, position);
    dragging_ = true;
    SetCapture(window_);
}

void ReceiveViewControl::onMouseMove(POINT point) {
    if (!dragging_) return;
    selectByUser(anchor_, positionAt(point));
    // Outside the window the text scrolls under the pointer, one line per timer tick.
    RECT client{};
    GetClientRect(window_, &client);
    if (point.y < 0 || point.y >= client.bottom)
        SetTimer(window_, kDragScrollTimer, 50, nullptr);
    else
        KillTimer(window_, kDragScrollTimer);
}

void ReceiveViewControl::onDragTimer() {
    if (!dragging_) {
        KillTimer(window_, kDragScrollTimer);
        return;
    }
    POINT point{};
    GetCursorPos(&point);
    ScreenToClient(window_, &point);
    RECT client{};
    GetClientRect(window_, &client);
    if (point.y < 0)
        scrollBy(-1);
    else if (point.y >= client.bottom)
        scrollBy(1);
    selectByUser(anchor_, positionAt(point));
}

void ReceiveViewControl::endDrag() {
    KillTimer(window_, kDragScrollTimer);
    if (!dragging_) return;
    dragging_ = false;
    if (GetCapture() == window_) ReleaseCapture();
}

void ReceiveViewControl::onDoubleClick(POINT point) {
    SetFocus(window_);
    // The word under the point, within its display line.
    const std::size_t position = positionAt(point);
    const std::size_t line = layout_.lineOf(position);
    const std::size_t lineStart = layout_.lineStart(line);
    const std::size_t contentEnd = layout_.lineContentEnd(line);
    const std::string& text = layout_.text();
    std::size_t from = position;
    while (from > lineStart && !separatesWords(text[from - 1])) --from;
    std::size_t to = position;
    while (to < contentEnd && !separatesWords(text[to])) ++to;
    selectByUser(from, to);
}

void ReceiveViewControl::copySelection() const {
    if (anchor_ == caret_) return;
    copyTextToClipboard(window_, std::string_view(layout_.text()).substr(selectionStart(), selectionEnd() - selectionStart()));
}

}  // namespace quenlet

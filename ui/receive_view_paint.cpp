// Painting of the receive view: only the lines inside the area being painted, each only as far as
// the window is wide, drawn into a memory bitmap first so that a busy stream does not flicker.
#include <algorithm>

#include "framework/ui_handles.h"
#include "ui/receive_view_control.h"
#include "ui/receive_view_gdi.h"

namespace quenlet {

void ReceiveViewControl::onPaint() {
    repaintRequested_ = false;
    valueChanges_.painting(window_);
    const PaintSession session(window_);
    if (session.dc() != nullptr) paint(session.dc(), session.area());
}

void ReceiveViewControl::paint(HDC target, const RECT& area) {
    const int width = area.right - area.left;
    const int height = area.bottom - area.top;
    if (width <= 0 || height <= 0) return;

    const HDC buffer = backBuffer_.prepare(target, width, height);
    if (buffer == nullptr) {
        paintLines(target, area);  // no memory for a buffer: draw directly
        return;
    }
    // Draw in client coordinates; the buffer holds just the painted area.
    SetViewportOrgEx(buffer, -area.left, -area.top, nullptr);
    paintLines(buffer, area);
    SetViewportOrgEx(buffer, 0, 0, nullptr);
    BitBlt(target, area.left, area.top, width, height, buffer, 0, 0, SRCCOPY);
}

HBRUSH ReceiveViewControl::backgroundBrush(HDC dc) const {
    // A read-only or disabled edit box asks its parent with WM_CTLCOLORSTATIC, an editable one with
    // WM_CTLCOLOREDIT; the parent sets the DC's colours and returns the background brush.
    SetTextColor(dc, GetSysColor(COLOR_WINDOWTEXT));
    SetBkColor(dc, GetSysColor(readOnly_ ? COLOR_3DFACE : COLOR_WINDOW));
    const bool staticLook = readOnly_ || !IsWindowEnabled(window_);
    const HWND parent = GetParent(window_);
    HBRUSH brush = nullptr;
    if (parent != nullptr)
        brush = reinterpret_cast<HBRUSH>(SendMessageA(parent, staticLook ? WM_CTLCOLORSTATIC : WM_CTLCOLOREDIT,
                                                      reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(window_)));
    if (brush == nullptr) brush = GetSysColorBrush(staticLook ? COLOR_3DFACE : COLOR_WINDOW);
    return brush;
}

bool ReceiveViewControl::selectionShown() const {
    // An edit box hides its selection while it does not have the focus, unless told otherwise.
    return shownSelectionStart() != shownSelectionEnd() &&
           (focused_ || (GetWindowLongA(window_, GWL_STYLE) & ES_NOHIDESEL) != 0);
}

void ReceiveViewControl::paintLines(HDC dc, const RECT& area) {
    FillRect(dc, &area, backgroundBrush(dc));
    const COLORREF textColor = IsWindowEnabled(window_) ? GetTextColor(dc) : GetSysColor(COLOR_GRAYTEXT);
    const ObjectSelection selectedFont(dc, font_);
    SetBkMode(dc, TRANSPARENT);

    RECT client{};
    GetClientRect(window_, &client);
    const int lineHeight = metrics_.lineHeight;
    const std::size_t firstPainted = firstLine_ + static_cast<std::size_t>(std::max<int>(area.top - kInsetTop, 0) / lineHeight);
    // Whole lines only, as in an edit box: a line cut off at the bottom is left out.
    const std::size_t pastPainted = std::min({layout_.lineCount(), firstLine_ + visibleLines(),
        firstLine_ + static_cast<std::size_t>(std::max<int>(area.bottom - kInsetTop + lineHeight - 1, 0) / lineHeight)});
    const bool showSelection = selectionShown();
    const std::size_t selectedFrom = shownSelectionStart();
    const std::size_t selectedTo = shownSelectionEnd();
    const HBRUSH highlight = GetSysColorBrush(COLOR_HIGHLIGHT);
    const COLORREF highlightText = GetSysColor(COLOR_HIGHLIGHTTEXT);
    const std::string& text = layout_.text();

    diagnostics_.linesPaintedByLastPaint = 0;
    diagnostics_.charactersPaintedByLastPaint = 0;
    for (std::size_t line = firstPainted; line < pastPainted; ++line) {
        const int top = lineTop(line);
        const std::size_t start = layout_.lineStart(line);
        const std::size_t contentEnd = layout_.lineContentEnd(line);

        // Glyphs and their advances, up to the first one that starts past the right edge.
        glyphs_.clear();
        advances_.clear();
        int x = 0;
        std::size_t end = start;
        for (; end < contentEnd && kInsetLeft + x < client.right; ++end) {
            const auto c = static_cast<unsigned char>(text[end]);
            const int advance = metrics_.advances.advance(c, x);
            glyphs_.push_back(c == '\t' ? ' ' : static_cast<char>(c));  // a tab shows as blank room
            advances_.push_back(advance);
            x += advance;
        }
        ++diagnostics_.linesPaintedByLastPaint;
        diagnostics_.charactersPaintedByLastPaint += glyphs_.size();

        // Three runs: before, inside and after the selection.
        const std::size_t runStart[] = {start, std::clamp(selectedFrom, start, end), std::clamp(selectedTo, start, end)};
        const std::size_t runEnd[] = {runStart[1], runStart[2], end};
        int runX = kInsetLeft;
        for (int run = 0; run < 3; ++run) {
            const std::size_t count = runEnd[run] - runStart[run];
            if (count == 0) continue;
            const std::size_t offset = runStart[run] - start;
            int runWidth = 0;
            for (std::size_t i = 0; i < count; ++i) runWidth += advances_[offset + i];
            const bool selected = run == 1 && showSelection;
            if (selected) {
                const RECT band{runX, top, runX + runWidth, top + lineHeight};
                FillRect(dc, &band, highlight);
            }
            SetTextColor(dc, selected ? highlightText : textColor);
            ExtTextOutA(dc, runX, top, 0, nullptr, glyphs_.data() + offset, static_cast<UINT>(count),
                        advances_.data() + offset);
            runX += runWidth;
        }
    }
}

}  // namespace quenlet

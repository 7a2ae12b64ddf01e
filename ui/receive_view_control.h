// The object behind one receive view window: its text, selection, scroll position and font, and
// the edit-box messages it answers. Lives from WM_NCCREATE to WM_NCDESTROY; runs on the window's
// thread only (other threads reach it through SendMessage).
#pragma once

#include <windows.h>

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "ui/receive_view.h"
#include "ui/receive_view_accessibility.h"
#include "ui/receive_view_gdi.h"
#include "ui/receive_view_layout.h"
#include "ui/receive_view_metrics.h"

namespace quenlet {

class ReceiveViewControl {
public:
    explicit ReceiveViewControl(HWND window);
    ReceiveViewControl(const ReceiveViewControl&) = delete;
    ReceiveViewControl& operator=(const ReceiveViewControl&) = delete;

    // Every message except WM_NCCREATE and WM_NCDESTROY, which the window procedure handles.
    LRESULT handleMessage(UINT message, WPARAM wParam, LPARAM lParam);

    ReceiveViewDiagnostics diagnostics() const;

private:
    // Text messages (receive_view_control.cpp).
    void onCreate(const CREATESTRUCTA& create);
    LRESULT onGetText(std::size_t bufferSize, char* buffer) const;
    void onSetText(const char* text);
    void onReplaceSelection(const char* text);
    void onSetSelection(WPARAM start, LPARAM end);
    LRESULT onGetSelection(DWORD* start, DWORD* end) const;
    void onSetLimit(WPARAM limit);
    LRESULT onGetLine(WPARAM line, char* buffer) const;
    LRESULT onLineLength(WPARAM position) const;
    void replaceText(std::size_t begin, std::size_t end, std::string_view inserted);
    void notifyParent(WORD code) const;

    // Keeping the newest text (receive_view_keep_newest.cpp).
    void setAsideUserSelection();
    void dropSetAsideSelection();
    void appendKeepingNewest(std::string_view inserted);

    // Geometry and scrolling (receive_view_scroll.cpp).
    void onSize();
    void onSetFont(HFONT font, bool redraw);
    void relayout();
    bool showsEnd() const { return firstLine_ > 0 && firstLine_ + pageLines_ >= layout_.lineCount(); }
    int wrapWidth() const;
    std::size_t visibleLines() const;
    std::size_t lastFirstLine() const;
    // Scroll bar redraws are slow on some systems (about 10 ms under Wine): while text streams in,
    // the bar is redrawn at most every kScrollBarDelayMs; anything the user does shows at once.
    enum class ScrollBarRedraw { now, soon };
    void scrollTo(std::size_t firstLine, ScrollBarRedraw redraw = ScrollBarRedraw::now);
    void scrollBy(std::ptrdiff_t lines);
    void scrollCaretIntoView(ScrollBarRedraw redraw = ScrollBarRedraw::now);
    bool endInView() const { return firstLine_ + visibleLines() >= layout_.lineCount(); }
    void scrollEndIntoView(ScrollBarRedraw redraw);
    void updateScrollBar(ScrollBarRedraw redraw = ScrollBarRedraw::now);
    void showPendingScrollBar();
    struct ThumbGeometry {
        bool enabled = false;
        int top = 0;
        int size = 0;
        int track = 0;
        bool operator==(const ThumbGeometry& other) const {
            return enabled == other.enabled && top == other.top && size == other.size && track == other.track;
        }
    };
    void setScrollBar(const SCROLLINFO& info);
    ThumbGeometry thumbGeometry(const SCROLLINFO& info) const;
    void onVScroll(WORD request);
    void onMouseWheel(short delta);
    void onKeyDown(WPARAM key);
    int lineTop(std::size_t line) const;
    void invalidateFromLine(std::size_t line);
    void invalidateLines(std::size_t firstLine, std::size_t lastLine);
    // Invalidates area (nullptr: all). While text streams in, the view is repainted at most every
    // kRepaintIntervalMs (give or take kRepaintSlackMs): a flood of chunks then costs a few paints
    // a second, not one per chunk.
    void invalidate(const RECT* area);
    void showPendingRepaint();
    void requestRepaint(ULONGLONG now);

    // Painting (receive_view_paint.cpp).
    void onPaint();
    void paint(HDC target, const RECT& area);
    void paintLines(HDC dc, const RECT& area);
    HBRUSH backgroundBrush(HDC dc) const;
    bool selectionShown() const;

    // Mouse selection and copying (receive_view_mouse.cpp).
    std::size_t positionAt(POINT point) const;
    void onButtonDown(POINT point, WPARAM keys);
    void onMouseMove(POINT point);
    void onDragTimer();
    void endDrag();
    void onDoubleClick(POINT point);
    void setSelection(std::size_t anchor, std::size_t caret);
    void selectByUser(std::size_t anchor, std::size_t caret);
    std::size_t selectionStart() const { return anchor_ < caret_ ? anchor_ : caret_; }
    std::size_t selectionEnd() const { return anchor_ < caret_ ? caret_ : anchor_; }
    // The selection as drawn: the user's while an append has set it aside.
    std::size_t shownSelectionStart() const;
    std::size_t shownSelectionEnd() const;
    void copySelection() const;

    // Room between the client edge and the text, in pixels, as an edit box leaves it (one pixel
    // plus its default margin of three).
    static constexpr int kInsetLeft = 4;
    static constexpr int kInsetTop = 1;
    static constexpr int kInsetRight = 4;
    static constexpr UINT_PTR kDragScrollTimer = 1;
    static constexpr UINT_PTR kScrollBarTimer = 2;
    static constexpr UINT kScrollBarDelayMs = 250;
    static constexpr UINT_PTR kRepaintTimer = 3;
    static constexpr DWORD kRepaintIntervalMs = 90;

    HWND window_;
    TextLayout layout_;
    FontMetrics metrics_;
    HFONT font_ = nullptr;
    int layoutWidth_ = 1;          // the width the lines were broken for
    std::size_t pageLines_ = 1;    // whole lines shown at the last change of size or font
    std::size_t limit_;
    std::size_t anchor_ = 0;
    std::size_t caret_ = 0;
    std::size_t firstLine_ = 0;
    int wheelRemainder_ = 0;
    bool readOnly_ = true;
    bool focused_ = false;
    bool dragging_ = false;
    bool keepNewest_ = false;          // kReceiveViewKeepNewest
    bool selectionByUser_ = false;     // the selection was made with the mouse or keyboard
    bool selectionSetAside_ = false;   // an append's EM_SETSEL set it aside: setAsideAnchor_/Caret_
    std::size_t setAsideAnchor_ = 0;
    std::size_t setAsideCaret_ = 0;
    SCROLLINFO shownScroll_{};    // what the scroll bar shows
    SCROLLINFO pendingScroll_{};  // what it is to show when kScrollBarTimer fires
    bool scrollBarPending_ = false;
    ThumbGeometry drawnThumb_{false, -1, -1, -1};  // as last drawn; nothing drawn yet
    bool pacingRepaints_ = false;  // set while an append is handled
    bool repaintTimerRunning_ = false;  // kRepaintTimer runs: text came too soon after a repaint
    bool repaintPending_ = false;       // kRepaintTimer will repaint everything
    ULONGLONG lastRepaintRequest_ = 0;  // when an append last asked for a repaint
    bool repaintRequested_ = false;     // the whole view is invalid; WM_PAINT has not come yet

    // Screen readers hear of new text at the pace of the repaints (receive_view_accessibility.h).
    ValueChangeAnnouncer valueChanges_;

    BackBuffer backBuffer_;     // paint buffers, kept to avoid allocating on every paint
    std::string glyphs_;
    std::vector<INT> advances_;
    ReceiveViewDiagnostics diagnostics_{};
};

}  // namespace quenlet

#include "ui/receive_view_control.h"

#include <windowsx.h>

#include <algorithm>
#include <cstring>

namespace quenlet {
namespace {

// An edit box's limit until EM_LIMITTEXT says otherwise, and what EM_LIMITTEXT 0 means.
constexpr std::size_t kDefaultLimit = 30000;
constexpr std::size_t kLargestLimit = 0x7FFFFFFE;

std::string_view textOrEmpty(const char* text) { return text != nullptr ? std::string_view(text) : std::string_view(); }

// EM_SETSEL positions: -1 and anything past the end mean the end.
std::size_t clampedPosition(WPARAM value, std::size_t length) {
    return std::min<std::size_t>(static_cast<DWORD>(value), length);
}

}  // namespace

ReceiveViewControl::ReceiveViewControl(HWND window) : window_(window), limit_(kDefaultLimit) {}

LRESULT ReceiveViewControl::handleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_CREATE:
        onCreate(*reinterpret_cast<const CREATESTRUCTA*>(lParam));
        return 0;
    case WM_SETTEXT:
        onSetText(reinterpret_cast<const char*>(lParam));
        return TRUE;
    case WM_GETTEXT:
        return onGetText(wParam, reinterpret_cast<char*>(lParam));
    case WM_GETTEXTLENGTH:
        return static_cast<LRESULT>(layout_.length());
    case EM_REPLACESEL:
        onReplaceSelection(reinterpret_cast<const char*>(lParam));
        return 0;
    case EM_SETSEL:
        onSetSelection(wParam, lParam);
        return 0;
    case EM_GETSEL:
        return onGetSelection(reinterpret_cast<DWORD*>(wParam), reinterpret_cast<DWORD*>(lParam));
    case EM_LIMITTEXT:  // also EM_SETLIMITTEXT
        onSetLimit(wParam);
        return 0;
    case EM_GETLIMITTEXT:
        return static_cast<LRESULT>(limit_);
    case kReceiveViewKeepNewest:
        keepNewest_ = wParam != 0;
        if (!keepNewest_) dropSetAsideSelection();
        return TRUE;
    case EM_GETLINECOUNT:
        return static_cast<LRESULT>(layout_.lineCount());
    case EM_GETFIRSTVISIBLELINE:
        return static_cast<LRESULT>(firstLine_);
    case EM_LINEINDEX: {
        const std::size_t line = static_cast<int>(wParam) == -1 ? layout_.lineOf(caret_) : wParam;
        return line < layout_.lineCount() ? static_cast<LRESULT>(layout_.lineStart(line)) : -1;
    }
    case EM_LINEFROMCHAR:
        return static_cast<LRESULT>(
            layout_.lineOf(static_cast<int>(wParam) == -1 ? selectionStart() : std::min<std::size_t>(wParam, layout_.length())));
    case EM_LINELENGTH:
        return onLineLength(wParam);
    case EM_GETLINE:
        return onGetLine(wParam, reinterpret_cast<char*>(lParam));
    case EM_LINESCROLL:
        scrollBy(static_cast<int>(lParam));
        return TRUE;
    case EM_SCROLL: {
        const std::size_t before = firstLine_;
        onVScroll(LOWORD(wParam));
        return MAKELRESULT(static_cast<WORD>(firstLine_ - before), TRUE);
    }
    case EM_SCROLLCARET:
        scrollCaretIntoView();
        return TRUE;
    case EM_SETREADONLY:
        readOnly_ = wParam != 0;
        SetWindowLongA(window_, GWL_STYLE,
                       readOnly_ ? GetWindowLongA(window_, GWL_STYLE) | ES_READONLY
                                 : GetWindowLongA(window_, GWL_STYLE) & ~ES_READONLY);
        InvalidateRect(window_, nullptr, FALSE);
        return TRUE;
    case EM_CANUNDO:
    case EM_UNDO:
    case WM_UNDO:
    case WM_CLEAR:  // read-only: nothing is ever removed by the user
    case WM_CUT:
    case WM_PASTE:
        return 0;
    case WM_COPY:
        copySelection();
        return 0;
    case WM_SETFONT:
        onSetFont(reinterpret_cast<HFONT>(wParam), LOWORD(lParam) != 0);
        return 0;
    case WM_GETFONT:
        return reinterpret_cast<LRESULT>(font_);
    case WM_SIZE:
        onSize();
        return 0;
    case WM_VSCROLL:
        onVScroll(LOWORD(wParam));
        return 0;
    case WM_MOUSEWHEEL:
        onMouseWheel(GET_WHEEL_DELTA_WPARAM(wParam));
        return 0;
    case WM_KEYDOWN:
        onKeyDown(wParam);
        return 0;
    case WM_CHAR:
        if (wParam == 0x03) copySelection();                              // Ctrl+C
        if (wParam == 0x01) selectByUser(0, layout_.length());            // Ctrl+A
        return 0;
    case WM_GETDLGCODE:
        // Like a read-only multi-line edit box, but Tab, Enter and Escape stay with the dialog.
        return DLGC_WANTCHARS | DLGC_HASSETSEL | DLGC_WANTARROWS;
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
        focused_ = message == WM_SETFOCUS;
        invalidateLines(layout_.lineOf(shownSelectionStart()), layout_.lineOf(shownSelectionEnd()));
        notifyParent(focused_ ? EN_SETFOCUS : EN_KILLFOCUS);
        return 0;
    case WM_ENABLE:
        InvalidateRect(window_, nullptr, FALSE);
        return 0;
    case WM_ERASEBKGND:
        return 1;  // WM_PAINT fills every pixel
    case WM_PAINT:
        onPaint();
        return 0;
    case WM_PRINTCLIENT: {
        RECT client{};
        GetClientRect(window_, &client);
        paint(reinterpret_cast<HDC>(wParam), client);
        return 0;
    }
    case WM_LBUTTONDOWN:
        onButtonDown(POINT{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)}, wParam);
        return 0;
    case WM_LBUTTONDBLCLK:
        onDoubleClick(POINT{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)});
        return 0;
    case WM_MOUSEMOVE:
        onMouseMove(POINT{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)});
        return 0;
    case WM_LBUTTONUP:
        endDrag();
        return 0;
    case WM_CAPTURECHANGED:
        if (dragging_) endDrag();
        return 0;
    case WM_TIMER:
        if (wParam == kScrollBarTimer) showPendingScrollBar();
        if (wParam == kDragScrollTimer) onDragTimer();
        if (wParam == kRepaintTimer) showPendingRepaint();
        return 0;
    case WM_GETOBJECT:
        return answerReceiveViewGetObject(window_, wParam, lParam);
    case kReceiveViewGetNewestText:
        return answerReceiveViewNewestText(window_, lParam, layout_.text());
    case WM_CONTEXTMENU:
        // No menu of our own; the dialog shows the receive box's menu on the right button press.
        return 0;
    default:
        return DefWindowProcA(window_, message, wParam, lParam);
    }
}

ReceiveViewDiagnostics ReceiveViewControl::diagnostics() const {
    ReceiveViewDiagnostics result = diagnostics_;
    result.textCapacity = layout_.textCapacity();
    result.lineTableCapacity = layout_.lineTableCapacity();
    return result;
}

void ReceiveViewControl::onCreate(const CREATESTRUCTA& create) {
    // Shown grey like a read-only edit box when created read-only; the user never edits it either way.
    readOnly_ = (create.style & ES_READONLY) != 0;
    metrics_ = measureFont(window_, nullptr);
    layoutWidth_ = wrapWidth();
    pageLines_ = visibleLines();
    layout_.setGeometry(metrics_.advances, layoutWidth_);
    // The window name is the initial text, as for an edit box (unless it is a resource number).
    if (create.lpszName != nullptr && !IS_INTRESOURCE(create.lpszName) && create.lpszName[0] != '\0')
        layout_.assign(create.lpszName);
    updateScrollBar();
}

LRESULT ReceiveViewControl::onGetText(std::size_t bufferSize, char* buffer) const {
    if (buffer == nullptr || bufferSize == 0) return 0;
    const std::size_t count = std::min(bufferSize - 1, layout_.length());
    std::memcpy(buffer, layout_.text().data(), count);
    buffer[count] = '\0';
    return static_cast<LRESULT>(count);
}

void ReceiveViewControl::onSetText(const char* text) {
    // As in an edit box, the limit applies to replacements only, not to WM_SETTEXT.
    layout_.assign(textOrEmpty(text));
    diagnostics_.charactersExaminedByLastChange = layout_.lastBreakWork();
    diagnostics_.dropWorkByLastChange = 0;
    selectionSetAside_ = false;
    selectionByUser_ = false;
    anchor_ = caret_ = 0;
    firstLine_ = 0;
    updateScrollBar();
    InvalidateRect(window_, nullptr, FALSE);
    valueChanges_.textChanged();
}

void ReceiveViewControl::onReplaceSelection(const char* text) {
    const std::string_view wanted = textOrEmpty(text);
    if (keepNewest_ && selectionStart() == layout_.length()) {
        appendKeepingNewest(wanted);
        return;
    }
    dropSetAsideSelection();
    selectionByUser_ = false;
    const std::size_t begin = selectionStart();
    const std::size_t end = selectionEnd();
    // Keep what fits under the limit, as an edit box does; the rest is dropped.
    const std::size_t kept = layout_.length() - (end - begin);
    const std::size_t room = limit_ > kept ? limit_ - kept : 0;
    const std::string_view inserted = wanted.substr(0, std::min(wanted.size(), room));
    if (inserted.size() < wanted.size()) notifyParent(EN_MAXTEXT);

    pacingRepaints_ = true;
    replaceText(begin, end, inserted);
    anchor_ = caret_ = begin + inserted.size();
    scrollCaretIntoView(ScrollBarRedraw::soon);
    updateScrollBar(ScrollBarRedraw::soon);
    pacingRepaints_ = false;
    valueChanges_.textChanged();
    notifyParent(EN_UPDATE);
    notifyParent(EN_CHANGE);
}

void ReceiveViewControl::replaceText(std::size_t begin, std::size_t end, std::string_view inserted) {
    const bool appending = begin == layout_.length();
    const std::size_t changedLine = layout_.lineOf(begin);
    layout_.replace(begin, end, inserted);
    diagnostics_.charactersExaminedByLastChange = layout_.lastBreakWork();
    diagnostics_.dropWorkByLastChange = 0;
    // An append changes only the last line and what follows it; any other change may also move
    // words on the two lines before, which the line breaking looked at again.
    invalidateFromLine(appending ? changedLine : changedLine >= 2 ? changedLine - 2 : 0);
    anchor_ = std::min(anchor_, layout_.length());
    caret_ = std::min(caret_, layout_.length());
    firstLine_ = std::min(firstLine_, lastFirstLine());
}

void ReceiveViewControl::onSetSelection(WPARAM start, LPARAM end) {
    const std::size_t length = layout_.length();
    if (static_cast<int>(start) == -1) {
        setSelection(caret_, caret_);  // -1 removes the selection and leaves the caret
        selectionByUser_ = false;
        return;
    }
    const std::size_t anchor = clampedPosition(start, length);
    const std::size_t caret = clampedPosition(static_cast<WPARAM>(end), length);
    if (keepNewest_ && anchor == length && caret == length) {
        setAsideUserSelection();  // the first step of an append
        return;
    }
    setSelection(anchor, caret);
    selectionByUser_ = false;
}

LRESULT ReceiveViewControl::onGetSelection(DWORD* start, DWORD* end) const {
    const std::size_t first = selectionStart();
    const std::size_t last = selectionEnd();
    if (start != nullptr) *start = static_cast<DWORD>(first);
    if (end != nullptr) *end = static_cast<DWORD>(last);
    if (first > 0xFFFF || last > 0xFFFF) return -1;
    return MAKELRESULT(first, last);
}

void ReceiveViewControl::onSetLimit(WPARAM limit) {
    limit_ = limit == 0 ? kLargestLimit : std::min<std::size_t>(static_cast<DWORD>(limit), kLargestLimit);
}

LRESULT ReceiveViewControl::onGetLine(WPARAM line, char* buffer) const {
    if (buffer == nullptr || line >= layout_.lineCount()) return 0;
    WORD capacity = 0;
    std::memcpy(&capacity, buffer, sizeof(capacity));  // the caller puts the size in the first word
    const std::size_t start = layout_.lineStart(line);
    const std::size_t count = std::min<std::size_t>(capacity, layout_.lineContentEnd(line) - start);
    std::memcpy(buffer, layout_.text().data() + start, count);
    return static_cast<LRESULT>(count);
}

LRESULT ReceiveViewControl::onLineLength(WPARAM position) const {
    if (static_cast<int>(position) == -1) {
        // Unselected characters on the lines the selection touches.
        const std::size_t firstLine = layout_.lineOf(selectionStart());
        const std::size_t lastLine = layout_.lineOf(selectionEnd());
        const std::size_t before = selectionStart() - layout_.lineStart(firstLine);
        const std::size_t lastEnd = layout_.lineContentEnd(lastLine);
        const std::size_t after = lastEnd > selectionEnd() ? lastEnd - selectionEnd() : 0;
        return static_cast<LRESULT>(before + after);
    }
    const std::size_t line = layout_.lineOf(std::min<std::size_t>(position, layout_.length()));
    return static_cast<LRESULT>(layout_.lineContentEnd(line) - layout_.lineStart(line));
}

void ReceiveViewControl::notifyParent(WORD code) const {
    const HWND parent = GetParent(window_);
    if (parent == nullptr) return;
    SendMessageA(parent, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(window_), code), reinterpret_cast<LPARAM>(window_));
}

}  // namespace quenlet

// The receive box: a read-only multi-line text view that answers the edit-box messages the program
// and outside tools send (WM_GETTEXTLENGTH, EM_SETSEL, EM_REPLACESEL, WM_SETTEXT, WM_GETTEXT,
// EM_LIMITTEXT, ...), but whose appends at the end cost only as much as the appended text, however
// much the box already holds, and whose painting touches only the visible lines.
//
// Shown like the edit box it stands in for: the font given by WM_SETFONT, lines wrapped at the
// window width, colours from the parent's WM_CTLCOLORSTATIC, vertical scroll bar, mouse selection
// and Ctrl+C copy. It has no context menu of its own and never swallows Tab, Enter or Escape.
//
// Text is narrow single-byte ANSI, shown unchanged: CR LF and a lone LF end a line, a lone CR and
// other control bytes are drawn as the font draws them (see receive_view_layout.h). As in an edit
// box, EM_REPLACESEL keeps only what fits under the limit (default 30,000 characters) and then
// sends EN_MAXTEXT, while WM_SETTEXT is not cut.
//
// A box that shows a stream can instead keep the newest text (kReceiveViewKeepNewest). Then an
// EM_REPLACESEL at the end of the text that would pass the limit drops the oldest whole lines
// (whole hex groups where there are no line breaks) and sends no EN_MAXTEXT; other replacements
// still keep what fits. In that mode the user's reading is left alone: an append at the end keeps
// the selection or caret the user set (moving it with its text; what is dropped is gone), even
// though the append's EM_SETSEL put the caret at the end, and the view follows the new text only
// when the end was in view and the user has no selection and is not dragging one; otherwise it
// stays on the text it shows.
#pragma once

#include <windows.h>

#include <cstddef>

namespace quenlet {

// The window class name dialog templates use for the receive box.
inline constexpr char kReceiveViewClassName[] = "QuenletReceiveView";

// wParam TRUE: appends at the end keep the newest text and leave the user's reading alone (see
// above); FALSE: edit-box behaviour (the default). Returns TRUE.
inline constexpr UINT kReceiveViewKeepNewest = WM_USER + 0x3A0;

// Private to the view's accessible object (receive_view_accessibility.h), which reads the newest
// text with it, what WM_GETTEXT would give from the end without copying the rest. lParam names a
// read the object has open in this process; the view refuses anything else (returns 0 and writes
// nothing), whoever sends or posts it. wParam is not used.
inline constexpr UINT kReceiveViewGetNewestText = WM_USER + 0x3A1;

// Registers the window class for instance. Call once before creating dialogs that use it; further
// calls do nothing and succeed. False only when registration fails.
bool registerReceiveViewClass(HINSTANCE instance);

// Counters describing the work behind the last text change and the last paint, so that cost can
// be checked without timing it, and the memory the text holds.
struct ReceiveViewDiagnostics {
    std::size_t charactersExaminedByLastChange = 0;  // by the line breaking
    std::size_t dropWorkByLastChange = 0;  // characters and line starts moved or looked at to drop old text
    std::size_t linesPaintedByLastPaint = 0;
    std::size_t charactersPaintedByLastPaint = 0;
    std::size_t textCapacity = 0;       // characters the text's buffer has room for
    std::size_t lineTableCapacity = 0;  // display lines the line table has room for
};

// The counters of view, read on the view's own thread; false when view is not a receive view.
bool readReceiveViewDiagnostics(HWND view, ReceiveViewDiagnostics& diagnostics);

}  // namespace quenlet

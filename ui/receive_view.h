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
#pragma once

#include <windows.h>

#include <cstddef>

namespace quenlet {

// The window class name dialog templates use for the receive box.
inline constexpr char kReceiveViewClassName[] = "QuenletReceiveView";

// Registers the window class for instance. Call once before creating dialogs that use it; further
// calls do nothing and succeed. False only when registration fails.
bool registerReceiveViewClass(HINSTANCE instance);

// Counters describing the work behind the last text change and the last paint, so that cost can
// be checked without timing it.
struct ReceiveViewDiagnostics {
    std::size_t charactersExaminedByLastChange = 0;  // by the line breaking
    std::size_t linesPaintedByLastPaint = 0;
    std::size_t charactersPaintedByLastPaint = 0;
};

// The counters of view, read on the view's own thread; false when view is not a receive view.
bool readReceiveViewDiagnostics(HWND view, ReceiveViewDiagnostics& diagnostics);

}  // namespace quenlet

// The receive view as screen readers see it. Being the program's own window class, the view would
// get the system's object for any window: a nameless client area without text. The system's
// edit-box proxy (CreateStdAccessibleProxy with the edit class) cannot stand in for it: Wine 8 has
// no such proxy (the call ends the process). So the view answers WM_GETOBJECT with an object of its
// own that says what an edit box's says: role text, read-only, the name of its label or
// "Received", the text as value; everything else (place, parent, focus, navigation) it leaves to
// the system's object for the window.
#pragma once

#include <windows.h>

#include <cstddef>

namespace quenlet {

// The name of a view without a label: the static text just before it in the dialog.
inline constexpr wchar_t kReceiveViewAccessibleName[] = L"Received";

// The value is the text up to this many characters; of more, the newest this many, from the first
// line start among them (from the first of them when they hold one line only).
inline constexpr std::size_t kAccessibleValueLimit = 32768;

// The view's answer to WM_GETOBJECT: its object for OBJID_CLIENT, the system's for the rest.
LRESULT answerReceiveViewGetObject(HWND view, WPARAM flags, LPARAM objectId);

// Tells screen readers that the view's text changed (EVENT_OBJECT_VALUECHANGE), paced as the view
// paces its repaints: a change after a quiet spell at once, later ones once at the end of each
// interval in which the text changed, so a stream of chunks costs a few events a second.
class ValueChangeAnnouncer {
public:
    ValueChangeAnnouncer(UINT_PTR timerId, UINT intervalMs) : timerId_(timerId), intervalMs_(intervalMs) {}

    void textChanged(HWND view);
    // The view's WM_TIMER for timerId().
    void onTimer(HWND view);
    UINT_PTR timerId() const { return timerId_; }

private:
    const UINT_PTR timerId_;
    const UINT intervalMs_;
    bool timerRunning_ = false;  // the text changed in this interval or the last
    bool pending_ = false;       // the interval's end announces a change
};

}  // namespace quenlet

// The receive view as screen readers see it. Being the program's own window class, the view would
// get the system's object for any window: a nameless client area without text. The system's
// edit-box proxy (CreateStdAccessibleProxy with the edit class) cannot stand in for it: Wine 8 has
// no such proxy (the call ends the process). So the view answers WM_GETOBJECT with an object of its
// own that says what an edit box's says: role text, read-only, the name of its label or
// "Received", the text as value; everything else (place, parent, focus, navigation) it leaves to
// the system's object for the window. Late-bound clients (IDispatch) get the same answers: the
// object calls itself as the oleacc type library describes IAccessible.
#pragma once

#include <windows.h>

#include <cstddef>
#include <string_view>

namespace quenlet {

// The name of a view without a label: the static text just before it in the dialog.
inline constexpr wchar_t kReceiveViewAccessibleName[] = L"Received";

// The value is the text up to this many characters; of more, the newest this many, from the first
// line start among them (from the first of them when they hold one line only).
inline constexpr std::size_t kAccessibleValueLimit = 32768;

// The view's answer to WM_GETOBJECT: its object for OBJID_CLIENT, the system's for the rest.
LRESULT answerReceiveViewGetObject(HWND view, WPARAM flags, LPARAM objectId);

// The view's answer to kReceiveViewGetNewestText, text being all it holds: when read names a
// read of view's newest text that its accessible object has open in this process, copies the
// newest characters into it and returns how many; anything else (a made-up or stale pointer from
// any thread or process, a read already answered or meant for another view) gets 0 and nothing
// is written.
LRESULT answerReceiveViewNewestText(HWND view, LPARAM read, std::string_view text);

// Tells screen readers that the view's text changed (EVENT_OBJECT_VALUECHANGE), with the repaint
// that shows the change. The view paces its repaints while text streams in, so a stream of chunks
// costs one event per repaint, a few a second, and no timer of its own.
class ValueChangeAnnouncer {
public:
    void textChanged() { changed_ = true; }
    // The view paints: a change since the last one is told now.
    void painting(HWND view);

private:
    bool changed_ = false;
};

}  // namespace quenlet

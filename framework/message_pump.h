// One step of the framework's message loops: every message is first offered to the
// PreTranslateMessage of the dialog it is bound for, and only dispatched when that declines it.
#pragma once

#include <windows.h>

namespace quenlet {

class Dialog;

// The dialog whose window is window or the nearest parent of window (child windows only; the walk
// stops at the first top-level window). Null when no dialog of this framework is on that chain.
Dialog* dialogOwning(HWND window);

// Pre-translates message through dialogOwning(message.hwnd); translates and dispatches it when no
// dialog consumed it.
void routeMessage(MSG& message);

// GetMessageA for the framework's loops: true with a message, false with WM_QUIT. A failed fetch
// (-1; Wine returns it when a message too large for its server arrives from another process) is
// not the end of the program: that message is lost, and the next one is waited for.
bool fetchMessage(MSG& message);

// Counts the framework message loops running on this thread while it lives.
class MessageLoopNesting {
public:
    MessageLoopNesting();
    ~MessageLoopNesting();
    MessageLoopNesting(const MessageLoopNesting&) = delete;
    MessageLoopNesting& operator=(const MessageLoopNesting&) = delete;

    // True when another framework loop runs outside this one.
    bool nested() const;
};

// The exit code of the last WM_QUIT taken by a framework message loop on this thread (0 before).
int lastQuitCode();
void recordQuitCode(int code);

}  // namespace quenlet

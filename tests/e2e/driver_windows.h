// Finding Quenlet's windows from another process in the same Wine session, and reading and
// writing their controls with bounded cross-process messages.
#pragma once

#include <windows.h>

#include <chrono>
#include <optional>
#include <string>

namespace e2e {

using Milliseconds = std::chrono::milliseconds;

// Every cross-process request gives up after this long: a hung program fails the step instead
// of hanging the script.
inline constexpr UINT kMessageLimitMs = 5000;

// The main window: a dialog captioned "Quenlet" that holds the send box. Hidden ones count only
// when asked for (the exit path hides the window before it goes away).
HWND findMainWindow(bool visibleOnly);
// A top-level dialog of the main window's process with exactly this caption.
HWND findDialog(const std::string& caption, bool visibleOnly);
// The modeless status window: the dialog of the program's process holding the "EOF" box.
HWND findStatusWindow();
// A message box of the program's process: a visible dialog with an OK button that is neither the
// main window nor the status window.
HWND findMessageBox();
// The text of the box's message (its one non-empty static control).
std::string messageBoxText(HWND box);

std::optional<std::string> windowText(HWND window);
bool setWindowText(HWND window, const std::string& text);
// Fills an edit box with text of any length. Wine passes no more than about 1 MB in one
// cross-process message, so long text goes in as a first part and appended parts, cut after line
// breaks (a CR LF pair is never split), with the box's text limit raised first: appends, unlike
// WM_SETTEXT, are held to that limit.
bool setLongEditText(HWND edit, const std::string& text);
std::optional<int> checkState(HWND button);
// Presses a button the way a click does; posted, so a handler that blocks (a modal dialog, the
// Stop pause) does not hold up the caller.
bool postClick(HWND button);
// Presses a button and waits until its handler has run.
bool click(HWND button);

// Polls condition every 20 ms (waiting on nothing else meanwhile) until it holds or limit passes.
template <class Condition>
bool waitFor(Condition condition, Milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    for (;;) {
        if (condition()) return true;
        if (std::chrono::steady_clock::now() >= deadline) return condition();
        Sleep(20);
    }
}

}  // namespace e2e

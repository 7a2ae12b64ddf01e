// The program's message boxes: one OK button, the program title as caption.
//
// Test hook: window tests cannot click a modal box away. With setMessageBoxHook(observer) set,
// ShowMessage does not open a box; it hands (owner, text, caption) to the observer and returns IDOK.
// Set or clear the hook on the window thread only, while no box is being shown.
#pragma once

#include <windows.h>

#include <functional>

namespace quenlet {

using MessageBoxHook = std::function<void(HWND owner, const char* text, const char* caption)>;

// Shows text with MB_OK. The owner is the active window of the calling thread, or the
// application's main window when the thread has none and the main window is one of its own; a
// box of any other thread has no owner. Returns what MessageBoxA returns.
int ShowMessage(const char* text);
int ShowMessage(HWND owner, const char* text);

// Shows text like ShowMessage, but closes the box as its close box would once limitMs have passed
// without an answer: for a box that must not hold up something bounded in time (the program's
// exit), and that nobody may be there to answer.
int ShowMessageWithin(DWORD limitMs, const char* text);

// Closes the message boxes that thread shows, as their close box would (call from any thread).
void closeMessagesOfThread(DWORD threadId);

// Replaces the observer; an empty function restores real message boxes.
void setMessageBoxHook(MessageBoxHook hook);

}  // namespace quenlet

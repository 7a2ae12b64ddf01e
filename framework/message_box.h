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
// application's main window when the thread has none. Returns what MessageBoxA returns.
int ShowMessage(const char* text);
int ShowMessage(HWND owner, const char* text);

// Replaces the observer; an empty function restores real message boxes.
void setMessageBoxHook(MessageBoxHook hook);

}  // namespace quenlet

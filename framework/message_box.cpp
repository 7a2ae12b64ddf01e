#include "framework/message_box.h"

#include <string>
#include <utility>

#include "framework/application.h"
#include "framework/dialog.h"

namespace quenlet {
namespace {

MessageBoxHook& installedHook() {
    static MessageBoxHook hook;
    return hook;
}

HWND defaultOwner() {
    if (const HWND active = GetActiveWindow()) return active;
    const Application* const application = Application::current();
    const Dialog* const mainWindow = application != nullptr ? application->mainWindow() : nullptr;
    if (mainWindow == nullptr || mainWindow->hwnd() == nullptr) return nullptr;
    // A window of another thread does not own the box: the box would disable it and tie the two
    // threads' input together, and that window may be destroyed while the box is still up.
    if (GetWindowThreadProcessId(mainWindow->hwnd(), nullptr) != GetCurrentThreadId()) return nullptr;
    return mainWindow->hwnd();
}

BOOL CALLBACK closeIfMessageBox(HWND window, LPARAM) {
    char className[16] = {};
    GetClassNameA(window, className, sizeof className);
    // Message boxes are dialogs of the system's dialog class.
    if (std::string(className) == "#32770") PostMessageA(window, WM_CLOSE, 0, 0);
    return TRUE;
}

// The box ShowMessageWithin is showing on this thread, caught as the system creates it: the one
// window its timer closes, whatever other dialogs the thread has (the main window, the status
// window are dialogs of the same class).
thread_local HWND boxWithin = nullptr;
thread_local HHOOK boxWithinHook = nullptr;

LRESULT CALLBACK noteBoxWithin(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HCBT_CREATEWND && boxWithin == nullptr) {
        const HWND created = reinterpret_cast<HWND>(wParam);
        char className[16] = {};
        GetClassNameA(created, className, sizeof className);
        if (std::string(className) == "#32770") boxWithin = created;
    }
    return CallNextHookEx(boxWithinHook, code, wParam, lParam);
}

void CALLBACK closeBoxWithin(HWND, UINT, UINT_PTR, DWORD) {
    if (boxWithin != nullptr) PostMessageA(boxWithin, WM_CLOSE, 0, 0);
}

}  // namespace

int ShowMessage(const char* text) { return ShowMessage(defaultOwner(), text); }

int ShowMessage(HWND owner, const char* text) {
    const Application* const application = Application::current();
    const std::string caption =
        application != nullptr ? application->title() : programTitleFromExecutable();
    if (const MessageBoxHook& hook = installedHook()) {
        hook(owner, text, caption.c_str());
        return IDOK;
    }
    return MessageBoxA(owner, text, caption.c_str(), MB_OK);
}

int ShowMessageWithin(DWORD limitMs, const char* text) {
    boxWithin = nullptr;
    boxWithinHook = SetWindowsHookExA(WH_CBT, noteBoxWithin, nullptr, GetCurrentThreadId());
    // A thread timer: the box's own message loop calls it.
    const UINT_PTR timer = SetTimer(nullptr, 0, limitMs, closeBoxWithin);
    const int result = ShowMessage(text);
    if (timer != 0) KillTimer(nullptr, timer);
    if (boxWithinHook != nullptr) UnhookWindowsHookEx(boxWithinHook);
    boxWithinHook = nullptr;
    boxWithin = nullptr;
    return result;
}

void closeMessagesOfThread(DWORD threadId) {
    if (threadId != 0) EnumThreadWindows(threadId, closeIfMessageBox, 0);
}

void setMessageBoxHook(MessageBoxHook hook) { installedHook() = std::move(hook); }

}  // namespace quenlet

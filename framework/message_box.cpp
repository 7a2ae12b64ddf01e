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

void CALLBACK closeOwnMessages(HWND, UINT, UINT_PTR, DWORD) { closeMessagesOfThread(GetCurrentThreadId()); }

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
    // A thread timer: the box's own message loop calls it.
    const UINT_PTR timer = SetTimer(nullptr, 0, limitMs, closeOwnMessages);
    const int result = ShowMessage(text);
    if (timer != 0) KillTimer(nullptr, timer);
    return result;
}

void closeMessagesOfThread(DWORD threadId) {
    if (threadId != 0) EnumThreadWindows(threadId, closeIfMessageBox, 0);
}

void setMessageBoxHook(MessageBoxHook hook) { installedHook() = std::move(hook); }

}  // namespace quenlet

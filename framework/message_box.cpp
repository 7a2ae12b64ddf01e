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
    return mainWindow != nullptr ? mainWindow->hwnd() : nullptr;
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

void setMessageBoxHook(MessageBoxHook hook) { installedHook() = std::move(hook); }

}  // namespace quenlet

#include "framework/application.h"

#include <commctrl.h>

#include "framework/message_pump.h"

namespace quenlet {
namespace {

Application* currentApplication = nullptr;

// Leaves the window-class registrations to comctl32: bar classes cover the toolbar and its tooltips.
void registerCommonControls() {
    INITCOMMONCONTROLSEX bars{sizeof(INITCOMMONCONTROLSEX), ICC_BAR_CLASSES};
    InitCommonControlsEx(&bars);
    // Asked for separately: comctl32 before version 6 refuses the whole call for this flag.
    INITCOMMONCONTROLSEX standard{sizeof(INITCOMMONCONTROLSEX), ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&standard);
}

int runMessageLoop() {
    const MessageLoopNesting nesting;
    MSG message;
    for (;;) {
        if (!fetchMessage(message)) break;
        routeMessage(message);
    }
    recordQuitCode(static_cast<int>(message.wParam));
    return lastQuitCode();
}

}  // namespace

std::string programTitleFromExecutable() {
    char path[MAX_PATH + 1] = {};
    const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string title(path, length < MAX_PATH ? length : MAX_PATH);
    const size_t nameStart = title.find_last_of("\\/:");
    if (nameStart != std::string::npos) title.erase(0, nameStart + 1);
    const size_t extension = title.rfind('.');
    if (extension != std::string::npos) title.erase(extension);
    return title;
}

Application::Application()
    : instance_(GetModuleHandleA(nullptr)), title_(programTitleFromExecutable()) {
    if (currentApplication == nullptr) currentApplication = this;
}

Application::~Application() {
    if (currentApplication == this) currentApplication = nullptr;
}

Application* Application::current() { return currentApplication; }

int RunApplication(HINSTANCE instance) {
    registerCommonControls();
    Application* const application = Application::current();
    if (application == nullptr) return 1;
    application->setInstance(instance);
    if (!application->InitInstance()) return lastQuitCode();
    return runMessageLoop();
}

}  // namespace quenlet

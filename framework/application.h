// The application object: one per process, built during static initialisation by the program,
// started by RunApplication from WinMain.
#pragma once

#include <windows.h>

#include <string>

namespace quenlet {

class Dialog;

class Application {
public:
    // The first Application constructed becomes current() until it is destroyed.
    Application();
    virtual ~Application();
    Application(const Application&) = delete;
    Application& operator=(const Application&) = delete;

    // Runs the program. FALSE ends the process without a message loop; TRUE enters a message loop
    // that runs until WM_QUIT.
    virtual BOOL InitInstance() = 0;

    static Application* current();

    // The module that holds the resources; the executable until RunApplication sets it.
    HINSTANCE instance() const { return instance_; }
    void setInstance(HINSTANCE instance) { instance_ = instance; }

    // The executable's file name without directory and extension ("quenlet" for ...\quenlet.exe).
    const std::string& title() const { return title_; }

    // The window that settings dialogs and message boxes fall back to as their owner.
    void setMainWindow(Dialog* window) { mainWindow_ = window; }
    Dialog* mainWindow() const { return mainWindow_; }

private:
    HINSTANCE instance_;
    std::string title_;
    Dialog* mainWindow_ = nullptr;
};

// The program title derived from the running executable's path, as Application::title() holds it.
std::string programTitleFromExecutable();

// Start-up for WinMain: registers the common-control classes the windows use, then runs the
// current application's InitInstance. Returns the process exit code (the code of the last WM_QUIT
// seen on this thread, else 0).
int RunApplication(HINSTANCE instance);

}  // namespace quenlet

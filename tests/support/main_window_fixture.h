// The real main window (MainDialog) as a modeless window on the test thread, on the virtual
// null-modem, with message boxes recorded; plus real keyboard and mouse input, a pump that notices
// WM_QUIT, a watch for popup menus and a driver for modal runs.
#pragma once

#include <gtest/gtest.h>
#include <windows.h>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "framework/application.h"
#include "framework/dialog.h"
#include "framework/handles.h"
#include "support/null_modem.h"
#include "support/window_pump.h"
#include "ui/main_dialog.h"

namespace quenlet::test {

// Holds the main window for the settings and About dialogs; runs nothing itself.
class MainWindowApplication : public Application {
public:
    BOOL InitInstance() override { return FALSE; }
};

// Keyboard and mouse input as the system queues it from the devices (SendInput): it goes to the
// foreground window's thread and updates the key state GetKeyState reports there.
void sendKey(WORD virtualKey, bool release);
void pressKey(WORD virtualKey);
void pressWithCtrl(WORD virtualKey);
// Types digits and upper-case letters, one key each.
void typeKeys(const std::string& keys);
void sendMouse(DWORD flags, POINT screen = {});
void moveMouseTo(POINT screen);
void clickAt(POINT screen);       // left button
void rightClickAt(POINT screen);  // right button
POINT centreOf(HWND window);

// Pumps the thread's messages like the program's loops do, but keeps a WM_QUIT instead of
// dropping it.
class QuitAwarePump {
public:
    void pump();
    template <class Condition>
    bool pumpUntil(Condition condition, std::chrono::milliseconds limit) {
        const auto deadline = std::chrono::steady_clock::now() + limit;
        for (;;) {
            pump();
            if (condition()) return true;
            if (std::chrono::steady_clock::now() >= deadline) return condition();
            MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
        }
    }
    const std::optional<int>& quitCode() const { return quitCode_; }

private:
    std::optional<int> quitCode_;
};

// Watches, from a thread timer (timers keep running inside a menu's own loop), for a visible popup
// menu window (class "#32768") of this thread. It notes the menu's first item and where the menu
// is, then closes it, so a test thread stuck in a menu loop comes back.
class PopupMenuWatch {
public:
    PopupMenuWatch();
    ~PopupMenuWatch();
    PopupMenuWatch(const PopupMenuWatch&) = delete;
    PopupMenuWatch& operator=(const PopupMenuWatch&) = delete;

    bool seen() const { return seen_; }
    const std::string& firstItemText() const { return firstItemText_; }
    RECT menuRect() const { return menuRect_; }

private:
    static void CALLBACK tick(HWND, UINT, UINT_PTR, DWORD);
    void poll();

    static inline PopupMenuWatch* active_ = nullptr;
    UINT_PTR timer_ = 0;
    bool seen_ = false;
    std::string firstItemText_;
    RECT menuRect_{};
};

// Drives a modal run from inside its own loop: a thread timer polls every 10 ms and runs the steps
// one after another as soon as each one's condition holds. When the limit passes first, the
// windows the running dialog owns are closed and the run is ended with kScenarioTimedOut.
inline constexpr INT_PTR kScenarioTimedOut = -77;

class ModalDriver {
public:
    using Condition = std::function<bool()>;
    using Action = std::function<void()>;

    ModalDriver& then(Action action) { return when([] { return true; }, std::move(action)); }
    ModalDriver& when(Condition ready, Action action);

    // Runs dialog.DoModal() under the steps.
    INT_PTR run(Dialog& dialog, std::chrono::milliseconds limit = std::chrono::seconds(20));
    // Runs start(), which opens a modal window of its own (such as a command handler), under the
    // steps; modalWindow() tells the driver which window that is once it exists.
    void runAround(const std::function<void()>& start, std::function<HWND()> modalWindow,
                   std::chrono::milliseconds limit = std::chrono::seconds(20));

    bool allStepsRan() const { return next_ == steps_.size(); }
    bool timedOut() const { return timedOut_; }

private:
    struct Step {
        Condition ready;
        Action action;
    };
    static void CALLBACK tick(HWND, UINT, UINT_PTR, DWORD);
    void poll();
    void begin(std::chrono::milliseconds limit);
    void end();

    static inline ModalDriver* active_ = nullptr;
    std::vector<Step> steps_;
    size_t next_ = 0;
    bool running_ = false;
    bool timedOut_ = false;
    std::function<HWND()> window_;
    std::function<void()> abandon_;
    std::chrono::steady_clock::time_point deadline_;
    UINT_PTR timer_ = 0;
};

// The visible top-level window of this thread with this caption that is owned by owner.
HWND findOwnedWindow(HWND owner, const char* caption);
// Texts of window's direct children, in Z order.
std::vector<std::string> childTexts(HWND window);

// True when COM<testPortNumber()> is held open by someone: a further open is refused.
bool isTestPortHeld();

class MainWindowTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    HWND window() const { return mainDialog->hwnd(); }
    HWND item(int id) const { return mainDialog->item(id); }
    std::string itemText(int id) const { return mainDialog->itemText(id); }
    PortController& controller() const { return *mainDialog->portController(); }

    // A menu command, sent the way a menu item sends it (code 0, no control).
    void command(UINT id) const;
    void openPort();
    // Message boxes may also come from the sender thread: these read the record under its lock.
    std::vector<std::string> recordedMessages();
    // The last message box text, for failure output.
    std::string lastMessage();
    // Makes the main window the foreground window, so that device input reaches it.
    void bringToFront();

    std::string menuText(UINT id) const;
    bool isMenuEnabled(UINT id) const;
    bool isMenuChecked(UINT id) const;

    // Pumps the window thread until condition holds (bounded).
    template <class Condition>
    bool pumpUntil(Condition condition, std::chrono::milliseconds limit = std::chrono::seconds(3)) {
        return pump.pumpUntil(condition, limit);
    }

    NullModemPeer peer;
    MainWindowApplication application;
    std::unique_ptr<MainDialog> mainDialog;
    QuitAwarePump pump;

private:
    CriticalSection messagesLock_;
    std::vector<std::string> messages_;
};

}  // namespace quenlet::test

#include "support/main_window_fixture.h"

#include "framework/message_box.h"
#include "framework/text_format.h"
#include "res/resource.h"
#include "settings/port_settings.h"
#include "ui/receive_view.h"

namespace quenlet::test {

namespace {

// Popup menus are windows of this class.
constexpr char kMenuClass[] = "#32768";

BOOL CALLBACK postCloseIfOwnedBy(HWND window, LPARAM owner) {
    if (GetWindow(window, GW_OWNER) == reinterpret_cast<HWND>(owner)) PostMessageA(window, WM_CLOSE, 0, 0);
    return TRUE;
}

// Posts WM_CLOSE to every window of this thread that owner owns.
void closeWindowsOwnedBy(HWND owner) {
    EnumThreadWindows(GetCurrentThreadId(), &postCloseIfOwnedBy, reinterpret_cast<LPARAM>(owner));
}

BOOL CALLBACK takeVisibleMenu(HWND window, LPARAM found) {
    char name[16] = {};
    GetClassNameA(window, name, sizeof name);
    if (lstrcmpA(name, kMenuClass) != 0 || !IsWindowVisible(window)) return TRUE;
    *reinterpret_cast<HWND*>(found) = window;
    return FALSE;
}

struct OwnedWindowSearch {
    HWND owner;
    const char* caption;
    HWND found;
};

BOOL CALLBACK takeOwnedWindow(HWND window, LPARAM value) {
    auto& search = *reinterpret_cast<OwnedWindowSearch*>(value);
    if (GetWindow(window, GW_OWNER) != search.owner || !IsWindowVisible(window)) return TRUE;
    if (windowText(window) != search.caption) return TRUE;
    search.found = window;
    return FALSE;
}

}  // namespace

void sendKey(WORD virtualKey, bool release) {
    INPUT input{};
    input.type = INPUT_KEYBOARD;
    input.ki.wVk = virtualKey;
    input.ki.wScan = static_cast<WORD>(MapVirtualKeyA(virtualKey, MAPVK_VK_TO_VSC));
    input.ki.dwFlags = release ? KEYEVENTF_KEYUP : 0;
    SendInput(1, &input, sizeof input);
}

void pressKey(WORD virtualKey) {
    sendKey(virtualKey, false);
    sendKey(virtualKey, true);
}

void pressWithCtrl(WORD virtualKey) {
    sendKey(VK_CONTROL, false);
    pressKey(virtualKey);
    sendKey(VK_CONTROL, true);
}

void typeKeys(const std::string& keys) {
    for (const char key : keys) pressKey(static_cast<WORD>(static_cast<unsigned char>(key)));
}

void sendMouse(DWORD flags, POINT screen) {
    INPUT input{};
    input.type = INPUT_MOUSE;
    if ((flags & MOUSEEVENTF_MOVE) != 0) {
        flags |= MOUSEEVENTF_ABSOLUTE;
        input.mi.dx = MulDiv(screen.x, 65535, GetSystemMetrics(SM_CXSCREEN) - 1);
        input.mi.dy = MulDiv(screen.y, 65535, GetSystemMetrics(SM_CYSCREEN) - 1);
    }
    input.mi.dwFlags = flags;
    SendInput(1, &input, sizeof input);
}

void moveMouseTo(POINT screen) { sendMouse(MOUSEEVENTF_MOVE, screen); }

void clickAt(POINT screen) {
    moveMouseTo(screen);
    sendMouse(MOUSEEVENTF_LEFTDOWN);
    sendMouse(MOUSEEVENTF_LEFTUP);
}

void rightClickAt(POINT screen) {
    moveMouseTo(screen);
    sendMouse(MOUSEEVENTF_RIGHTDOWN);
    sendMouse(MOUSEEVENTF_RIGHTUP);
}

POINT centreOf(HWND window) {
    RECT rect{};
    GetWindowRect(window, &rect);
    return {(rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2};
}

void QuitAwarePump::pump() {
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT) {
            quitCode_ = static_cast<int>(message.wParam);
            continue;
        }
        routeMessage(message);
    }
}

PopupMenuWatch::PopupMenuWatch() {
    active_ = this;
    timer_ = SetTimer(nullptr, 0, 10, &PopupMenuWatch::tick);
}

PopupMenuWatch::~PopupMenuWatch() {
    KillTimer(nullptr, timer_);
    active_ = nullptr;
}

void CALLBACK PopupMenuWatch::tick(HWND, UINT, UINT_PTR, DWORD) {
    if (active_ != nullptr) active_->poll();
}

void PopupMenuWatch::poll() {
    HWND menuWindow = nullptr;
    EnumThreadWindows(GetCurrentThreadId(), &takeVisibleMenu, reinterpret_cast<LPARAM>(&menuWindow));
    if (menuWindow == nullptr) return;
    if (!seen_) {
        seen_ = true;
        GetWindowRect(menuWindow, &menuRect_);
        constexpr UINT kGetMenuHandle = 0x01E1;  // MN_GETHMENU
        const auto menu = reinterpret_cast<HMENU>(SendMessageA(menuWindow, kGetMenuHandle, 0, 0));
        char text[64] = {};
        if (menu != nullptr) GetMenuStringA(menu, 0, text, sizeof text, MF_BYPOSITION);
        firstItemText_ = text;
    }
    EndMenu();
}

ModalDriver& ModalDriver::when(Condition ready, Action action) {
    steps_.push_back({std::move(ready), std::move(action)});
    return *this;
}

void ModalDriver::begin(std::chrono::milliseconds limit) {
    deadline_ = std::chrono::steady_clock::now() + limit;
    active_ = this;
    timer_ = SetTimer(nullptr, 0, 10, &ModalDriver::tick);
}

void ModalDriver::end() {
    KillTimer(nullptr, timer_);
    active_ = nullptr;
}

INT_PTR ModalDriver::run(Dialog& dialog, std::chrono::milliseconds limit) {
    window_ = [&dialog] { return dialog.hwnd(); };
    abandon_ = [&dialog] {
        closeWindowsOwnedBy(dialog.hwnd());
        dialog.EndDialog(static_cast<int>(kScenarioTimedOut));
    };
    begin(limit);
    const INT_PTR result = dialog.DoModal();
    end();
    return result;
}

void ModalDriver::runAround(const std::function<void()>& start, std::function<HWND()> modalWindow,
                            std::chrono::milliseconds limit) {
    window_ = std::move(modalWindow);
    abandon_ = [this] {
        if (const HWND window = window_()) PostMessageA(window, WM_CLOSE, 0, 0);
    };
    begin(limit);
    start();
    end();
}

void CALLBACK ModalDriver::tick(HWND, UINT, UINT_PTR, DWORD) {
    if (active_ != nullptr) active_->poll();
}

void ModalDriver::poll() {
    if (timedOut_) return;
    if (std::chrono::steady_clock::now() > deadline_) {
        timedOut_ = true;
        abandon_();
        return;
    }
    const HWND window = window_();
    if (running_ || next_ == steps_.size() || window == nullptr || !IsWindowVisible(window)) return;
    if (!steps_[next_].ready()) return;
    running_ = true;
    steps_[next_++].action();
    running_ = false;
}

HWND findOwnedWindow(HWND owner, const char* caption) {
    OwnedWindowSearch search{owner, caption, nullptr};
    EnumThreadWindows(GetCurrentThreadId(), &takeOwnedWindow, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

std::vector<std::string> childTexts(HWND window) {
    std::vector<std::string> texts;
    for (HWND child = GetWindow(window, GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT)) {
        texts.push_back(windowText(child));
    }
    return texts;
}

bool isTestPortHeld() {
    const HANDLE handle = CreateFileA(testDevicePath().c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                      OPEN_EXISTING, 0, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return GetLastError() == ERROR_ACCESS_DENIED;
    CloseHandle(handle);
    return false;
}

void MainWindowTest::SetUp() {
    ASSERT_FALSE(rigDirectory().empty()) << "the serial rig is not up (QUENLET_RIG_DIR)";
    ASSERT_TRUE(peer.isOpen());
    setModemLines(testPortNumber(), {});
    g_settings = PortSettings();
    ASSERT_EQ(g_settings.portName, testPortName());
    ASSERT_TRUE(registerReceiveViewClass(GetModuleHandleA(nullptr)));
    setMessageBoxHook([this](HWND, const char* text, const char*) {
        CriticalSectionLock lock(messagesLock_);
        messages_.emplace_back(text);
    });
    mainDialog = std::make_unique<MainDialog>();
    ASSERT_TRUE(mainDialog->Create(nullptr));
    ASSERT_NE(mainDialog->portController(), nullptr);
    ASSERT_TRUE(mainDialog->portController()->workersStarted());
    application.setMainWindow(mainDialog.get());
    pump.pump();
}

void MainWindowTest::TearDown() {
    // Whatever a test left running ends with the window, before the next test's window exists.
    mainDialog.reset();
    application.setMainWindow(nullptr);
    sendKey(VK_CONTROL, true);
    pump.pump();
    setMessageBoxHook({});
    g_settings = PortSettings();
}

std::vector<std::string> MainWindowTest::recordedMessages() {
    CriticalSectionLock lock(messagesLock_);
    return messages_;
}

std::string MainWindowTest::lastMessage() {
    CriticalSectionLock lock(messagesLock_);
    return messages_.empty() ? std::string() : messages_.back();
}

void MainWindowTest::command(UINT id) const {
    SendMessageA(window(), WM_COMMAND, MAKEWPARAM(id, 0), 0);
}

void MainWindowTest::openPort() {
    command(ID_PORT_OPEN);
    ASSERT_TRUE(controller().serialPort().isOpen()) << lastMessage();
}

void MainWindowTest::bringToFront() {
    SetForegroundWindow(window());
    SetActiveWindow(window());
    ASSERT_TRUE(pumpUntil([this] { return GetForegroundWindow() == window(); }))
        << "the main window did not come to the foreground";
}

std::string MainWindowTest::menuText(UINT id) const {
    char text[64] = {};
    GetMenuStringA(GetMenu(window()), id, text, sizeof text, MF_BYCOMMAND);
    return text;
}

bool MainWindowTest::isMenuEnabled(UINT id) const {
    const UINT state = GetMenuState(GetMenu(window()), id, MF_BYCOMMAND);
    return state != static_cast<UINT>(-1) && (state & (MF_GRAYED | MF_DISABLED)) == 0;
}

bool MainWindowTest::isMenuChecked(UINT id) const {
    const UINT state = GetMenuState(GetMenu(window()), id, MF_BYCOMMAND);
    return state != static_cast<UINT>(-1) && (state & MF_CHECKED) != 0;
}

}  // namespace quenlet::test

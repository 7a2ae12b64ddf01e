// The main window for real: its layout after start-up, keyboard and mouse input through the
// message loop, the commands against the null-modem, the toolbar's tooltips and the exit sequence,
// in this process and in the running program.
#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>
#include <dbt.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <string>
#include <vector>

#include "framework/dialog.h"
#include "framework/text_format.h"
#include "res/resource.h"
#include "settings/port_settings.h"
#include "support/controller_fixture.h"
#include "support/main_window_fixture.h"
#include "ui/display_texts.h"

namespace quenlet::test {
namespace {

using namespace std::chrono_literals;

constexpr int kMainControls[] = {IDC_RECEIVE_BOX, IDC_SEND_BOX, IDC_STATUS_LINE,
                                 IDC_LOOPS,       IDC_LOOP_INTERVAL, IDC_SEND};

// A window's rectangle in its parent's client coordinates.
RECT placementOf(HWND window) {
    RECT rect{};
    GetWindowRect(window, &rect);
    MapWindowPoints(HWND_DESKTOP, GetParent(window), reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

int heightOf(HWND window) {
    RECT rect{};
    GetWindowRect(window, &rect);
    return rect.bottom - rect.top;
}

std::string openStatus(std::int64_t sent, std::int64_t received) {
    return statusLineText(true, testPortName(), sent, received);
}

// Records the Z-order requests a window is told of (WM_WINDOWPOSCHANGING without SWP_NOZORDER)
// that leave its position and size alone.
class ZOrderRequests {
public:
    explicit ZOrderRequests(HWND window) : window_(window) {
        active_ = this;
        original_ = reinterpret_cast<WNDPROC>(
            SetWindowLongPtrA(window_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&ZOrderRequests::procedure)));
    }
    ~ZOrderRequests() {
        SetWindowLongPtrA(window_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(original_));
        active_ = nullptr;
    }
    ZOrderRequests(const ZOrderRequests&) = delete;
    ZOrderRequests& operator=(const ZOrderRequests&) = delete;

    const std::vector<HWND>& insertAfter() const { return insertAfter_; }

private:
    static LRESULT CALLBACK procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
        if (message == WM_WINDOWPOSCHANGING) {
            const auto& position = *reinterpret_cast<const WINDOWPOS*>(lParam);
            constexpr UINT kKeepsPlace = SWP_NOMOVE | SWP_NOSIZE;
            if ((position.flags & SWP_NOZORDER) == 0 && (position.flags & kKeepsPlace) == kKeepsPlace) {
                active_->insertAfter_.push_back(position.hwndInsertAfter);
            }
        }
        return CallWindowProcA(active_->original_, window, message, wParam, lParam);
    }

    static inline ZOrderRequests* active_ = nullptr;
    HWND window_;
    WNDPROC original_;
    std::vector<HWND> insertAfter_;
};

class MainDialogTest : public MainWindowTest {
protected:
    // Puts the caret at the end of an edit box and gives it the focus.
    void focusAtEnd(int id) {
        const HWND box = item(id);
        SetFocus(box);
        const auto length = SendMessageA(box, WM_GETTEXTLENGTH, 0, 0);
        SendMessageA(box, EM_SETSEL, length, length);
        ASSERT_EQ(GetFocus(), box);
    }

    // The text the dialog gives a tooltip of the toolbar button id; "unset" when it sets none.
    std::string toolTipText(UINT id) {
        NMTTDISPINFOA info{};
        char unset[] = "unset";
        info.hdr.hwndFrom = controller().toolbar().toolTips();
        info.hdr.idFrom = id;
        info.hdr.code = TTN_GETDISPINFOA;
        info.lpszText = unset;
        SendMessageA(window(), WM_NOTIFY, id, reinterpret_cast<LPARAM>(&info));
        return info.lpszText != nullptr ? info.lpszText : "(null)";
    }

    POINT toolbarButtonCentre(UINT id) const {
        const HWND bar = controller().toolbar().hwnd();
        RECT rect{};
        SendMessageA(bar, TB_GETRECT, id, reinterpret_cast<LPARAM>(&rect));
        POINT centre{(rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2};
        ClientToScreen(bar, &centre);
        return centre;
    }

    // The tooltip window's text while it is shown; empty while it is hidden.
    std::string shownToolTip() const {
        const HWND tips = controller().toolbar().toolTips();
        if (!IsWindowVisible(tips)) return {};
        char text[128] = {};
        SendMessageA(tips, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text));
        return text;
    }

    // Pumps for a while when a test has to show that something does not happen.
    void settle(std::chrono::milliseconds duration = 300ms) {
        pumpUntil([] { return false; }, duration);
    }
};

TEST_F(MainDialogTest, TheToolbarSitsAboveTheControlsAndTheGrownWindowIsCentred) {
    const HWND bar = controller().toolbar().hwnd();
    ASSERT_NE(bar, nullptr);
    EXPECT_TRUE(IsWindowVisible(bar));
    const int barHeight = controller().toolbar().height();
    ASSERT_GT(barHeight, 0);
    EXPECT_EQ(heightOf(bar), barHeight);
    EXPECT_EQ(placementOf(bar).top, 0);
    // A gripper at its left and a line along its bottom, outside the buttons' client area.
    RECT barClient{};
    GetClientRect(bar, &barClient);
    RECT barWindow{};
    GetWindowRect(bar, &barWindow);
    EXPECT_LT(barClient.right, barWindow.right - barWindow.left) << "no gripper";
    EXPECT_LT(barClient.bottom, barHeight) << "no bottom border";

    // The same template without the toolbar, for the positions the controls had.
    Dialog plain(IDD_MAIN);
    ASSERT_TRUE(plain.Create(nullptr));
    for (const int id : kMainControls) {
        SCOPED_TRACE(id);
        const RECT before = placementOf(plain.item(id));
        const RECT after = placementOf(item(id));
        EXPECT_EQ(after.left, before.left);
        EXPECT_EQ(after.top, before.top + barHeight);
        EXPECT_EQ(after.right - after.left, before.right - before.left);
        EXPECT_EQ(after.bottom - after.top, before.bottom - before.top);
        EXPECT_GE(after.top, placementOf(bar).bottom) << "a control is under the toolbar";
    }
    RECT plainWindow{};
    RECT mainWindow{};
    GetWindowRect(plain.hwnd(), &plainWindow);
    GetWindowRect(window(), &mainWindow);
    EXPECT_EQ(mainWindow.right - mainWindow.left, plainWindow.right - plainWindow.left);
    EXPECT_EQ(mainWindow.bottom - mainWindow.top, plainWindow.bottom - plainWindow.top + barHeight);

    RECT work{};
    SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
    EXPECT_NEAR(mainWindow.left - work.left, work.right - mainWindow.right, 1);
    EXPECT_NEAR(mainWindow.top - work.top, work.bottom - mainWindow.bottom, 1);
}

TEST_F(MainDialogTest, StartUpShowsThePortInMenuAndStatusLineWithSendDisabled) {
    EXPECT_EQ(windowText(window()), "Quenlet");
    EXPECT_TRUE(IsWindowVisible(window()));
    EXPECT_EQ(menuText(ID_PORT_OPEN), "&Open (COM5)");
    EXPECT_EQ(menuText(ID_PORT_CLOSE), "&Close (COM5)");
    EXPECT_EQ(menuText(ID_SEND_SETTINGS), "&Send (ASCII)");
    EXPECT_EQ(menuText(ID_RECEIVE_SETTINGS), "&Receive (ASCII)");
    EXPECT_EQ(menuText(ID_PORT_SETTINGS), "&Settings");
    EXPECT_EQ(menuText(ID_PORT_STATUS), "&Status");
    EXPECT_EQ(menuText(ID_EXIT), "&Exit");
    EXPECT_EQ(menuText(ID_ALWAYS_ON_TOP), "&Always On Top");
    EXPECT_EQ(menuText(ID_HELP_ABOUT), "&About");
    EXPECT_TRUE(isMenuEnabled(ID_PORT_OPEN));
    EXPECT_FALSE(isMenuEnabled(ID_PORT_CLOSE));
    EXPECT_TRUE(isMenuEnabled(ID_PORT_SETTINGS));
    EXPECT_FALSE(isMenuEnabled(ID_PORT_STATUS));
    EXPECT_FALSE(isMenuChecked(ID_ALWAYS_ON_TOP));

    EXPECT_EQ(itemText(IDC_STATUS_LINE), "Ready: COM5");
    EXPECT_FALSE(IsWindowEnabled(item(IDC_SEND)));
    EXPECT_FALSE(IsWindowEnabled(item(IDC_LOOPS)));
    EXPECT_FALSE(IsWindowEnabled(item(IDC_LOOP_INTERVAL)));
    EXPECT_TRUE(controller().toolbar().isButtonEnabled(ID_TOOLBAR_PORT_OPEN));
    EXPECT_FALSE(controller().toolbar().isButtonEnabled(ID_TOOLBAR_PORT_CLOSE));

    EXPECT_EQ(SendMessageA(item(IDC_RECEIVE_BOX), EM_GETLIMITTEXT, 0, 0), 0x1400000);
    // The limit is a 32-bit count: "no limit" is 0xFFFFFFFF, which a 32-bit LRESULT holds as -1.
    EXPECT_GT(static_cast<DWORD>(SendMessageA(item(IDC_SEND_BOX), EM_GETLIMITTEXT, 0, 0)), 0x1000000u)
        << "a pasted payload is cut short";
    EXPECT_NE(SendMessageA(window(), WM_GETICON, ICON_BIG, 0), 0);
    EXPECT_NE(SendMessageA(window(), WM_GETICON, ICON_SMALL, 0), 0);
}

TEST_F(MainDialogTest, EnterInTheSendBoxBreaksTheLine) {
    bringToFront();
    mainDialog->setItemText(IDC_SEND_BOX, "ab");
    focusAtEnd(IDC_SEND_BOX);
    pressKey(VK_RETURN);
    typeKeys("C");
    EXPECT_TRUE(pumpUntil([&] { return itemText(IDC_SEND_BOX) == "ab\r\nc"; }))
        << itemText(IDC_SEND_BOX);
    EXPECT_TRUE(IsWindowVisible(window()));
}

TEST_F(MainDialogTest, EnterElsewhereAndEscapeDoNothing) {
    openPort();
    PeerCollector collector(peer);
    mainDialog->setItemText(IDC_SEND_BOX, "zz");
    bringToFront();
    // Without the filter, Enter on the focused Send button would send and Escape would close.
    for (const int id : {IDC_SEND, IDC_RECEIVE_BOX, IDC_LOOPS}) {
        SCOPED_TRACE(id);
        MessageCounter keyUps(item(id), WM_KEYUP);
        SetFocus(item(id));
        ASSERT_EQ(GetFocus(), item(id));
        pressKey(VK_RETURN);
        pressKey(VK_ESCAPE);
        // The releases reach the control once the presses have been through the filter.
        ASSERT_TRUE(pumpUntil([&] { return keyUps.count() >= 2; }));
    }
    // A key typed afterwards shows when the ones before it have been handled.
    focusAtEnd(IDC_SEND_BOX);
    typeKeys("Q");
    ASSERT_TRUE(pumpUntil([&] { return itemText(IDC_SEND_BOX) == "zzq"; })) << itemText(IDC_SEND_BOX);
    settle();

    EXPECT_TRUE(IsWindowVisible(window()));
    EXPECT_EQ(collector.size(), 0u);
    EXPECT_EQ(controller().sentCount(), 0);
    EXPECT_TRUE(controller().serialPort().isOpen());
    EXPECT_TRUE(recordedMessages().empty());
}

TEST_F(MainDialogTest, CtrlEnterSendsTheSendBoxFromAnyControl) {
    openPort();
    PeerCollector collector(peer);
    mainDialog->setItemText(IDC_SEND_BOX, "hello");
    bringToFront();

    focusAtEnd(IDC_SEND_BOX);
    pressWithCtrl(VK_RETURN);
    ASSERT_TRUE(pumpUntil([&] { return collector.size() >= 5; }));
    EXPECT_EQ(itemText(IDC_SEND_BOX), "hello") << "Ctrl+Enter must not break the line";

    SetFocus(item(IDC_RECEIVE_BOX));
    pressWithCtrl(VK_RETURN);
    ASSERT_TRUE(pumpUntil([&] { return collector.size() >= 10; }));
    settle();
    const auto bytes = collector.bytes();
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()), "hellohello");
    EXPECT_TRUE(pumpUntil([&] { return itemText(IDC_STATUS_LINE) == openStatus(10, 0); }))
        << itemText(IDC_STATUS_LINE);
    EXPECT_TRUE(recordedMessages().empty());
}

TEST_F(MainDialogTest, CtrlEnterWhileSendIsDisabledDoesNothing) {
    ASSERT_FALSE(IsWindowEnabled(item(IDC_SEND)));
    mainDialog->setItemText(IDC_SEND_BOX, "ab");
    bringToFront();
    focusAtEnd(IDC_SEND_BOX);
    pressWithCtrl(VK_RETURN);
    typeKeys("C");
    ASSERT_TRUE(pumpUntil([&] { return itemText(IDC_SEND_BOX) == "abc"; })) << itemText(IDC_SEND_BOX);
    EXPECT_TRUE(recordedMessages().empty());
    EXPECT_EQ(controller().sentCount(), 0);
}

TEST_F(MainDialogTest, CtrlAAndCtrlHSwitchTheSendModeAlsoFromFileMode) {
    g_settings.sendMode = SendMode::File;
    g_settings.sendFileName = "C:\\not-opened.bin";
    mainDialog->RefreshDisplay();
    ASSERT_FALSE(controller().toolbar().isButtonEnabled(ID_SEND_MODE_ASCII));
    ASSERT_FALSE(controller().toolbar().isButtonEnabled(ID_SEND_MODE_HEX));
    bringToFront();
    SetFocus(item(IDC_RECEIVE_BOX));

    pressWithCtrl('A');
    ASSERT_TRUE(pumpUntil([] { return g_settings.sendMode == SendMode::Ascii; }));
    EXPECT_EQ(menuText(ID_SEND_SETTINGS), "&Send (ASCII)");
    EXPECT_FALSE(controller().toolbar().isButtonEnabled(ID_SEND_MODE_ASCII));
    EXPECT_TRUE(controller().toolbar().isButtonEnabled(ID_SEND_MODE_HEX));
    EXPECT_EQ(itemText(IDC_SEND_BOX), "") << "the file banner stays after leaving File mode";

    pressWithCtrl('H');
    ASSERT_TRUE(pumpUntil([] { return g_settings.sendMode == SendMode::Hex; }));
    EXPECT_EQ(menuText(ID_SEND_SETTINGS), "&Send (Hex)");
    EXPECT_TRUE(controller().toolbar().isButtonEnabled(ID_SEND_MODE_ASCII));

    // Again in the mode it selects, from the send box: the mode stays and no letter is typed.
    focusAtEnd(IDC_SEND_BOX);
    pressWithCtrl('H');
    typeKeys("C");
    ASSERT_TRUE(pumpUntil([&] { return itemText(IDC_SEND_BOX) == "c"; })) << itemText(IDC_SEND_BOX);
    EXPECT_EQ(g_settings.sendMode, SendMode::Hex);
    EXPECT_EQ(menuText(ID_SEND_SETTINGS), "&Send (Hex)");
}

TEST_F(MainDialogTest, TheIntervalBoxTakesSixDigitsAndEditingKeysStillWork) {
    openPort();
    bringToFront();
    mainDialog->checkButton(IDC_LOOPS, BST_CHECKED);
    SendMessageA(window(), WM_COMMAND, MAKEWPARAM(IDC_LOOPS, BN_CLICKED),
                 reinterpret_cast<LPARAM>(item(IDC_LOOPS)));
    const HWND interval = item(IDC_LOOP_INTERVAL);
    ASSERT_TRUE(IsWindowEnabled(interval));
    EXPECT_EQ(GetFocus(), interval) << "checking Loops moves the focus to the interval";
    mainDialog->setItemText(IDC_LOOP_INTERVAL, "");
    focusAtEnd(IDC_LOOP_INTERVAL);

    typeKeys("1234567");
    pressKey(VK_BACK);
    typeKeys("9");
    // An accepted 7 would have left "1234569".
    EXPECT_TRUE(pumpUntil([&] { return itemText(IDC_LOOP_INTERVAL) == "123459"; }))
        << itemText(IDC_LOOP_INTERVAL);

    // The keypad's digits are refused the same way.
    pressKey(VK_NUMPAD1);
    pressKey(VK_BACK);
    typeKeys("8");
    EXPECT_TRUE(pumpUntil([&] { return itemText(IDC_LOOP_INTERVAL) == "123458"; }))
        << itemText(IDC_LOOP_INTERVAL);
}

TEST_F(MainDialogTest, RightClickOnAnEmptyReceiveBoxShowsNoMenu) {
    mainDialog->setItemText(IDC_RECEIVE_BOX, "");
    bringToFront();
    MessageCounter buttonUps(item(IDC_RECEIVE_BOX), WM_RBUTTONUP);
    PopupMenuWatch menus;
    rightClickAt(centreOf(item(IDC_RECEIVE_BOX)));
    // A menu would open on the press, before the release reaches the box.
    ASSERT_TRUE(pumpUntil([&] { return buttonUps.count() > 0 || menus.seen(); }));
    settle(100ms);
    EXPECT_FALSE(menus.seen()) << "menu with \"" << menus.firstItemText() << "\"";
}

TEST_F(MainDialogTest, RightClickOnAReceiveBoxWithTextOpensTheClearMenuAtTheCursor) {
    mainDialog->setItemText(IDC_RECEIVE_BOX, "data");
    bringToFront();
    PopupMenuWatch menus;
    const POINT click = centreOf(item(IDC_RECEIVE_BOX));
    rightClickAt(click);
    ASSERT_TRUE(pumpUntil([&] { return menus.seen(); })) << "no popup menu opened";
    EXPECT_EQ(menus.firstItemText(), "&Clear");
    EXPECT_NEAR(menus.menuRect().left, click.x, 2);
    EXPECT_NEAR(menus.menuRect().top, click.y, 2);
    settle(100ms);
    EXPECT_EQ(itemText(IDC_RECEIVE_BOX), "data") << "dismissing the menu chose its item";
}

TEST_F(MainDialogTest, OpenAndCloseFromTheMenu) {
    ASSERT_FALSE(isTestPortHeld());
    command(ID_PORT_OPEN);
    ASSERT_TRUE(controller().serialPort().isOpen()) << lastMessage();
    EXPECT_TRUE(isTestPortHeld());
    EXPECT_EQ(itemText(IDC_STATUS_LINE), openStatus(0, 0));
    EXPECT_FALSE(isMenuEnabled(ID_PORT_OPEN));
    EXPECT_TRUE(isMenuEnabled(ID_PORT_CLOSE));
    EXPECT_FALSE(isMenuEnabled(ID_PORT_SETTINGS));
    EXPECT_TRUE(isMenuEnabled(ID_PORT_STATUS));
    EXPECT_TRUE(IsWindowEnabled(item(IDC_SEND)));

    ASSERT_TRUE(peer.write("ping"));
    EXPECT_TRUE(pumpUntil([&] { return itemText(IDC_RECEIVE_BOX) == "ping"; }));

    command(ID_PORT_CLOSE);
    EXPECT_FALSE(controller().serialPort().isOpen());
    EXPECT_FALSE(isTestPortHeld());
    EXPECT_EQ(itemText(IDC_STATUS_LINE), "Ready: COM5");
    EXPECT_TRUE(isMenuEnabled(ID_PORT_OPEN));
    EXPECT_FALSE(isMenuEnabled(ID_PORT_CLOSE));
    EXPECT_FALSE(IsWindowEnabled(item(IDC_SEND)));
    EXPECT_TRUE(recordedMessages().empty());
}

TEST_F(MainDialogTest, APortWaitingForItsDeviceOffersCloseAndTriesAtOnceWhenAPortArrives) {
    command(ID_PORT_OPEN);
    ASSERT_TRUE(controller().serialPort().isOpen()) << lastMessage();
    InjectedFaults lost(DeviceCall::WaitRead, {InjectedAnswer::Kind::Code, ERROR_NOT_READY}, 1);
    lost.add(DeviceCall::Open, {InjectedAnswer::Kind::Code, ERROR_FILE_NOT_FOUND}, -1);
    ASSERT_TRUE(pumpUntil([&] { return controller().isWaitingForDevice(); }));
    EXPECT_FALSE(isMenuEnabled(ID_PORT_OPEN));
    EXPECT_TRUE(isMenuEnabled(ID_PORT_CLOSE));
    EXPECT_FALSE(isMenuEnabled(ID_PORT_SETTINGS));
    EXPECT_FALSE(IsWindowEnabled(item(IDC_SEND)));

    // Windows broadcasts a port's arrival to the top-level windows: the next try comes at once,
    // not at the end of its 100 ms wait.
    DEV_BROADCAST_PORT_A arrival{};
    arrival.dbcp_size = sizeof arrival;
    arrival.dbcp_devicetype = DBT_DEVTYP_PORT;
    std::vector<double> delays;
    for (int sample = 0; sample < 5; ++sample) {
        const int seen = lost.used(DeviceCall::Open);
        ASSERT_TRUE(pumpUntil([&] { return lost.used(DeviceCall::Open) > seen; }));
        const int after = lost.used(DeviceCall::Open);
        const auto sent = std::chrono::steady_clock::now();
        SendMessageA(window(), WM_DEVICECHANGE, DBT_DEVICEARRIVAL, reinterpret_cast<LPARAM>(&arrival));
        ASSERT_TRUE(pumpUntil([&] { return lost.used(DeviceCall::Open) > after; }));
        delays.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - sent).count());
    }
    std::sort(delays.begin(), delays.end());
    EXPECT_LT(delays[2], 50.0);

    command(ID_PORT_CLOSE);
    EXPECT_FALSE(controller().isWaitingForDevice());
    EXPECT_TRUE(isMenuEnabled(ID_PORT_OPEN));
    EXPECT_EQ(itemText(IDC_STATUS_LINE), "Ready: COM5");
    EXPECT_TRUE(recordedMessages().empty()) << lastMessage();
}

TEST_F(MainDialogTest, OpenAndCloseByClickingTheToolbarButtons) {
    bringToFront();
    clickAt(toolbarButtonCentre(ID_TOOLBAR_PORT_OPEN));
    ASSERT_TRUE(pumpUntil([&] { return controller().serialPort().isOpen(); }))
        << lastMessage();
    EXPECT_TRUE(isTestPortHeld());
    EXPECT_FALSE(controller().toolbar().isButtonEnabled(ID_TOOLBAR_PORT_OPEN));
    EXPECT_TRUE(controller().toolbar().isButtonEnabled(ID_TOOLBAR_PORT_CLOSE));

    clickAt(toolbarButtonCentre(ID_TOOLBAR_PORT_CLOSE));
    ASSERT_TRUE(pumpUntil([&] { return !controller().serialPort().isOpen(); }));
    EXPECT_FALSE(isTestPortHeld());
    EXPECT_TRUE(controller().toolbar().isButtonEnabled(ID_TOOLBAR_PORT_OPEN));
    EXPECT_EQ(itemText(IDC_STATUS_LINE), "Ready: COM5");
    EXPECT_TRUE(recordedMessages().empty());
}

TEST_F(MainDialogTest, StatusShowsTheStatusWindowBesideTheOwnerCaptionedWithThePort) {
    openPort();
    const HWND status = controller().status().hwnd();
    ASSERT_FALSE(IsWindowVisible(status));
    command(ID_PORT_STATUS);
    EXPECT_TRUE(IsWindowVisible(status));
    RECT owner{};
    RECT shown{};
    GetWindowRect(window(), &owner);
    GetWindowRect(status, &shown);
    EXPECT_EQ(shown.left, owner.left + 10);
    EXPECT_EQ(shown.top, owner.top + 10);
    EXPECT_EQ(windowText(status), "COM5");
    EXPECT_EQ(GetWindow(status, GW_OWNER), window());
}

TEST_F(MainDialogTest, AlwaysOnTopTwiceReturnsToTheNormalBand) {
    RECT before{};
    GetWindowRect(window(), &before);
    ZOrderRequests requests(window());

    command(ID_ALWAYS_ON_TOP);
    EXPECT_TRUE(isMenuChecked(ID_ALWAYS_ON_TOP));
    EXPECT_TRUE(controller().isAlwaysOnTop());
    command(ID_ALWAYS_ON_TOP);
    EXPECT_FALSE(isMenuChecked(ID_ALWAYS_ON_TOP));
    EXPECT_FALSE(controller().isAlwaysOnTop());

    // The band asked for, as the window itself is told of it. (The style bit cannot be checked
    // here: Wine does not put an owner window with owned windows, such as the status window,
    // into the topmost band.)
    EXPECT_EQ(requests.insertAfter(), (std::vector<HWND>{HWND_TOPMOST, HWND_NOTOPMOST}));
    EXPECT_FALSE(GetWindowLongA(window(), GWL_EXSTYLE) & WS_EX_TOPMOST);
    RECT after{};
    GetWindowRect(window(), &after);
    EXPECT_TRUE(EqualRect(&before, &after)) << "the window moved";
}

TEST_F(MainDialogTest, ClearEmptiesTheReceiveBoxAndKeepsTheCounters) {
    openPort();
    PeerCollector collector(peer);
    mainDialog->setItemText(IDC_SEND_BOX, "ab");
    command(IDC_SEND);
    ASSERT_TRUE(pumpUntil([&] { return collector.size() == 2; }));
    ASSERT_TRUE(peer.write("hello\r\n"));
    ASSERT_TRUE(pumpUntil([&] { return itemText(IDC_STATUS_LINE) == openStatus(2, 7); }))
        << itemText(IDC_STATUS_LINE);
    ASSERT_EQ(itemText(IDC_RECEIVE_BOX), "hello\r\n");

    command(ID_CLEAR_RECEIVE);
    EXPECT_EQ(SendMessageA(item(IDC_RECEIVE_BOX), WM_GETTEXTLENGTH, 0, 0), 0);
    EXPECT_EQ(itemText(IDC_STATUS_LINE), openStatus(2, 7));
    EXPECT_EQ(controller().sentCount(), 2);
    EXPECT_EQ(controller().receivedCount(), 7);

    ASSERT_TRUE(peer.write("x"));
    EXPECT_TRUE(pumpUntil([&] { return itemText(IDC_RECEIVE_BOX) == "x"; })) << itemText(IDC_RECEIVE_BOX);
    EXPECT_TRUE(pumpUntil([&] { return itemText(IDC_STATUS_LINE) == openStatus(2, 8); }));
}

TEST_F(MainDialogTest, TooltipTextsFollowTheButtonStates) {
    EXPECT_EQ(toolTipText(ID_TOOLBAR_PORT_OPEN), "Open");
    EXPECT_EQ(toolTipText(ID_TOOLBAR_PORT_CLOSE), "");
    EXPECT_EQ(toolTipText(ID_TOOLBAR_PORT_SETTINGS), "Port Settings");
    EXPECT_EQ(toolTipText(ID_TOOLBAR_SEND_SETTINGS), "Send Settings");
    EXPECT_EQ(toolTipText(ID_SEND_MODE_ASCII), "");
    EXPECT_EQ(toolTipText(ID_SEND_MODE_HEX), "Switch to hex for send");
    EXPECT_EQ(toolTipText(ID_TOOLBAR_RECEIVE_SETTINGS), "Receive Settings");
    EXPECT_EQ(toolTipText(ID_RECEIVE_MODE_ASCII), "");
    EXPECT_EQ(toolTipText(ID_RECEIVE_MODE_HEX), "Switch to hex for receive");
    EXPECT_EQ(toolTipText(ID_TOOLBAR_ABOUT), "About");
    EXPECT_EQ(toolTipText(IDC_SEND), "unset") << "an id that is no toolbar button gets no text";

    openPort();
    command(ID_SEND_MODE_HEX);
    command(ID_RECEIVE_MODE_HEX);
    EXPECT_EQ(toolTipText(ID_TOOLBAR_PORT_OPEN), "");
    EXPECT_EQ(toolTipText(ID_TOOLBAR_PORT_CLOSE), "Close");
    EXPECT_EQ(toolTipText(ID_TOOLBAR_PORT_SETTINGS), "");
    EXPECT_EQ(toolTipText(ID_SEND_MODE_ASCII), "Switch to ASCII for send");
    EXPECT_EQ(toolTipText(ID_SEND_MODE_HEX), "");
    EXPECT_EQ(toolTipText(ID_RECEIVE_MODE_ASCII), "Switch to ASCII for receive");
    EXPECT_EQ(toolTipText(ID_RECEIVE_MODE_HEX), "");
    // Never disabled, so always there.
    EXPECT_EQ(toolTipText(ID_TOOLBAR_SEND_SETTINGS), "Send Settings");
    EXPECT_EQ(toolTipText(ID_TOOLBAR_RECEIVE_SETTINGS), "Receive Settings");
    EXPECT_EQ(toolTipText(ID_TOOLBAR_ABOUT), "About");

    command(ID_PORT_CLOSE);
    EXPECT_EQ(toolTipText(ID_TOOLBAR_PORT_OPEN), "Open");
    EXPECT_EQ(toolTipText(ID_TOOLBAR_PORT_CLOSE), "");
}

TEST_F(MainDialogTest, HoveringAButtonShowsItsTooltipAndADisabledOneShowsNone) {
    bringToFront();
    const POINT away = centreOf(item(IDC_STATUS_LINE));
    moveMouseTo(toolbarButtonCentre(ID_TOOLBAR_PORT_OPEN));
    ASSERT_TRUE(pumpUntil([&] { return shownToolTip() == "Open"; }, 5s)) << shownToolTip();

    openPort();
    moveMouseTo(away);
    ASSERT_TRUE(pumpUntil([&] { return shownToolTip().empty(); }, 5s));
    moveMouseTo(toolbarButtonCentre(ID_TOOLBAR_PORT_OPEN));
    pumpUntil([&] { return !shownToolTip().empty(); }, 1500ms);
    EXPECT_EQ(shownToolTip(), "") << "the disabled Open button showed a tooltip";

    // The tooltips still work: the enabled Close button has one.
    moveMouseTo(toolbarButtonCentre(ID_TOOLBAR_PORT_CLOSE));
    EXPECT_TRUE(pumpUntil([&] { return shownToolTip() == "Close"; }, 5s)) << shownToolTip();

    command(ID_PORT_CLOSE);
    moveMouseTo(away);
    ASSERT_TRUE(pumpUntil([&] { return shownToolTip().empty(); }, 5s));
    moveMouseTo(toolbarButtonCentre(ID_TOOLBAR_PORT_OPEN));
    EXPECT_TRUE(pumpUntil([&] { return shownToolTip() == "Open"; }, 5s)) << shownToolTip();
    moveMouseTo(away);
}

TEST_F(MainDialogTest, ExitFromTheMenuHidesClosesThePortAndQuitsWithZero) {
    openPort();
    command(ID_PORT_STATUS);
    ASSERT_TRUE(IsWindowVisible(controller().status().hwnd()));
    ASSERT_TRUE(isTestPortHeld());

    PostMessageA(window(), WM_COMMAND, MAKEWPARAM(ID_EXIT, 0), 0);
    ASSERT_TRUE(pumpUntil([&] { return pump.quitCode().has_value(); })) << "no WM_QUIT";
    EXPECT_EQ(*pump.quitCode(), 0);
    EXPECT_FALSE(IsWindowVisible(window()));
    EXPECT_FALSE(IsWindowVisible(controller().status().hwnd()));
    EXPECT_FALSE(controller().serialPort().isOpen());
    EXPECT_FALSE(isTestPortHeld());
    EXPECT_TRUE(recordedMessages().empty());
}

TEST_F(MainDialogTest, TheCloseBoxEndsALoopSendWithoutItsRefusal) {
    openPort();
    PeerCollector collector(peer);
    mainDialog->setItemText(IDC_SEND_BOX, "tick");
    mainDialog->checkButton(IDC_LOOPS, BST_CHECKED);
    command(IDC_LOOPS);
    mainDialog->setItemText(IDC_LOOP_INTERVAL, "40");
    command(IDC_SEND);
    ASSERT_TRUE(controller().isLoopSending());
    ASSERT_TRUE(pumpUntil([&] { return collector.size() >= 8; })) << "the loop did not send";

    PostMessageA(window(), WM_SYSCOMMAND, SC_CLOSE, 0);
    ASSERT_TRUE(pumpUntil([&] { return pump.quitCode().has_value(); })) << "no WM_QUIT";
    EXPECT_EQ(*pump.quitCode(), 0);
    EXPECT_FALSE(IsWindowVisible(window()));
    EXPECT_FALSE(controller().isLoopSending());
    EXPECT_FALSE(controller().serialPort().isOpen());
    EXPECT_FALSE(isTestPortHeld());
    EXPECT_TRUE(recordedMessages().empty()) << lastMessage();
}

TEST_F(MainDialogTest, OtherSystemCommandsDoNotExit) {
    PostMessageA(window(), WM_SYSCOMMAND, SC_MINIMIZE, 0);
    ASSERT_TRUE(pumpUntil([&] { return IsIconic(window()) != FALSE; }));
    PostMessageA(window(), WM_SYSCOMMAND, SC_RESTORE, 0);
    ASSERT_TRUE(pumpUntil([&] { return IsIconic(window()) == FALSE; }));
    EXPECT_FALSE(pump.quitCode().has_value());
    EXPECT_TRUE(IsWindowVisible(window()));
}

TEST_F(MainDialogTest, ExitDuringAFileSendReportsItAndTheWindowStillGoes) {
    const TempFile file(patternBytes(1 << 20, 7));
    g_settings.sendMode = SendMode::File;
    g_settings.sendFileName = file.path();
    mainDialog->RefreshDisplay();
    openPort();
    PeerCollector collector(peer);
    command(IDC_SEND);
    ASSERT_TRUE(pumpUntil([&] { return controller().isFileSending() && collector.size() > 0; }));

    PostMessageA(window(), WM_SYSCOMMAND, SC_CLOSE, 0);
    ASSERT_TRUE(pumpUntil([&] { return pump.quitCode().has_value(); })) << "no WM_QUIT";
    EXPECT_EQ(*pump.quitCode(), 0);
    EXPECT_EQ(recordedMessages(), std::vector<std::string>{"Sendding file, stop sending first!"});
    EXPECT_FALSE(IsWindowVisible(window()));

    // What the program does next: the dialog goes, and with it the send and the port.
    const auto start = std::chrono::steady_clock::now();
    mainDialog.reset();
    EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);
    EXPECT_FALSE(isTestPortHeld());
    EXPECT_LT(collector.size(), size_t{1} << 20) << "the send ran to its end";
    EXPECT_EQ(recordedMessages().size(), 1u) << lastMessage();
}

// ---- The program itself, started as a process of its own ----

// Text of a window of another process, through the window's own WM_GETTEXT.
std::string remoteText(HWND window) {
    char text[256] = {};
    DWORD_PTR result = 0;
    SendMessageTimeoutA(window, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text), SMTO_ABORTIFHUNG,
                        2000, &result);
    return text;
}

// Polls another process's windows every 20 ms until condition holds or limit passes.
template <class Condition>
bool waitForProgram(Condition condition, std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    for (;;) {
        if (condition()) return true;
        if (std::chrono::steady_clock::now() >= deadline) return condition();
        Sleep(20);
    }
}

std::string programPath() {
    if (const char* const path = std::getenv("QUENLET_PROGRAM")) return path;
    char own[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, own, MAX_PATH);
    std::string path(own);
    // The test program lives in BUILD\tests, the program in BUILD.
    for (int level = 0; level < 2; ++level) path.erase(path.find_last_of("\\/"));
    return path + "\\quenlet.exe";
}

struct ProgramWindowSearch {
    DWORD process;
    const char* caption;
    HWND found;
};

BOOL CALLBACK takeProgramWindow(HWND window, LPARAM value) {
    auto& search = *reinterpret_cast<ProgramWindowSearch*>(value);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    char name[16] = {};
    GetClassNameA(window, name, sizeof name);
    if (owner != search.process || !IsWindowVisible(window) || lstrcmpA(name, "#32770") != 0) return TRUE;
    if (windowText(window) != search.caption) return TRUE;
    search.found = window;
    return FALSE;
}

class RunningProgram {
public:
    RunningProgram() {
        STARTUPINFOA startup{};
        startup.cb = sizeof startup;
        std::string commandLine = "\"" + programPath() + "\"";
        started_ = CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                                  nullptr, &startup, &process_) != FALSE;
    }
    ~RunningProgram() {
        if (!started_) return;
        // Never leave the program behind, whatever the test saw.
        if (WaitForSingleObject(process_.hProcess, 0) == WAIT_TIMEOUT) {
            TerminateProcess(process_.hProcess, 99);
            WaitForSingleObject(process_.hProcess, 5000);
        }
        CloseHandle(process_.hThread);
        CloseHandle(process_.hProcess);
    }
    RunningProgram(const RunningProgram&) = delete;
    RunningProgram& operator=(const RunningProgram&) = delete;

    bool started() const { return started_; }

    // The visible top-level dialog window of the program with this caption.
    HWND findWindow(const char* caption) const {
        ProgramWindowSearch search{process_.dwProcessId, caption, nullptr};
        EnumWindows(&takeProgramWindow, reinterpret_cast<LPARAM>(&search));
        return search.found;
    }

    // The main window once it is shown and its first display refresh is done.
    HWND waitForMainWindow() const {
        HWND found = nullptr;
        waitForProgram(
            [&] {
                found = findWindow("Quenlet");
                return found != nullptr && remoteText(GetDlgItem(found, IDC_STATUS_LINE)) == "Ready: COM5";
            },
            20s);
        return found;
    }

    // The exit code, or STILL_ACTIVE when the program did not end within limit.
    DWORD waitForExit(std::chrono::milliseconds limit) const {
        WaitForSingleObject(process_.hProcess, static_cast<DWORD>(limit.count()));
        DWORD code = STILL_ACTIVE;
        GetExitCodeProcess(process_.hProcess, &code);
        return code;
    }

private:
    PROCESS_INFORMATION process_{};
    bool started_ = false;
};

class MainDialogProcessTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(rigDirectory().empty()) << "the serial rig is not up (QUENLET_RIG_DIR)";
        ASSERT_TRUE(peer.isOpen());
        setModemLines(testPortNumber(), {});
        ASSERT_NE(GetFileAttributesA(programPath().c_str()), INVALID_FILE_ATTRIBUTES)
            << "the program is not built: " << programPath();
        ASSERT_FALSE(isTestPortHeld());
    }

    bool waitForStatus(HWND mainWindow, const std::string& text) const {
        return waitForProgram([&] { return remoteText(GetDlgItem(mainWindow, IDC_STATUS_LINE)) == text; }, 10s);
    }

    NullModemPeer peer;
};

TEST_F(MainDialogProcessTest, TheCloseBoxEndsTheProgramWithCodeZero) {
    RunningProgram program;
    ASSERT_TRUE(program.started()) << programPath();
    const HWND mainWindow = program.waitForMainWindow();
    ASSERT_NE(mainWindow, nullptr) << "the main window did not appear";
    EXPECT_EQ(remoteText(GetDlgItem(mainWindow, IDC_LOOP_INTERVAL)), kIntervalPlaceholder);
    EXPECT_EQ(remoteText(GetDlgItem(mainWindow, IDC_SEND)), "Send");
    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(mainWindow, IDC_SEND)));

    PostMessageA(mainWindow, WM_SYSCOMMAND, SC_CLOSE, 0);
    EXPECT_EQ(program.waitForExit(10s), 0u);
}

TEST_F(MainDialogProcessTest, ExitWithThePortOpenEndsTheProgramAndFreesThePort) {
    RunningProgram program;
    ASSERT_TRUE(program.started()) << programPath();
    const HWND mainWindow = program.waitForMainWindow();
    ASSERT_NE(mainWindow, nullptr) << "the main window did not appear";

    PostMessageA(mainWindow, WM_COMMAND, MAKEWPARAM(ID_PORT_OPEN, 0), 0);
    ASSERT_TRUE(waitForStatus(mainWindow, openStatus(0, 0)));
    EXPECT_TRUE(isTestPortHeld());
    ASSERT_TRUE(peer.write("hi"));
    EXPECT_TRUE(waitForStatus(mainWindow, openStatus(0, 2)));

    PostMessageA(mainWindow, WM_COMMAND, MAKEWPARAM(ID_EXIT, 0), 0);
    EXPECT_EQ(program.waitForExit(10s), 0u);
    EXPECT_FALSE(isTestPortHeld());
}

TEST_F(MainDialogProcessTest, ClosingDuringAFileSendShowsTheRefusalAndEndsWithoutAnAnswer) {
    const TempFile file(patternBytes(2 << 20, 11));
    PeerCollector collector(peer);
    RunningProgram program;
    ASSERT_TRUE(program.started()) << programPath();
    const HWND mainWindow = program.waitForMainWindow();
    ASSERT_NE(mainWindow, nullptr) << "the main window did not appear";

    // Send mode File with the file, through the Send Settings dialog of the program.
    PostMessageA(mainWindow, WM_COMMAND, MAKEWPARAM(ID_SEND_SETTINGS, 0), 0);
    HWND settings = nullptr;
    ASSERT_TRUE(waitForProgram([&] { return (settings = program.findWindow("Send Settings")) != nullptr; }, 10s));
    DWORD_PTR ignored = 0;
    SendMessageTimeoutA(GetDlgItem(settings, IDC_SEND_AS_ASCII), BM_SETCHECK, BST_UNCHECKED, 0, SMTO_ABORTIFHUNG,
                        2000, &ignored);
    SendMessageTimeoutA(GetDlgItem(settings, IDC_SEND_AS_FILE), BM_SETCHECK, BST_CHECKED, 0, SMTO_ABORTIFHUNG,
                        2000, &ignored);
    SendMessageTimeoutA(GetDlgItem(settings, IDC_SEND_FILE_NAME), WM_SETTEXT, 0,
                        reinterpret_cast<LPARAM>(file.path().c_str()), SMTO_ABORTIFHUNG, 2000, &ignored);
    PostMessageA(settings, WM_COMMAND, MAKEWPARAM(IDC_SEND_SETTINGS_OK, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(settings, IDC_SEND_SETTINGS_OK)));
    ASSERT_TRUE(waitForProgram([&] { return remoteText(GetDlgItem(mainWindow, IDC_SEND_BOX)).starts_with(kSendFileBanner); },
                          10s))
        << remoteText(GetDlgItem(mainWindow, IDC_SEND_BOX));

    PostMessageA(mainWindow, WM_COMMAND, MAKEWPARAM(ID_PORT_OPEN, 0), 0);
    ASSERT_TRUE(waitForStatus(mainWindow, openStatus(0, 0)));
    PostMessageA(mainWindow, WM_COMMAND, MAKEWPARAM(IDC_SEND, 0), 0);
    ASSERT_TRUE(waitForProgram([&] { return collector.size() > 0; }, 10s)) << "the file send did not start";
    ASSERT_EQ(remoteText(GetDlgItem(mainWindow, IDC_SEND)), "Stop");

    const auto closed = std::chrono::steady_clock::now();
    PostMessageA(mainWindow, WM_SYSCOMMAND, SC_CLOSE, 0);
    HWND box = nullptr;
    ASSERT_TRUE(waitForProgram([&] { return (box = program.findWindow("quenlet")) != nullptr; }, 10s))
        << "no message box";
    std::vector<std::string> texts;
    for (HWND child = GetWindow(box, GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT)) {
        texts.push_back(remoteText(child));
    }
    EXPECT_NE(std::find(texts.begin(), texts.end(), "Sendding file, stop sending first!"), texts.end());

    // Nobody answers the box (a minimised window may not even show it): the program ends in time.
    EXPECT_EQ(program.waitForExit(10s), 0u);
    const auto took = std::chrono::steady_clock::now() - closed;
    EXPECT_LT(took, 3s) << std::chrono::duration_cast<std::chrono::milliseconds>(took).count() << " ms";
    EXPECT_FALSE(isTestPortHeld());
    EXPECT_LT(collector.size(), size_t{2} << 20) << "the send ran to its end before the program did";
}

}  // namespace
}  // namespace quenlet::test

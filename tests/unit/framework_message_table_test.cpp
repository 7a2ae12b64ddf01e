// Routing of window messages through a dialog class's message table.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <vector>

#include "framework/dialog.h"
#include "framework/message_table.h"
#include "tests/unit/framework_test_support.h"

namespace quenlet::test {
namespace {

constexpr WORD kEditId = 100;
constexpr WORD kButtonId = 101;
constexpr WORD kStaticId = 102;
constexpr UINT kOpenCommand = 1050;
constexpr UINT kFirstModeCommand = 1057;
constexpr UINT kLastModeCommand = 1059;
constexpr UINT kDeclinedNotifyId = 300;
constexpr UINT_PTR kLoopTimer = 0;  // the program's loop-send timer has id 0

DialogTemplateBuilder routedDialogTemplate(DWORD visibility) {
    DialogTemplateBuilder builder(kPopupDialogStyle | visibility, 160, 80, "Routed");
    builder.add(ControlClass::Edit, kEditId, "", ES_AUTOHSCROLL | WS_BORDER | WS_TABSTOP, 5, 5, 100, 12)
        .add(ControlClass::Button, kButtonId, "Push", BS_PUSHBUTTON | WS_TABSTOP, 5, 22, 50, 14)
        .add(ControlClass::Static, kStaticId, "Label", SS_LEFT, 5, 40, 50, 8);
    return builder;
}

class RoutedDialog : public GuardedDialog {
public:
    explicit RoutedDialog(const DLGTEMPLATE* dialogTemplate) : GuardedDialog(dialogTemplate) {}

    // Set before a modal run: start the loop timer from OnInitDialog.
    bool startTimerAtInit = false;
    // While set, SC_CLOSE is taken by the handler; otherwise it goes to the default processing.
    bool interceptClose = true;
    bool paintToDefault = true;

    int openCalls = 0;
    std::vector<UINT> modeIds;
    int editChanges = 0;
    int buttonClicks = 0;
    std::vector<UINT> notifiedIds;
    std::vector<HWND> notifiedFrom;
    std::vector<UINT> timerIds;
    std::vector<UINT> sysCommands;
    int paints = 0;
    int cancels = 0;
    int leftClicks = 0;
    LPARAM lastClickPosition = 0;
    const HBRUSH staticBrush = static_cast<HBRUSH>(GetStockObject(GRAY_BRUSH));
    const HICON dragIcon = LoadIconA(nullptr, MAKEINTRESOURCEA(32512));  // IDI_APPLICATION

    BOOL OnInitDialog() override {
        GuardedDialog::OnInitDialog();
        if (startTimerAtInit) SetTimer(kLoopTimer, 20);
        return TRUE;
    }
    void OnCancel() override {
        ++cancels;
        GuardedDialog::OnCancel();
    }

private:
    void OnOpen() { ++openCalls; }
    void OnMode(UINT id) { modeIds.push_back(id); }
    void OnEditChanged() { ++editChanges; }
    void OnButton() { ++buttonClicks; }
    BOOL OnToolTipText(NMHDR* header, LRESULT* result) {
        notifiedIds.push_back(static_cast<UINT>(header->idFrom));
        notifiedFrom.push_back(header->hwndFrom);
        *result = 0x5151;
        return TRUE;
    }
    BOOL OnDeclinedNotify(NMHDR* header, LRESULT* result) {
        notifiedIds.push_back(static_cast<UINT>(header->idFrom));
        *result = 0x6262;
        return FALSE;
    }
    void OnTimer(UINT id) {
        timerIds.push_back(id);
        if (id == kLoopTimer && timerIds.size() == 2) {
            KillTimer(kLoopTimer);
            EndDialog(1000);
        }
    }
    void OnSysCommand(UINT code) {
        sysCommands.push_back(code);
        if (code != SC_CLOSE || !interceptClose) passToDefault();
    }
    void OnPaint() {
        ++paints;
        if (paintToDefault) passToDefault();
    }
    LRESULT OnCtlColorStatic(WPARAM, LPARAM) { return reinterpret_cast<LRESULT>(staticBrush); }
    LRESULT OnQueryDragIcon(WPARAM, LPARAM) { return reinterpret_cast<LRESULT>(dragIcon); }
    LRESULT OnSetCursor(WPARAM, LPARAM) { return TRUE; }
    LRESULT OnLeftButtonDown(WPARAM, LPARAM position) {
        ++leftClicks;
        lastClickPosition = position;
        return 0;
    }

    QUENLET_MESSAGE_TABLE(RoutedDialog)
};

const MessageTable<RoutedDialog> RoutedDialog::messageTable_ = {
    onCommand(kOpenCommand, &RoutedDialog::OnOpen),
    onCommandRange(kFirstModeCommand, kLastModeCommand, &RoutedDialog::OnMode),
    onControlNotification(EN_CHANGE, kEditId, &RoutedDialog::OnEditChanged),
    onCommand(kButtonId, &RoutedDialog::OnButton),
    onNotify(TTN_GETDISPINFOA, &RoutedDialog::OnToolTipText),
    onNotify(NM_CLICK, kDeclinedNotifyId, &RoutedDialog::OnDeclinedNotify),
    onTimer(&RoutedDialog::OnTimer),
    onSysCommand(&RoutedDialog::OnSysCommand),
    onMessage(WM_PAINT, &RoutedDialog::OnPaint),
    onMessage(WM_CTLCOLORSTATIC, &RoutedDialog::OnCtlColorStatic),
    onMessage(WM_QUERYDRAGICON, &RoutedDialog::OnQueryDragIcon),
    onMessage(WM_SETCURSOR, &RoutedDialog::OnSetCursor),
    onMessage(WM_LBUTTONDOWN, &RoutedDialog::OnLeftButtonDown),
};

// A created, hidden dialog for synchronous sends.
class MessageTableTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(dialog.Create(nullptr)); }
    void TearDown() override { drainMessages(); }

    LRESULT send(UINT message, WPARAM wParam, LPARAM lParam) const {
        return SendMessageA(dialog.hwnd(), message, wParam, lParam);
    }

    DialogTemplateBuilder builder = routedDialogTemplate(0);
    RoutedDialog dialog{builder.get()};
};

TEST_F(MessageTableTest, MenuAndAcceleratorCommandsReachTheirHandler) {
    send(WM_COMMAND, MAKEWPARAM(kOpenCommand, 0), 0);  // menu
    send(WM_COMMAND, MAKEWPARAM(kOpenCommand, 1), 0);  // accelerator
    EXPECT_EQ(dialog.openCalls, 2);
}

TEST_F(MessageTableTest, ControlNotificationsOtherThanClicksDoNotRunCommandHandlers) {
    send(WM_COMMAND, MAKEWPARAM(kOpenCommand, EN_SETFOCUS), reinterpret_cast<LPARAM>(dialog.item(kEditId)));
    EXPECT_EQ(dialog.openCalls, 0);
}

TEST_F(MessageTableTest, CommandRangeHandlerReceivesTheId) {
    for (UINT id = kFirstModeCommand - 1; id <= kLastModeCommand + 1; ++id) send(WM_COMMAND, id, 0);
    const std::vector<UINT> expected{1057, 1058, 1059};
    EXPECT_EQ(dialog.modeIds, expected);
}

TEST_F(MessageTableTest, ButtonClickAndEditChangeOfRealControlsAreRouted) {
    SendMessageA(dialog.item(kButtonId), BM_CLICK, 0, 0);
    EXPECT_EQ(dialog.buttonClicks, 1);

    dialog.setItemText(kEditId, "typed");
    EXPECT_EQ(dialog.editChanges, 1);
}

TEST_F(MessageTableTest, NotificationHandlerSetsTheMessageResult) {
    NMHDR header{dialog.item(kStaticId), 1051, TTN_GETDISPINFOA};
    EXPECT_EQ(send(WM_NOTIFY, 1051, reinterpret_cast<LPARAM>(&header)), 0x5151);

    const std::vector<UINT> expected{1051};
    EXPECT_EQ(dialog.notifiedIds, expected);
    ASSERT_EQ(dialog.notifiedFrom.size(), 1u);
    EXPECT_EQ(dialog.notifiedFrom[0], dialog.item(kStaticId));
}

TEST_F(MessageTableTest, DeclinedNotificationGoesToTheDefaultProcessing) {
    NMHDR header{dialog.item(kStaticId), kDeclinedNotifyId, NM_CLICK};
    EXPECT_EQ(send(WM_NOTIFY, kDeclinedNotifyId, reinterpret_cast<LPARAM>(&header)), 0);
    EXPECT_EQ(dialog.notifiedIds.size(), 1u);

    // Another id with the same code matches no entry.
    NMHDR other{dialog.item(kStaticId), kDeclinedNotifyId + 1, NM_CLICK};
    send(WM_NOTIFY, kDeclinedNotifyId + 1, reinterpret_cast<LPARAM>(&other));
    EXPECT_EQ(dialog.notifiedIds.size(), 1u);
}

TEST_F(MessageTableTest, SysCommandHandlerGetsTheCodeAndCanFallBackToTheDefault) {
    dialog.ShowWindow(SW_SHOW);
    send(WM_SYSCOMMAND, SC_CLOSE, 0);
    EXPECT_EQ(dialog.cancels, 0);
    EXPECT_TRUE(IsWindowVisible(dialog.hwnd()));

    // Default processing of SC_CLOSE closes the window: WM_CLOSE, IDCANCEL, hidden (modeless).
    dialog.interceptClose = false;
    send(WM_SYSCOMMAND, SC_CLOSE, 0);
    EXPECT_EQ(dialog.cancels, 1);
    EXPECT_FALSE(IsWindowVisible(dialog.hwnd()));

    const std::vector<UINT> expected{SC_CLOSE, SC_CLOSE};
    EXPECT_EQ(dialog.sysCommands, expected);
}

TEST_F(MessageTableTest, ColourAndDragIconResultsAreReturnedDirectly) {
    const HDC context = GetDC(dialog.item(kStaticId));
    EXPECT_EQ(send(WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(context),
                   reinterpret_cast<LPARAM>(dialog.item(kStaticId))),
              reinterpret_cast<LRESULT>(dialog.staticBrush));
    ReleaseDC(dialog.item(kStaticId), context);

    ASSERT_NE(dialog.dragIcon, nullptr);
    EXPECT_EQ(send(WM_QUERYDRAGICON, 0, 0), reinterpret_cast<LRESULT>(dialog.dragIcon));
}

TEST_F(MessageTableTest, CursorAndMouseMessagesAreRouted) {
    EXPECT_EQ(send(WM_SETCURSOR, reinterpret_cast<WPARAM>(dialog.hwnd()), MAKELPARAM(HTCLIENT, WM_MOUSEMOVE)), TRUE);
    send(WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(12, 34));
    EXPECT_EQ(dialog.leftClicks, 1);
    EXPECT_EQ(dialog.lastClickPosition, MAKELPARAM(12, 34));
}

TEST_F(MessageTableTest, PaintHandlerRunsAndItsDefaultProcessingValidatesTheWindow) {
    dialog.ShowWindow(SW_SHOW);
    InvalidateRect(dialog.hwnd(), nullptr, TRUE);
    UpdateWindow(dialog.hwnd());
    EXPECT_GE(dialog.paints, 1);
    EXPECT_FALSE(GetUpdateRect(dialog.hwnd(), nullptr, FALSE));
}

TEST_F(MessageTableTest, UnlistedIdOkAndCancelKeepTheirDefaultMeaning) {
    send(WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    EXPECT_EQ(dialog.cancels, 1);
}

TEST(FrameworkMessageTable, RealTimerWithIdZeroReachesTheTimerHandler) {
    DialogTemplateBuilder builder = routedDialogTemplate(WS_VISIBLE);
    RoutedDialog dialog(builder.get());
    dialog.startTimerAtInit = true;

    // The handler ends the run at the second tick; the guard ends it after 5 s otherwise.
    EXPECT_EQ(dialog.DoModal(), 1000);

    const std::vector<UINT> expected{0, 0};
    EXPECT_EQ(dialog.timerIds, expected);
    drainMessages();
}

// A table with no entries leaves every message to the base handling.
class EmptyTableDialog : public Dialog {
public:
    explicit EmptyTableDialog(const DLGTEMPLATE* dialogTemplate) : Dialog(dialogTemplate) {}
    int cancels = 0;
    void OnCancel() override {
        ++cancels;
        Dialog::OnCancel();
    }

    QUENLET_MESSAGE_TABLE(EmptyTableDialog)
};

const MessageTable<EmptyTableDialog> EmptyTableDialog::messageTable_ = {};

TEST(FrameworkMessageTable, EmptyTableFallsThroughToTheBase) {
    DialogTemplateBuilder builder = routedDialogTemplate(0);
    EmptyTableDialog dialog(builder.get());
    ASSERT_TRUE(dialog.Create(nullptr));
    SendMessageA(dialog.hwnd(), WM_CLOSE, 0, 0);
    EXPECT_EQ(dialog.cancels, 1);
}

}  // namespace
}  // namespace quenlet::test

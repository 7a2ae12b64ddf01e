// The status window: display-only check boxes, their setters, and its placement by its owner.
#include <gtest/gtest.h>

#include <chrono>

#include "framework/message_pump.h"
#include "res/resource.h"
#include "settings/port_settings.h"
#include "support/controller_fixture.h"
#include "support/window_pump.h"
#include "ui/status_dialog.h"

namespace quenlet::test {
namespace {

using namespace std::chrono_literals;

class StatusDialogTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(owner.Create(nullptr));
        ASSERT_TRUE(status.Create(owner.hwnd()));
    }

    int state(int id) const { return static_cast<int>(IsDlgButtonChecked(status.hwnd(), id)); }

    // Delivers a message through the program's message routing, as the real loop would.
    void route(HWND target, UINT message, WPARAM wParam, LPARAM lParam) {
        MSG msg{target, message, wParam, lParam, static_cast<DWORD>(GetMessageTime()), {}};
        routeMessage(msg);
        pumpMessages();
    }

    HostDialog owner;
    StatusDialog status;
};

TEST_F(StatusDialogTest, StartsHiddenWithAllBoxesClearAndAnEmptyCaption) {
    EXPECT_FALSE(IsWindowVisible(status.hwnd()));
    for (int id : {IDC_CTS, IDC_DSR, IDC_RING, IDC_RLSD, IDC_CTS_HOLD, IDC_DSR_HOLD, IDC_RLSD_HOLD,
                   IDC_XOFF_HOLD, IDC_XOFF_SENT, IDC_EOF_RECEIVED}) {
        EXPECT_EQ(state(id), BST_UNCHECKED) << id;
    }
    char caption[32] = "x";
    GetWindowTextA(status.hwnd(), caption, sizeof caption);
    EXPECT_STREQ(caption, "");
    EXPECT_EQ(GetWindow(status.hwnd(), GW_OWNER), owner.hwnd());
}

TEST_F(StatusDialogTest, EachSetterDrivesItsOwnBox) {
    struct Setter {
        void (StatusDialog::*set)(int);
        int id;
    };
    const Setter setters[] = {
        {&StatusDialog::SetCts, IDC_CTS},           {&StatusDialog::SetDsr, IDC_DSR},
        {&StatusDialog::SetRing, IDC_RING},         {&StatusDialog::SetRlsd, IDC_RLSD},
        {&StatusDialog::SetCtsHold, IDC_CTS_HOLD},  {&StatusDialog::SetDsrHold, IDC_DSR_HOLD},
        {&StatusDialog::SetRlsdHold, IDC_RLSD_HOLD}, {&StatusDialog::SetXoffHold, IDC_XOFF_HOLD},
        {&StatusDialog::SetXoffSent, IDC_XOFF_SENT}, {&StatusDialog::SetEofReceived, IDC_EOF_RECEIVED},
    };
    for (const Setter& setter : setters) {
        (status.*setter.set)(1);
        for (const Setter& other : setters) {
            EXPECT_EQ(state(other.id), other.id == setter.id ? BST_CHECKED : BST_UNCHECKED)
                << "setting " << setter.id << " shows on " << other.id;
        }
        (status.*setter.set)(0);
        EXPECT_EQ(state(setter.id), BST_UNCHECKED);
    }
}

TEST_F(StatusDialogTest, SettersWorkFromAnotherThreadWhileHidden) {
    struct Worker {
        StatusDialog* status;
        static DWORD WINAPI run(void* self) {
            static_cast<Worker*>(self)->status->SetRlsd(1);
            static_cast<Worker*>(self)->status->SetXoffHold(1);
            return 0;
        }
    } worker{&status};
    UniqueHandle thread(CreateThread(nullptr, 0, &Worker::run, &worker, 0, nullptr));
    ASSERT_TRUE(pumpUntil([&] { return WaitForSingleObject(thread.get(), 0) == WAIT_OBJECT_0; }, 5s));
    EXPECT_EQ(state(IDC_RLSD), BST_CHECKED);
    EXPECT_EQ(state(IDC_XOFF_HOLD), BST_CHECKED);
    EXPECT_FALSE(IsWindowVisible(status.hwnd()));
}

TEST_F(StatusDialogTest, ClicksDoubleClicksAndKeysLeaveTheBoxesAlone) {
    status.ShowNearOwner();
    const HWND box = GetDlgItem(status.hwnd(), IDC_CTS);
    const LPARAM inside = MAKELPARAM(3, 3);
    route(box, WM_LBUTTONDOWN, MK_LBUTTON, inside);
    route(box, WM_LBUTTONUP, 0, inside);
    EXPECT_EQ(state(IDC_CTS), BST_UNCHECKED);
    route(box, WM_LBUTTONDBLCLK, MK_LBUTTON, inside);
    route(box, WM_LBUTTONUP, 0, inside);
    EXPECT_EQ(state(IDC_CTS), BST_UNCHECKED);

    SetFocus(box);
    route(box, WM_KEYDOWN, VK_SPACE, 0);
    route(box, WM_KEYUP, VK_SPACE, 0);
    EXPECT_EQ(state(IDC_CTS), BST_UNCHECKED);
    route(box, WM_KEYDOWN, VK_RETURN, 0);
    EXPECT_TRUE(IsWindowVisible(status.hwnd())) << "Enter does nothing";

    // A real click would have toggled it: the box is an ordinary automatic check box.
    SendMessageA(box, WM_LBUTTONDOWN, MK_LBUTTON, inside);
    SendMessageA(box, WM_LBUTTONUP, 0, inside);
    EXPECT_EQ(state(IDC_CTS), BST_CHECKED);
}

TEST_F(StatusDialogTest, ShowNearOwnerPlacesItAtTheOwnersCornerWithThePortName) {
    g_settings.portName = "COM3";
    SetWindowPos(owner.hwnd(), nullptr, 120, 80, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    RECT before{};
    GetWindowRect(status.hwnd(), &before);

    status.ShowNearOwner();
    RECT owned{};
    GetWindowRect(status.hwnd(), &owned);
    EXPECT_EQ(owned.left, 130);
    EXPECT_EQ(owned.top, 90);
    EXPECT_EQ(owned.right - owned.left, before.right - before.left);
    EXPECT_EQ(owned.bottom - owned.top, before.bottom - before.top);
    EXPECT_TRUE(IsWindowVisible(status.hwnd()));
    char caption[32] = {};
    GetWindowTextA(status.hwnd(), caption, sizeof caption);
    EXPECT_STREQ(caption, "COM3");

    // Moved away by the user, it comes back on the next showing, with a renewed caption.
    SetWindowPos(status.hwnd(), nullptr, 400, 300, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    g_settings.portName = "COM12";
    status.ShowNearOwner();
    GetWindowRect(status.hwnd(), &owned);
    EXPECT_EQ(owned.left, 130);
    EXPECT_EQ(owned.top, 90);
    GetWindowTextA(status.hwnd(), caption, sizeof caption);
    EXPECT_STREQ(caption, "COM12");
}

TEST_F(StatusDialogTest, EscapeAndTheCloseBoxOnlyHideIt) {
    status.ShowNearOwner();
    SendMessageA(status.hwnd(), WM_CLOSE, 0, 0);
    EXPECT_FALSE(IsWindowVisible(status.hwnd()));
    EXPECT_TRUE(IsWindow(status.hwnd()));
    status.ShowNearOwner();
    route(GetDlgItem(status.hwnd(), IDC_DSR), WM_KEYDOWN, VK_ESCAPE, 0);
    EXPECT_FALSE(IsWindowVisible(status.hwnd()));
    EXPECT_TRUE(IsWindow(status.hwnd()));
}

}  // namespace
}  // namespace quenlet::test

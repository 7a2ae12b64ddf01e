// What the display refresh makes of the port state, the modes and the controller's flags: menu items,
// toolbar buttons, the Send button, the loop controls, the status line and the file banners.
#include <gtest/gtest.h>
#include <windows.h>

#include <commctrl.h>

#include <chrono>
#include <string>
#include <type_traits>
#include <utility>

#include "res/resource.h"
#include "settings/port_settings.h"
#include "support/controller_fixture.h"
#include "ui/display_texts.h"

namespace quenlet::test {
namespace {

using namespace std::chrono_literals;

// The counters are wide, so the status line keeps counting past 2 GiB (its text for smaller values is
// checked with the other display texts).
static_assert(std::is_same_v<decltype(std::declval<PortController&>().sentCount()), std::int64_t>);
static_assert(std::is_same_v<decltype(std::declval<PortController&>().receivedCount()), std::int64_t>);

class DisplayStateTest : public ControllerTest {
protected:
    HMENU menu() const { return GetMenu(host->hwnd()); }

    bool isMenuItemEnabled(UINT id) const {
        const UINT state = GetMenuState(menu(), id, MF_BYCOMMAND);
        EXPECT_NE(state, static_cast<UINT>(-1)) << id;
        return (state & (MF_GRAYED | MF_DISABLED)) == 0;
    }

    bool isMenuItemChecked(UINT id) const { return (GetMenuState(menu(), id, MF_BYCOMMAND) & MF_CHECKED) != 0; }

    std::string menuText(UINT id) const {
        char text[128] = {};
        GetMenuStringA(menu(), id, text, sizeof text, MF_BYCOMMAND);
        return text;
    }

    // Read from the toolbar window itself (TB_GETSTATE), not from the controller.
    bool isButtonEnabled(UINT id) const {
        const LRESULT state = SendMessageA(controller->toolbar().hwnd(), TB_GETSTATE, id, 0);
        EXPECT_NE(state, -1) << id;
        return state != -1 && (state & TBSTATE_ENABLED) != 0;
    }

    bool isReadOnly(int id) const { return (GetWindowLongA(host->item(id), GWL_STYLE) & ES_READONLY) != 0; }

    // Checks everything that depends on whether the port is open (in Ascii mode, no loop).
    void expectPortState(bool open) {
        SCOPED_TRACE(open ? "open" : "closed");
        EXPECT_EQ(menuText(ID_PORT_OPEN), "&Open (" + testPortName() + ")");
        EXPECT_EQ(menuText(ID_PORT_CLOSE), "&Close (" + testPortName() + ")");
        EXPECT_EQ(isMenuItemEnabled(ID_PORT_OPEN), !open);
        EXPECT_EQ(isMenuItemEnabled(ID_PORT_CLOSE), open);
        EXPECT_EQ(isMenuItemEnabled(ID_PORT_SETTINGS), !open);
        EXPECT_EQ(isMenuItemEnabled(ID_PORT_STATUS), open);
        EXPECT_EQ(isButtonEnabled(ID_TOOLBAR_PORT_OPEN), !open);
        EXPECT_EQ(isButtonEnabled(ID_TOOLBAR_PORT_CLOSE), open);
        EXPECT_EQ(isButtonEnabled(ID_TOOLBAR_PORT_SETTINGS), !open);
        EXPECT_EQ(controller->isOpenButtonEnabled(), !open);
        EXPECT_EQ(controller->isCloseButtonEnabled(), open);
        EXPECT_EQ(controller->isPortSettingsButtonEnabled(), !open);
        for (const UINT always : {ID_TOOLBAR_SEND_SETTINGS, ID_TOOLBAR_RECEIVE_SETTINGS, ID_TOOLBAR_ABOUT}) {
            EXPECT_TRUE(isButtonEnabled(always)) << always;
        }
        EXPECT_EQ(itemText(IDC_SEND), "Send");
        EXPECT_EQ(isEnabled(IDC_SEND), open);
        EXPECT_EQ(isEnabled(IDC_LOOPS), open);
        EXPECT_FALSE(isEnabled(IDC_LOOP_INTERVAL)) << "Loops is not set";
        EXPECT_EQ(itemText(IDC_STATUS_LINE),
                  open ? testPortName() + ", Sent/Received bytes: 0/0" : "Ready: " + testPortName());
    }
};

TEST_F(DisplayStateTest, PortItemsFollowOpenAndClose) {
    expectPortState(false);
    openPort();
    expectPortState(true);
    controller->closePort();
    expectPortState(false);
}

TEST_F(DisplayStateTest, ModeItemsAndButtonsFollowTheModes) {
    struct Row {
        SendMode send;
        ReceiveMode receive;
        bool alsoToFile;
        const char* sendText;
        const char* receiveText;
        // Each mode button offers the other mode.
        bool sendAscii, sendHex, receiveAscii, receiveHex;
    };
    const Row rows[] = {
        {SendMode::Ascii, ReceiveMode::Ascii, false, "&Send (ASCII)", "&Receive (ASCII)", false, true, false, true},
        {SendMode::Hex, ReceiveMode::Ascii, true, "&Send (Hex)", "&Receive (ASCII + File)", true, false, false, true},
        {SendMode::File, ReceiveMode::Hex, false, "&Send (File)", "&Receive (Hex)", false, false, true, false},
        {SendMode::Ascii, ReceiveMode::Hex, true, "&Send (ASCII)", "&Receive (Hex + File)", false, true, true, false},
        {SendMode::Hex, ReceiveMode::FileOnly, false, "&Send (Hex)", "&Receive (File)", true, false, false, false},
        {SendMode::File, ReceiveMode::FileOnly, true, "&Send (File)", "&Receive (File)", false, false, false, false},
    };
    const TempFile& capture = newTempName();
    g_settings.receiveFileName = capture.path();
    for (const bool open : {false, true}) {
        if (open) openPort();
        for (const Row& row : rows) {
            SCOPED_TRACE(std::string(open ? "open: " : "closed: ") + row.sendText + " " + row.receiveText);
            g_settings.sendMode = row.send;
            g_settings.receiveMode = row.receive;
            g_settings.alsoReceiveToFile = row.alsoToFile ? 1 : 0;
            controller->refreshDisplay();
            EXPECT_EQ(menuText(ID_SEND_SETTINGS), row.sendText);
            EXPECT_EQ(menuText(ID_RECEIVE_SETTINGS), row.receiveText);
            EXPECT_EQ(isButtonEnabled(ID_SEND_MODE_ASCII), row.sendAscii);
            EXPECT_EQ(isButtonEnabled(ID_SEND_MODE_HEX), row.sendHex);
            EXPECT_EQ(isButtonEnabled(ID_RECEIVE_MODE_ASCII), row.receiveAscii);
            EXPECT_EQ(isButtonEnabled(ID_RECEIVE_MODE_HEX), row.receiveHex);
            EXPECT_EQ(controller->isSendAsciiButtonEnabled(), row.sendAscii);
            EXPECT_EQ(controller->isSendHexButtonEnabled(), row.sendHex);
            EXPECT_EQ(controller->isReceiveAsciiButtonEnabled(), row.receiveAscii);
            EXPECT_EQ(controller->isReceiveHexButtonEnabled(), row.receiveHex);
            if (row.alsoToFile || row.receive == ReceiveMode::FileOnly) {
                EXPECT_TRUE(controller->hasCaptureFile());
            }
            EXPECT_EQ(isEnabled(IDC_SEND), open);
            EXPECT_EQ(isEnabled(IDC_LOOPS), open && row.send != SendMode::File);
            EXPECT_EQ(isMenuItemEnabled(ID_PORT_STATUS), open);
        }
        if (open) controller->closePort();
    }
}

TEST_F(DisplayStateTest, AlwaysOnTopIsACheckMark) {
    openPort();
    EXPECT_FALSE(isMenuItemChecked(ID_ALWAYS_ON_TOP));
    controller->toggleAlwaysOnTop();
    controller->refreshMenu();
    EXPECT_TRUE(isMenuItemChecked(ID_ALWAYS_ON_TOP));
    EXPECT_TRUE(isMenuItemEnabled(ID_PORT_STATUS));
    controller->toggleAlwaysOnTop();
    controller->refreshMenu();
    EXPECT_FALSE(isMenuItemChecked(ID_ALWAYS_ON_TOP));
}

TEST_F(DisplayStateTest, LoopControlsFollowTheLoopsBoxAndTheLoop) {
    openPort();
    setItemText(IDC_LOOP_INTERVAL, kIntervalPlaceholder);
    CheckDlgButton(host->hwnd(), IDC_LOOPS, BST_CHECKED);
    controller->refreshLoopControls();
    EXPECT_EQ(itemText(IDC_LOOP_INTERVAL), "") << "the placeholder gives way to the digits";
    EXPECT_TRUE(isEnabled(IDC_LOOP_INTERVAL));

    setItemText(IDC_LOOP_INTERVAL, "250");
    CheckDlgButton(host->hwnd(), IDC_LOOPS, BST_UNCHECKED);
    controller->refreshLoopControls();
    EXPECT_FALSE(isEnabled(IDC_LOOP_INTERVAL));
    EXPECT_EQ(itemText(IDC_LOOP_INTERVAL), "250") << "the digits stay";
    CheckDlgButton(host->hwnd(), IDC_LOOPS, BST_CHECKED);
    controller->refreshLoopControls();
    EXPECT_TRUE(isEnabled(IDC_LOOP_INTERVAL));
    EXPECT_EQ(itemText(IDC_LOOP_INTERVAL), "250");

    // A running loop locks the send box and the loop controls; Stop gives them back.
    setItemText(IDC_SEND_BOX, "");  // the ticks send nothing
    controller->onSendButton();
    ASSERT_TRUE(controller->isLoopSending());
    EXPECT_EQ(itemText(IDC_SEND), "Stop");
    EXPECT_TRUE(isEnabled(IDC_SEND));
    EXPECT_TRUE(isReadOnly(IDC_SEND_BOX));
    EXPECT_FALSE(isEnabled(IDC_LOOPS));
    EXPECT_FALSE(isEnabled(IDC_LOOP_INTERVAL));
    controller->onSendButton();  // Stop
    EXPECT_EQ(itemText(IDC_SEND), "Send");
    EXPECT_FALSE(isReadOnly(IDC_SEND_BOX));
    EXPECT_TRUE(isEnabled(IDC_LOOPS));
    EXPECT_TRUE(isEnabled(IDC_LOOP_INTERVAL));
    EXPECT_EQ(controller->sentCount(), 0) << "ticks of an empty box send nothing";

    g_settings.sendMode = SendMode::File;
    controller->refreshDisplay();
    EXPECT_FALSE(isEnabled(IDC_LOOPS)) << "a file is never sent in a loop";
    EXPECT_FALSE(isEnabled(IDC_LOOP_INTERVAL));
}

TEST_F(DisplayStateTest, SendFileBannerReplacesAndLeavesTheTypedText) {
    setItemText(IDC_SEND_BOX, "typed\r\ntext");
    g_settings.sendMode = SendMode::Hex;
    controller->refreshDisplay();
    EXPECT_EQ(itemText(IDC_SEND_BOX), "typed\r\ntext") << "other modes keep what was typed";
    EXPECT_FALSE(isReadOnly(IDC_SEND_BOX));

    g_settings.sendMode = SendMode::File;
    g_settings.sendFileName = "C:\\data\\out.bin";
    for (int refresh = 0; refresh < 2; ++refresh) {
        controller->refreshDisplay();
        EXPECT_EQ(itemText(IDC_SEND_BOX), "Sending file from...\r\nC:\\data\\out.bin");
        EXPECT_TRUE(isReadOnly(IDC_SEND_BOX));
    }

    g_settings.sendMode = SendMode::Ascii;
    controller->refreshDisplay();
    EXPECT_EQ(itemText(IDC_SEND_BOX), "") << "leaving File removes the banner";
    EXPECT_FALSE(isReadOnly(IDC_SEND_BOX));
    setItemText(IDC_SEND_BOX, "again");
    controller->refreshDisplay();
    EXPECT_EQ(itemText(IDC_SEND_BOX), "again");
}

TEST_F(DisplayStateTest, CaptureBannerReplacesAndLeavesTheReceivedText) {
    const TempFile& capture = newTempName();
    g_settings.receiveFileName = capture.path();
    openPort();
    ASSERT_TRUE(peer.write("data"));
    ASSERT_TRUE(pumpUntil([&] { return controller->receivedCount() == 4; }, 5s));
    g_settings.receiveMode = ReceiveMode::Hex;
    controller->refreshDisplay();
    EXPECT_EQ(itemText(IDC_RECEIVE_BOX), "data") << "received text survives other modes";

    g_settings.receiveMode = ReceiveMode::FileOnly;
    for (int refresh = 0; refresh < 2; ++refresh) {
        controller->refreshDisplay();
        EXPECT_EQ(itemText(IDC_RECEIVE_BOX), std::string("Receiving file to...\r\n") + capture.path());
        EXPECT_FALSE(isButtonEnabled(ID_RECEIVE_MODE_ASCII));
        EXPECT_FALSE(isButtonEnabled(ID_RECEIVE_MODE_HEX));
    }

    g_settings.receiveMode = ReceiveMode::Hex;
    controller->refreshDisplay();
    EXPECT_EQ(itemText(IDC_RECEIVE_BOX), "") << "leaving FileOnly removes the banner";
    ASSERT_TRUE(peer.write("ok"));
    ASSERT_TRUE(pumpUntil([&] { return controller->receivedCount() == 6; }, 5s));
    controller->refreshDisplay();
    EXPECT_EQ(itemText(IDC_RECEIVE_BOX), "6F 6B ");
    controller->closePort();
    EXPECT_FALSE(controller->hasCaptureFile()) << "closing the port closes the capture file";
}

}  // namespace
}  // namespace quenlet::test

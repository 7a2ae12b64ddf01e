// The Port Settings dialog, run modally under a real main window: the probed port list, the six
// lists' selections, what OK stores and that Enter and Escape store nothing.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "core/serial_port.h"
#include "framework/application.h"
#include "framework/dialog.h"
#include "framework/message_box.h"
#include "res/resource.h"
#include "settings/port_settings.h"
#include "support/modal_scenario.h"
#include "ui/main_dialog.h"
#include "ui/port_settings_dialog.h"
#include "ui/receive_view.h"

namespace quenlet::test {
namespace {

using namespace std::chrono_literals;

class TestApplication : public Application {
public:
    BOOL InitInstance() override { return FALSE; }
};

// Written into the main window's status line before each run: a display refresh replaces it.
constexpr char kUntouchedStatus[] = "untouched by a refresh";

std::vector<std::string> listEntries(HWND list) {
    std::vector<std::string> entries;
    const int count = static_cast<int>(SendMessageA(list, CB_GETCOUNT, 0, 0));
    for (int index = 0; index < count; ++index) {
        char text[64] = {};
        SendMessageA(list, CB_GETLBTEXT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(text));
        entries.emplace_back(text);
    }
    return entries;
}

// The selected entry's text; empty when nothing is selected.
std::string selectedEntry(HWND list) {
    const int index = static_cast<int>(SendMessageA(list, CB_GETCURSEL, 0, 0));
    if (index < 0) return {};
    char text[64] = {};
    SendMessageA(list, CB_GETLBTEXT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(text));
    return text;
}

// Selects the entry with exactly this text, as a user's pick would; false when there is none.
bool selectEntry(HWND list, const std::string& text) {
    const std::vector<std::string> entries = listEntries(list);
    for (size_t index = 0; index < entries.size(); ++index) {
        if (entries[index] == text) {
            SendMessageA(list, CB_SETCURSEL, index, 0);
            return true;
        }
    }
    return false;
}

void postKey(HWND target, WPARAM key) {
    PostMessageA(target, WM_KEYDOWN, key, 0x00000001);
    PostMessageA(target, WM_KEYUP, key, 0xC0000001);
}

// The ports the list must show: QUENLET_EXPECT_PORT_LIST ("COM1 COM3 COM10") when the run maps a
// known set, otherwise every port 1..256 that the probe finds.
std::vector<std::string> expectedPorts() {
    std::vector<std::string> ports;
    if (const char* const listed = std::getenv("QUENLET_EXPECT_PORT_LIST")) {
        std::istringstream words(listed);
        for (std::string word; words >> word;) ports.push_back(word);
        return ports;
    }
    for (int number = 1; number <= 256; ++number) {
        if (!SerialPort::portExists(number)) continue;
        char name[16];
        std::snprintf(name, sizeof name, "COM%d", number);
        ports.emplace_back(name);
    }
    return ports;
}

class PortSettingsDialogTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(registerReceiveViewClass(GetModuleHandleA(nullptr)));
        setMessageBoxHook([this](HWND, const char* text, const char*) { messages.emplace_back(text); });
        ASSERT_TRUE(mainDialog.Create(nullptr));
        application.setMainWindow(&mainDialog);
        g_settings.baudRate = 9600;
        g_settings.dataBits = 8;
        g_settings.parity = Parity::None;
        g_settings.stopBits = StopBits::One;
        g_settings.flowControl = FlowControl::None;
        mainDialog.setItemText(IDC_STATUS_LINE, kUntouchedStatus);
    }

    void TearDown() override {
        application.setMainWindow(nullptr);
        setMessageBoxHook({});
        g_settings = savedSettings;
    }

    HWND list(int id) const { return dialog.item(id); }
    void clickOk() const { SendMessageA(dialog.item(IDC_PORT_SETTINGS_OK), BM_CLICK, 0, 0); }
    bool refreshed() const { return mainDialog.itemText(IDC_STATUS_LINE) != kUntouchedStatus; }

    const PortSettings savedSettings{g_settings};
    TestApplication application;
    MainDialog mainDialog;
    PortSettingsDialog dialog;
    std::vector<std::string> messages;
};

TEST_F(PortSettingsDialogTest, ListsThePresentPortsInOrderAndSelectsTheCurrentOne) {
    const std::vector<std::string> ports = expectedPorts();
    // The last one, so that a selection left at the first entry would show.
    g_settings.portName = ports.empty() ? "COM1" : ports.back();
    const std::string chosen = g_settings.portName;

    std::vector<std::string> listed;
    std::string selected = "not read";
    ModalScenario scenario;
    scenario.then([&] {
        listed = listEntries(list(IDC_PORT_LIST));
        selected = selectedEntry(list(IDC_PORT_LIST));
        clickOk();
    });
    EXPECT_EQ(scenario.run(dialog), IDOK);

    EXPECT_EQ(listed, ports);
    if (ports.empty()) {
        EXPECT_EQ(selected, "");
        EXPECT_EQ(g_settings.portName, "") << "no port present: OK stores an empty name";
    } else {
        EXPECT_EQ(selected, chosen);
        EXPECT_EQ(g_settings.portName, chosen);
    }
    EXPECT_TRUE(refreshed());
    EXPECT_TRUE(messages.empty());
}

TEST_F(PortSettingsDialogTest, AnAbsentOrEmptyOrDifferentlyCasedPortNameSelectsTheFirstPort) {
    const std::vector<std::string> ports = expectedPorts();
    if (ports.empty()) GTEST_SKIP() << "needs at least one present port";
    std::string lowered = ports.back();
    for (char& c : lowered) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));

    std::string absent;
    for (int number = 255; number >= 1 && absent.empty(); --number) {
        const std::string name = "COM" + std::to_string(number);
        if (std::find(ports.begin(), ports.end(), name) == ports.end()) absent = name;
    }

    for (const std::string& current : {std::string(), absent, lowered}) {
        SCOPED_TRACE("portName \"" + current + "\"");
        g_settings.portName = current;
        std::string selected = "not read";
        PortSettingsDialog run;
        ModalScenario scenario;
        scenario.then([&] {
            selected = selectedEntry(run.item(IDC_PORT_LIST));
            SendMessageA(run.item(IDC_PORT_SETTINGS_OK), BM_CLICK, 0, 0);
        });
        EXPECT_EQ(scenario.run(run), IDOK);
        EXPECT_EQ(selected, ports.front());
        EXPECT_EQ(g_settings.portName, ports.front());
    }
}

TEST_F(PortSettingsDialogTest, DefaultsSelectTheirEntriesInListsOfTheFixedTexts) {
    std::vector<std::vector<std::string>> entries;
    std::vector<std::string> selections;
    ModalScenario scenario;
    scenario.then([&] {
        for (const int id : {IDC_BAUD_RATE_LIST, IDC_DATA_BITS_LIST, IDC_PARITY_LIST, IDC_STOP_BITS_LIST,
                             IDC_FLOW_CONTROL_LIST}) {
            entries.push_back(listEntries(list(id)));
            selections.push_back(selectedEntry(list(id)));
        }
        postKey(list(IDC_BAUD_RATE_LIST), VK_ESCAPE);
    });
    EXPECT_EQ(scenario.run(dialog), IDCANCEL);

    ASSERT_EQ(entries.size(), 5u);
    EXPECT_EQ(entries[0], (std::vector<std::string>{"110", "300", "600", "1200", "2400", "4800", "9600",
                                                    "14400", "19200", "38400", "56000", "57600",
                                                    "115200", "128000", "256000"}));
    EXPECT_EQ(entries[1], (std::vector<std::string>{"4", "5", "6", "7", "8"}));
    EXPECT_EQ(entries[2], (std::vector<std::string>{"None", "Even", "Odd", "Mark", "Space"}));
    EXPECT_EQ(entries[3], (std::vector<std::string>{"1", "1.5", "2"}));
    EXPECT_EQ(entries[4], (std::vector<std::string>{"None", "XON/XOFF", "RTS/CTS", "DTR/DSR"}));
    EXPECT_EQ(selections, (std::vector<std::string>{"9600", "8", "None", "1", "None"}));
}

TEST_F(PortSettingsDialogTest, ParityGoesByNameBetweenTheListAndTheSetting) {
    struct Case {
        Parity stored;
        const char* shown;
    };
    for (const Case& c : {Case{Parity::Odd, "Odd"}, Case{Parity::Even, "Even"}, Case{Parity::Mark, "Mark"},
                          Case{Parity::Space, "Space"}, Case{Parity::None, "None"}}) {
        SCOPED_TRACE(c.shown);
        g_settings.parity = c.stored;
        std::string selected;
        PortSettingsDialog run;
        ModalScenario scenario;
        scenario.then([&] {
            selected = selectedEntry(run.item(IDC_PARITY_LIST));
            postKey(run.item(IDC_PARITY_LIST), VK_ESCAPE);
        });
        EXPECT_EQ(scenario.run(run), IDCANCEL);
        EXPECT_EQ(selected, c.shown);
    }
}

TEST_F(PortSettingsDialogTest, OkStoresEvenAsTwoAndOddAsOne) {
    struct Case {
        const char* picked;
        int stored;
    };
    for (const Case& c : {Case{"Even", 2}, Case{"Odd", 1}}) {
        SCOPED_TRACE(c.picked);
        g_settings.parity = Parity::None;
        bool picked = false;
        PortSettingsDialog run;
        ModalScenario scenario;
        scenario.then([&] {
            picked = selectEntry(run.item(IDC_PARITY_LIST), c.picked);
            SendMessageA(run.item(IDC_PORT_SETTINGS_OK), BM_CLICK, 0, 0);
        });
        EXPECT_EQ(scenario.run(run), IDOK);
        EXPECT_TRUE(picked);
        EXPECT_EQ(static_cast<int>(g_settings.parity), c.stored);
    }
}

TEST_F(PortSettingsDialogTest, OkStoresEveryPickedLineParameter) {
    ModalScenario scenario;
    scenario.then([&] {
        ASSERT_TRUE(selectEntry(list(IDC_BAUD_RATE_LIST), "128000"));
        ASSERT_TRUE(selectEntry(list(IDC_DATA_BITS_LIST), "7"));
        ASSERT_TRUE(selectEntry(list(IDC_PARITY_LIST), "Space"));
        ASSERT_TRUE(selectEntry(list(IDC_STOP_BITS_LIST), "1.5"));
        ASSERT_TRUE(selectEntry(list(IDC_FLOW_CONTROL_LIST), "RTS/CTS"));
        clickOk();
    });
    EXPECT_EQ(scenario.run(dialog), IDOK);
    EXPECT_EQ(g_settings.baudRate, 128000);
    EXPECT_EQ(g_settings.dataBits, 7);
    EXPECT_EQ(g_settings.parity, Parity::Space);
    EXPECT_EQ(g_settings.stopBits, StopBits::OnePointFive);
    EXPECT_EQ(g_settings.flowControl, FlowControl::RtsCts);
    EXPECT_TRUE(refreshed());
}

TEST_F(PortSettingsDialogTest, StoredValuesAreSelectedWhenTheDialogOpens) {
    g_settings.baudRate = 256000;
    g_settings.dataBits = 5;
    g_settings.stopBits = StopBits::Two;
    g_settings.flowControl = FlowControl::DtrDsr;
    std::vector<std::string> selections;
    ModalScenario scenario;
    scenario.then([&] {
        for (const int id : {IDC_BAUD_RATE_LIST, IDC_DATA_BITS_LIST, IDC_STOP_BITS_LIST, IDC_FLOW_CONTROL_LIST}) {
            selections.push_back(selectedEntry(list(id)));
        }
        postKey(list(IDC_BAUD_RATE_LIST), VK_ESCAPE);
    });
    EXPECT_EQ(scenario.run(dialog), IDCANCEL);
    EXPECT_EQ(selections, (std::vector<std::string>{"256000", "5", "2", "DTR/DSR"}));
}

TEST_F(PortSettingsDialogTest, ARateOutsideTheTableSelectsNothingAndOkKeepsIt) {
    g_settings.baudRate = 12345;
    std::string selected = "not read";
    ModalScenario scenario;
    scenario.then([&] {
        selected = selectedEntry(list(IDC_BAUD_RATE_LIST));
        clickOk();
    });
    EXPECT_EQ(scenario.run(dialog), IDOK);
    EXPECT_EQ(selected, "");
    EXPECT_EQ(g_settings.baudRate, 12345) << "a list without a selection leaves its setting alone";
}

TEST_F(PortSettingsDialogTest, EnterDoesNothing) {
    g_settings.portName = "COM255X";  // an OK would replace it with a listed port or an empty name
    ModalScenario scenario;
    scenario.then([&] {
        ASSERT_TRUE(selectEntry(list(IDC_BAUD_RATE_LIST), "128000"));
        // Without the filter, Enter would end the dialog with IDOK before the Escape is read.
        for (const int id : {IDC_BAUD_RATE_LIST, IDC_PORT_SETTINGS_OK}) {
            SetFocus(list(id));
            postKey(list(id), VK_RETURN);
        }
        postKey(list(IDC_BAUD_RATE_LIST), VK_ESCAPE);
    });
    EXPECT_EQ(scenario.run(dialog), IDCANCEL);
    EXPECT_TRUE(scenario.allStepsRan());
    EXPECT_EQ(g_settings.baudRate, 9600);
    EXPECT_EQ(g_settings.portName, "COM255X");
    EXPECT_FALSE(refreshed());
}

TEST_F(PortSettingsDialogTest, EscapeAndTheCloseBoxStoreNothingAndDoNotRefresh) {
    g_settings.portName = "COM255X";
    for (const bool closeBox : {false, true}) {
        SCOPED_TRACE(closeBox ? "close box" : "Escape");
        PortSettingsDialog run;
        ModalScenario scenario;
        scenario.then([&] {
            ASSERT_TRUE(selectEntry(run.item(IDC_BAUD_RATE_LIST), "128000"));
            ASSERT_TRUE(selectEntry(run.item(IDC_PARITY_LIST), "Even"));
            if (closeBox) {
                PostMessageA(run.hwnd(), WM_SYSCOMMAND, SC_CLOSE, 0);
            } else {
                postKey(run.item(IDC_PARITY_LIST), VK_ESCAPE);
            }
        });
        EXPECT_EQ(scenario.run(run), IDCANCEL);
        EXPECT_EQ(g_settings.baudRate, 9600);
        EXPECT_EQ(g_settings.parity, Parity::None);
        EXPECT_EQ(g_settings.portName, "COM255X");
        EXPECT_FALSE(refreshed());
    }
}

TEST_F(PortSettingsDialogTest, RunsOwnedByTheMainWindowWhichItDisables) {
    HWND owner = nullptr;
    bool ownerEnabled = true;
    ModalScenario scenario;
    scenario.then([&] {
        owner = GetWindow(dialog.hwnd(), GW_OWNER);
        ownerEnabled = IsWindowEnabled(mainDialog.hwnd()) != FALSE;
        postKey(list(IDC_PORT_LIST), VK_ESCAPE);
    });
    EXPECT_EQ(scenario.run(dialog), IDCANCEL);
    EXPECT_EQ(owner, mainDialog.hwnd());
    EXPECT_FALSE(ownerEnabled);
    EXPECT_TRUE(IsWindowEnabled(mainDialog.hwnd()));
}

}  // namespace
}  // namespace quenlet::test

// The Receive Settings dialog, run modally under a real main window: its state for each stored
// mode, the radio buttons and the "also to file" box (which writes its setting at once), "Receive
// To..." with the real save-file dialog, and what OK, Enter and Escape store and refresh.
#include <gtest/gtest.h>
#include <windows.h>

#include <dlgs.h>

#include <chrono>
#include <cstring>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "core/port_controller.h"
#include "framework/application.h"
#include "framework/dialog.h"
#include "framework/message_box.h"
#include "res/resource.h"
#include "settings/port_settings.h"
#include "support/file_dialog_steps.h"
#include "support/modal_scenario.h"
#include "support/controller_fixture.h"
#include "ui/display_texts.h"
#include "ui/main_dialog.h"
#include "ui/receive_settings_dialog.h"
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
constexpr char kNoFileMessage[] = "Please specify the file name for receive data!";
constexpr char kStoredName[] = "C:\\data\\capture.log";

void postKey(HWND target, WPARAM key) {
    PostMessageA(target, WM_KEYDOWN, key, 0x00000001);
    PostMessageA(target, WM_KEYUP, key, 0xC0000001);
}

class ReceiveSettingsDialogTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(registerReceiveViewClass(GetModuleHandleA(nullptr)));
        setMessageBoxHook([this](HWND, const char* text, const char*) { messages.emplace_back(text); });
        g_settings.receiveMode = ReceiveMode::Ascii;
        g_settings.alsoReceiveToFile = 0;
        g_settings.receiveFileName = kStoredName;
        ASSERT_TRUE(mainDialog.Create(nullptr));
        application.setMainWindow(&mainDialog);
        mainDialog.setItemText(IDC_STATUS_LINE, kUntouchedStatus);
    }

    void TearDown() override {
        application.setMainWindow(nullptr);
        setMessageBoxHook({});
        g_settings = savedSettings;
    }

    void click(const Dialog& dialog, int id) const { SendMessageA(dialog.item(id), BM_CLICK, 0, 0); }
    bool refreshed() const { return mainDialog.itemText(IDC_STATUS_LINE) != kUntouchedStatus; }
    static bool enabled(const Dialog& dialog, int id) { return IsWindowEnabled(dialog.item(id)) != FALSE; }
    void escape(const Dialog& dialog) const { postKey(dialog.item(IDC_RECEIVE_FILE_NAME), VK_ESCAPE); }

    const PortSettings savedSettings{g_settings};
    // A name only; outlives the main window, whose controller holds the capture file open.
    const TempFile capture;
    TestApplication application;
    MainDialog mainDialog;
    ReceiveSettingsDialog dialog;
    std::vector<std::string> messages;
};

TEST_F(ReceiveSettingsDialogTest, OpensInAsciiOrHexWithAlsoToFileShowingTheStoredName) {
    g_settings.alsoReceiveToFile = 1;
    for (const ReceiveMode mode : {ReceiveMode::Ascii, ReceiveMode::Hex}) {
        SCOPED_TRACE(mode == ReceiveMode::Ascii ? "Ascii" : "Hex");
        g_settings.receiveMode = mode;
        ReceiveSettingsDialog run;
        ModalScenario scenario;
        scenario.then([&] {
            EXPECT_EQ(run.isChecked(IDC_RECEIVE_AS_ASCII), mode == ReceiveMode::Ascii);
            EXPECT_EQ(run.isChecked(IDC_RECEIVE_AS_HEX), mode == ReceiveMode::Hex);
            EXPECT_FALSE(run.isChecked(IDC_RECEIVE_FILE_ONLY));
            EXPECT_TRUE(run.isChecked(IDC_ALSO_RECEIVE_TO_FILE));
            EXPECT_TRUE(enabled(run, IDC_ALSO_RECEIVE_TO_FILE));
            EXPECT_EQ(run.itemText(IDC_RECEIVE_FILE_NAME), kStoredName);
            EXPECT_TRUE(enabled(run, IDC_RECEIVE_BROWSE));
            EXPECT_EQ(run.selectedMode(), mode);
            escape(run);
        });
        EXPECT_EQ(scenario.run(run), IDCANCEL);
        EXPECT_TRUE(scenario.allStepsRan());
    }
}

TEST_F(ReceiveSettingsDialogTest, OpensInAsciiWithoutAlsoToFileWithAnEmptyBoxAndNoBrowsing) {
    ModalScenario scenario;
    scenario.then([&] {
        EXPECT_TRUE(dialog.isChecked(IDC_RECEIVE_AS_ASCII));
        EXPECT_FALSE(dialog.isChecked(IDC_ALSO_RECEIVE_TO_FILE));
        EXPECT_TRUE(enabled(dialog, IDC_ALSO_RECEIVE_TO_FILE));
        EXPECT_EQ(dialog.itemText(IDC_RECEIVE_FILE_NAME), "");
        EXPECT_FALSE(enabled(dialog, IDC_RECEIVE_BROWSE));
        escape(dialog);
    });
    EXPECT_EQ(scenario.run(dialog), IDCANCEL);
    EXPECT_TRUE(scenario.allStepsRan());
}

TEST_F(ReceiveSettingsDialogTest, OpensInFileOnlyWithTheBoxDisabledAndTheStoredName) {
    g_settings.receiveMode = ReceiveMode::FileOnly;
    g_settings.alsoReceiveToFile = 1;  // no effect in FileOnly
    ModalScenario scenario;
    scenario.then([&] {
        EXPECT_FALSE(dialog.isChecked(IDC_RECEIVE_AS_ASCII));
        EXPECT_FALSE(dialog.isChecked(IDC_RECEIVE_AS_HEX));
        EXPECT_TRUE(dialog.isChecked(IDC_RECEIVE_FILE_ONLY));
        EXPECT_FALSE(dialog.isChecked(IDC_ALSO_RECEIVE_TO_FILE));
        EXPECT_FALSE(enabled(dialog, IDC_ALSO_RECEIVE_TO_FILE));
        EXPECT_EQ(dialog.itemText(IDC_RECEIVE_FILE_NAME), kStoredName);
        EXPECT_TRUE(enabled(dialog, IDC_RECEIVE_BROWSE));
        EXPECT_EQ(dialog.selectedMode(), ReceiveMode::FileOnly);
        escape(dialog);
    });
    EXPECT_EQ(scenario.run(dialog), IDCANCEL);
    EXPECT_TRUE(scenario.allStepsRan());
}

TEST_F(ReceiveSettingsDialogTest, HexAfterFileOnlyEmptiesTheBoxAndOkStoresHexWithoutAsking) {
    g_settings.receiveMode = ReceiveMode::FileOnly;
    ModalScenario scenario;
    scenario.then([&] {
        click(dialog, IDC_RECEIVE_AS_HEX);
        EXPECT_TRUE(dialog.isChecked(IDC_RECEIVE_AS_HEX));
        EXPECT_FALSE(dialog.isChecked(IDC_RECEIVE_FILE_ONLY));
        EXPECT_TRUE(enabled(dialog, IDC_ALSO_RECEIVE_TO_FILE));
        EXPECT_FALSE(dialog.isChecked(IDC_ALSO_RECEIVE_TO_FILE));
        EXPECT_EQ(dialog.itemText(IDC_RECEIVE_FILE_NAME), "");
        EXPECT_FALSE(enabled(dialog, IDC_RECEIVE_BROWSE));
        click(dialog, IDC_RECEIVE_SETTINGS_OK);
    });
    EXPECT_EQ(scenario.run(dialog), IDOK);
    EXPECT_TRUE(messages.empty());
    EXPECT_EQ(g_settings.receiveMode, ReceiveMode::Hex);
    EXPECT_EQ(g_settings.alsoReceiveToFile, 0);
    EXPECT_EQ(g_settings.receiveFileName, kStoredName);
    EXPECT_TRUE(refreshed());
}

TEST_F(ReceiveSettingsDialogTest, UncheckingAlsoToFileKeepsTheNameWhichOkThenNeitherAsksForNorStores) {
    g_settings.alsoReceiveToFile = 1;
    ModalScenario scenario;
    scenario.then([&] {
        click(dialog, IDC_ALSO_RECEIVE_TO_FILE);
        EXPECT_FALSE(dialog.isChecked(IDC_ALSO_RECEIVE_TO_FILE));
        EXPECT_EQ(g_settings.alsoReceiveToFile, 0) << "written at once, before OK";
        EXPECT_EQ(dialog.itemText(IDC_RECEIVE_FILE_NAME), kStoredName);
        EXPECT_FALSE(enabled(dialog, IDC_RECEIVE_BROWSE));
        // A name OK would store if it stored one at all.
        dialog.setItemText(IDC_RECEIVE_FILE_NAME, "C:\\data\\other.log");
        click(dialog, IDC_RECEIVE_SETTINGS_OK);
    });
    EXPECT_EQ(scenario.run(dialog), IDOK);
    EXPECT_TRUE(messages.empty());
    EXPECT_EQ(g_settings.receiveMode, ReceiveMode::Ascii);
    EXPECT_EQ(g_settings.receiveFileName, kStoredName);
}

TEST_F(ReceiveSettingsDialogTest, TickingAlsoToFileThenCancellingLeavesTheFlagSet) {
    g_settings.receiveMode = ReceiveMode::Hex;
    ModalScenario scenario;
    scenario.then([&] {
        click(dialog, IDC_ALSO_RECEIVE_TO_FILE);
        EXPECT_TRUE(dialog.isChecked(IDC_ALSO_RECEIVE_TO_FILE));
        EXPECT_EQ(g_settings.alsoReceiveToFile, 1) << "written at once, before OK";
        EXPECT_TRUE(enabled(dialog, IDC_RECEIVE_BROWSE));
        EXPECT_EQ(dialog.itemText(IDC_RECEIVE_FILE_NAME), "");
        dialog.setItemText(IDC_RECEIVE_FILE_NAME, "C:\\data\\other.log");
        click(dialog, IDC_RECEIVE_AS_ASCII);
        escape(dialog);
    });
    EXPECT_EQ(scenario.run(dialog), IDCANCEL);
    EXPECT_EQ(g_settings.alsoReceiveToFile, 1);
    EXPECT_EQ(g_settings.receiveMode, ReceiveMode::Hex);
    EXPECT_EQ(g_settings.receiveFileName, kStoredName);
    EXPECT_FALSE(refreshed());
}

TEST_F(ReceiveSettingsDialogTest, FileOnlyClearsAlsoToFileAtOnceAndKeepsTheName) {
    g_settings.alsoReceiveToFile = 1;
    ModalScenario scenario;
    scenario.then([&] {
        click(dialog, IDC_RECEIVE_FILE_ONLY);
        EXPECT_TRUE(dialog.isChecked(IDC_RECEIVE_FILE_ONLY));
        EXPECT_FALSE(dialog.isChecked(IDC_RECEIVE_AS_ASCII));
        EXPECT_FALSE(dialog.isChecked(IDC_ALSO_RECEIVE_TO_FILE));
        EXPECT_FALSE(enabled(dialog, IDC_ALSO_RECEIVE_TO_FILE));
        EXPECT_EQ(g_settings.alsoReceiveToFile, 0) << "written at once, before OK";
        EXPECT_EQ(dialog.itemText(IDC_RECEIVE_FILE_NAME), kStoredName);
        EXPECT_TRUE(enabled(dialog, IDC_RECEIVE_BROWSE));
        escape(dialog);
    });
    EXPECT_EQ(scenario.run(dialog), IDCANCEL);
    EXPECT_EQ(g_settings.alsoReceiveToFile, 0);
    EXPECT_EQ(g_settings.receiveMode, ReceiveMode::Ascii);
}

TEST_F(ReceiveSettingsDialogTest, OkWithoutANameAsksForOneAndStaysOpen) {
    for (const int modeButton : {IDC_RECEIVE_FILE_ONLY, IDC_ALSO_RECEIVE_TO_FILE}) {
        SCOPED_TRACE(modeButton);
        messages.clear();
        g_settings.alsoReceiveToFile = 0;
        ReceiveSettingsDialog run;
        ModalScenario scenario;
        scenario
            .then([&] {
                click(run, modeButton);
                run.setItemText(IDC_RECEIVE_FILE_NAME, "");
                click(run, IDC_RECEIVE_SETTINGS_OK);
                EXPECT_EQ(messages, std::vector<std::string>{kNoFileMessage});
            })
            .then([&] { escape(run); });
        EXPECT_EQ(scenario.run(run), IDCANCEL);
        EXPECT_TRUE(scenario.allStepsRan());
        EXPECT_EQ(g_settings.receiveMode, ReceiveMode::Ascii);
        EXPECT_EQ(g_settings.receiveFileName, kStoredName);
        EXPECT_FALSE(refreshed());
    }
}

TEST_F(ReceiveSettingsDialogTest, OkInFileOnlyStoresTheNameAndTheRefreshOpensTheCaptureFile) {
    PortController* const controller = mainDialog.portController();
    ASSERT_NE(controller, nullptr);
    EXPECT_FALSE(controller->hasCaptureFile());
    ModalScenario scenario;
    scenario.then([&] {
        click(dialog, IDC_RECEIVE_FILE_ONLY);
        dialog.setItemText(IDC_RECEIVE_FILE_NAME, capture.path().c_str());
        click(dialog, IDC_RECEIVE_SETTINGS_OK);
    });
    EXPECT_EQ(scenario.run(dialog), IDOK);
    EXPECT_TRUE(messages.empty());
    EXPECT_EQ(g_settings.receiveMode, ReceiveMode::FileOnly);
    EXPECT_EQ(g_settings.receiveFileName, capture.path());
    EXPECT_TRUE(controller->hasCaptureFile());
    EXPECT_NE(GetFileAttributesA(capture.path().c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(mainDialog.itemText(IDC_RECEIVE_BOX), std::string(kCaptureFileBanner) + capture.path());
}

TEST_F(ReceiveSettingsDialogTest, OkWithAlsoToFileStoresTheNameAndTheRefreshOpensTheCaptureFile) {
    PortController* const controller = mainDialog.portController();
    ASSERT_NE(controller, nullptr);
    ModalScenario scenario;
    scenario.then([&] {
        click(dialog, IDC_RECEIVE_AS_HEX);
        click(dialog, IDC_ALSO_RECEIVE_TO_FILE);
        dialog.setItemText(IDC_RECEIVE_FILE_NAME, capture.path().c_str());
        click(dialog, IDC_RECEIVE_SETTINGS_OK);
    });
    EXPECT_EQ(scenario.run(dialog), IDOK);
    EXPECT_EQ(g_settings.receiveMode, ReceiveMode::Hex);
    EXPECT_EQ(g_settings.alsoReceiveToFile, 1);
    EXPECT_EQ(g_settings.receiveFileName, capture.path());
    EXPECT_TRUE(controller->hasCaptureFile());
    EXPECT_NE(GetFileAttributesA(capture.path().c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST_F(ReceiveSettingsDialogTest, EnterDoesNothingAndEscapeKeepsTheModeAndName) {
    g_settings.alsoReceiveToFile = 1;
    ModalScenario scenario;
    scenario.then([&] {
        click(dialog, IDC_RECEIVE_AS_HEX);
        dialog.setItemText(IDC_RECEIVE_FILE_NAME, "C:\\data\\other.log");
        // Without the filter, Enter would end the dialog with IDOK (or press the focused OK button)
        // before the Escape is read.
        for (const int id : {IDC_RECEIVE_FILE_NAME, IDC_RECEIVE_SETTINGS_OK}) {
            SetFocus(dialog.item(id));
            postKey(dialog.item(id), VK_RETURN);
        }
        escape(dialog);
    });
    EXPECT_EQ(scenario.run(dialog), IDCANCEL);
    EXPECT_TRUE(scenario.allStepsRan());
    EXPECT_EQ(g_settings.receiveMode, ReceiveMode::Ascii);
    EXPECT_EQ(g_settings.receiveFileName, kStoredName);
    EXPECT_FALSE(refreshed());
}

TEST_F(ReceiveSettingsDialogTest, ReceiveToAddsTheTextExtensionAndCancelLeavesTheBox) {
    char directory[MAX_PATH] = {};
    GetTempPathA(MAX_PATH, directory);
    const std::string typed = std::string(directory) + "quenlet-capture-" + std::to_string(GetCurrentProcessId());
    DeleteFileA((typed + ".txt").c_str());
    g_settings.alsoReceiveToFile = 1;
    const auto fileDialogUp = [&] { return fileDialogOwnedBy(dialog.hwnd()) != nullptr; };
    const auto fileDialogGone = [&] { return fileDialogOwnedBy(dialog.hwnd()) == nullptr; };
    std::string afterCancel;
    std::string afterChoice;
    ModalScenario scenario;
    scenario.then([&] { PostMessageA(dialog.item(IDC_RECEIVE_BROWSE), BM_CLICK, 0, 0); })
        .when(fileDialogUp,
              [&] { SendMessageA(GetDlgItem(fileDialogOwnedBy(dialog.hwnd()), IDCANCEL), BM_CLICK, 0, 0); })
        .when(fileDialogGone,
              [&] {
                  afterCancel = dialog.itemText(IDC_RECEIVE_FILE_NAME);
                  PostMessageA(dialog.item(IDC_RECEIVE_BROWSE), BM_CLICK, 0, 0);
              })
        .when(fileDialogUp, [&] { chooseInFileDialog(fileDialogOwnedBy(dialog.hwnd()), typed); })
        .when(fileDialogGone,
              [&] {
                  afterChoice = dialog.itemText(IDC_RECEIVE_FILE_NAME);
                  escape(dialog);
              });
    EXPECT_EQ(scenario.run(dialog, 60s), IDCANCEL);
    EXPECT_TRUE(scenario.allStepsRan());
    EXPECT_EQ(afterCancel, kStoredName);
    EXPECT_EQ(afterChoice, typed + ".txt");
    EXPECT_EQ(g_settings.receiveFileName, kStoredName) << "Escape stores no name";
}

}  // namespace
}  // namespace quenlet::test

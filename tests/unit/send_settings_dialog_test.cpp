// The Send Settings dialog, run modally under a real main window: its state for each stored mode,
// the radio buttons, the drag-accept switch, files dropped on it, "Send From..." with the real
// open-file dialog, and what OK, Enter and Escape store.
#include <gtest/gtest.h>
#include <windows.h>

#include <dlgs.h>
#include <shlobj.h>

#include <chrono>
#include <cstring>
#include <functional>
#include <string>
#include <utility>
#include <vector>

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
#include "ui/receive_view.h"
#include "ui/send_settings_dialog.h"

namespace quenlet::test {
namespace {

using namespace std::chrono_literals;

class TestApplication : public Application {
public:
    BOOL InitInstance() override { return FALSE; }
};

// Written into the main window's status line before each run: a display refresh replaces it.
constexpr char kUntouchedStatus[] = "untouched by a refresh";
constexpr char kNoFileMessage[] = "Please specify the file name for send data!";

void postKey(HWND target, WPARAM key) {
    PostMessageA(target, WM_KEYDOWN, key, 0x00000001);
    PostMessageA(target, WM_KEYUP, key, 0xC0000001);
}

// A drop handle as the shell hands it over: a DROPFILES header, then the narrow paths, each closed
// by a NUL and the list by one more. The window receiving WM_DROPFILES releases it.
HGLOBAL makeDrop(const std::vector<std::string>& paths) {
    std::string list;
    for (const std::string& path : paths) list.append(path).push_back('\0');
    list.push_back('\0');
    const HGLOBAL memory = GlobalAlloc(GHND, sizeof(DROPFILES) + list.size());
    if (memory == nullptr) return nullptr;
    auto* const header = static_cast<DROPFILES*>(GlobalLock(memory));
    header->pFiles = sizeof(DROPFILES);
    header->fWide = FALSE;
    std::memcpy(reinterpret_cast<char*>(header) + sizeof(DROPFILES), list.data(), list.size());
    GlobalUnlock(memory);
    return memory;
}

// A folder in the temporary folder, removed at the end of the test.
class TempFolder {
public:
    TempFolder() {
        char directory[MAX_PATH] = {};
        GetTempPathA(MAX_PATH, directory);
        path_ = std::string(directory) + "quenlet-drop-folder-" + std::to_string(GetCurrentProcessId());
        CreateDirectoryA(path_.c_str(), nullptr);
    }
    ~TempFolder() { RemoveDirectoryA(path_.c_str()); }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

class SendSettingsDialogTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(registerReceiveViewClass(GetModuleHandleA(nullptr)));
        setMessageBoxHook([this](HWND owner, const char* text, const char*) {
            messages.emplace_back(text);
            messageOwners.push_back(owner);
        });
        ASSERT_TRUE(mainDialog.Create(nullptr));
        application.setMainWindow(&mainDialog);
        g_settings.sendMode = SendMode::Ascii;
        replaceSendFileName("");
        mainDialog.setItemText(IDC_STATUS_LINE, kUntouchedStatus);
    }

    void TearDown() override {
        application.setMainWindow(nullptr);
        setMessageBoxHook({});
        g_settings = savedSettings;
    }

    void click(const Dialog& dialog, int id) const { SendMessageA(dialog.item(id), BM_CLICK, 0, 0); }
    bool refreshed() const { return mainDialog.itemText(IDC_STATUS_LINE) != kUntouchedStatus; }
    static bool acceptsDrops(const Dialog& dialog) {
        return (GetWindowLongA(dialog.hwnd(), GWL_EXSTYLE) & WS_EX_ACCEPTFILES) != 0;
    }
    static bool enabled(const Dialog& dialog, int id) { return IsWindowEnabled(dialog.item(id)) != FALSE; }

    const PortSettings savedSettings{g_settings};
    TestApplication application;
    MainDialog mainDialog;
    SendSettingsDialog dialog;
    std::vector<std::string> messages;
    std::vector<HWND> messageOwners;
};

TEST_F(SendSettingsDialogTest, OpensInFileModeWithTheStoredNameAcceptingDrops) {
    g_settings.sendMode = SendMode::File;
    replaceSendFileName("C:\\data\\firmware.bin");
    ModalScenario scenario;
    scenario.then([&] {
        EXPECT_FALSE(dialog.isChecked(IDC_SEND_AS_ASCII));
        EXPECT_FALSE(dialog.isChecked(IDC_SEND_AS_HEX));
        EXPECT_TRUE(dialog.isChecked(IDC_SEND_AS_FILE));
        EXPECT_TRUE(enabled(dialog, IDC_SEND_BROWSE));
        EXPECT_EQ(dialog.itemText(IDC_SEND_FILE_NAME), "C:\\data\\firmware.bin");
        EXPECT_TRUE(acceptsDrops(dialog));
        postKey(dialog.item(IDC_SEND_FILE_NAME), VK_ESCAPE);
    });
    EXPECT_EQ(scenario.run(dialog), IDCANCEL);
    EXPECT_TRUE(scenario.allStepsRan());
}

TEST_F(SendSettingsDialogTest, OpensInTextModesWithAnEmptyBoxRefusingDrops) {
    replaceSendFileName("C:\\data\\firmware.bin");
    for (const SendMode mode : {SendMode::Ascii, SendMode::Hex}) {
        SCOPED_TRACE(mode == SendMode::Ascii ? "Ascii" : "Hex");
        g_settings.sendMode = mode;
        SendSettingsDialog run;
        ModalScenario scenario;
        scenario.then([&] {
            EXPECT_EQ(run.isChecked(IDC_SEND_AS_ASCII), mode == SendMode::Ascii);
            EXPECT_EQ(run.isChecked(IDC_SEND_AS_HEX), mode == SendMode::Hex);
            EXPECT_FALSE(run.isChecked(IDC_SEND_AS_FILE));
            EXPECT_FALSE(enabled(run, IDC_SEND_BROWSE));
            EXPECT_EQ(run.itemText(IDC_SEND_FILE_NAME), "");
            EXPECT_FALSE(acceptsDrops(run));
            EXPECT_EQ(run.selectedMode(), mode);
            postKey(run.item(IDC_SEND_FILE_NAME), VK_ESCAPE);
        });
        EXPECT_EQ(scenario.run(run), IDCANCEL);
        EXPECT_TRUE(scenario.allStepsRan());
    }
}

TEST_F(SendSettingsDialogTest, AsciiThenFileLeavesTheBoxEmptySoOkAsksForAName) {
    g_settings.sendMode = SendMode::File;
    replaceSendFileName("C:\\data\\firmware.bin");
    ModalScenario scenario;
    scenario
        .then([&] {
            click(dialog, IDC_SEND_AS_ASCII);
            EXPECT_TRUE(dialog.isChecked(IDC_SEND_AS_ASCII));
            EXPECT_FALSE(dialog.isChecked(IDC_SEND_AS_FILE));
            EXPECT_EQ(dialog.itemText(IDC_SEND_FILE_NAME), "");
            EXPECT_FALSE(enabled(dialog, IDC_SEND_BROWSE));
            EXPECT_FALSE(acceptsDrops(dialog));

            click(dialog, IDC_SEND_AS_FILE);
            EXPECT_TRUE(dialog.isChecked(IDC_SEND_AS_FILE));
            EXPECT_FALSE(dialog.isChecked(IDC_SEND_AS_ASCII));
            EXPECT_EQ(dialog.itemText(IDC_SEND_FILE_NAME), "");
            EXPECT_TRUE(enabled(dialog, IDC_SEND_BROWSE));
            EXPECT_TRUE(acceptsDrops(dialog));

            click(dialog, IDC_SEND_SETTINGS_OK);
            EXPECT_EQ(messages, std::vector<std::string>{kNoFileMessage});
        })
        // Still open after the message: Escape ends it.
        .then([&] { postKey(dialog.item(IDC_SEND_FILE_NAME), VK_ESCAPE); });
    EXPECT_EQ(scenario.run(dialog), IDCANCEL);
    EXPECT_TRUE(scenario.allStepsRan());
    ASSERT_EQ(messageOwners.size(), 1u);
    EXPECT_NE(messageOwners[0], mainDialog.hwnd());
    EXPECT_EQ(g_settings.sendMode, SendMode::File);
    EXPECT_EQ(copySendFileName(), "C:\\data\\firmware.bin");
    EXPECT_FALSE(refreshed());
}

TEST_F(SendSettingsDialogTest, HexDisablesBrowsingAndFileEnablesIt) {
    ModalScenario scenario;
    scenario.then([&] {
        click(dialog, IDC_SEND_AS_FILE);
        EXPECT_TRUE(enabled(dialog, IDC_SEND_BROWSE));
        EXPECT_TRUE(acceptsDrops(dialog));
        EXPECT_EQ(dialog.selectedMode(), SendMode::File);
        click(dialog, IDC_SEND_AS_HEX);
        EXPECT_FALSE(enabled(dialog, IDC_SEND_BROWSE));
        EXPECT_FALSE(acceptsDrops(dialog));
        EXPECT_EQ(dialog.selectedMode(), SendMode::Hex);
        click(dialog, IDC_SEND_SETTINGS_OK);
    });
    EXPECT_EQ(scenario.run(dialog), IDOK);
    EXPECT_EQ(g_settings.sendMode, SendMode::Hex);
    EXPECT_TRUE(messages.empty());
    EXPECT_TRUE(refreshed());
}

TEST_F(SendSettingsDialogTest, DropsIgnoreFoldersAndMissingPathsAndTakeTheFirstOfSeveralFiles) {
    const TempFile first(std::vector<std::uint8_t>{'a'});
    const TempFile second(std::vector<std::uint8_t>{'b'});
    const TempFile third(std::vector<std::uint8_t>{'c'});
    const TempFile missing;  // a name only
    const TempFolder folder;
    ASSERT_NE(GetFileAttributesA(folder.path().c_str()), INVALID_FILE_ATTRIBUTES);
    g_settings.sendMode = SendMode::File;
    replaceSendFileName("C:\\data\\firmware.bin");

    std::vector<std::string> boxAfterDrops;
    bool dropsReleased = true;
    ModalScenario scenario;
    scenario.then([&] {
        const std::vector<std::vector<std::string>> drops = {
            {folder.path()},
            {missing.path()},
            {first.path(), second.path(), third.path()},
        };
        for (const std::vector<std::string>& paths : drops) {
            const HGLOBAL drop = makeDrop(paths);
            ASSERT_NE(drop, nullptr);
            SendMessageA(dialog.hwnd(), WM_DROPFILES, reinterpret_cast<WPARAM>(drop), 0);
            dropsReleased = dropsReleased && GlobalSize(drop) == 0;
            boxAfterDrops.push_back(dialog.itemText(IDC_SEND_FILE_NAME));
        }
        click(dialog, IDC_SEND_SETTINGS_OK);
    });
    EXPECT_EQ(scenario.run(dialog), IDOK);
    EXPECT_EQ(boxAfterDrops, (std::vector<std::string>{"C:\\data\\firmware.bin", "C:\\data\\firmware.bin",
                                                       first.path()}));
    EXPECT_TRUE(dropsReleased) << "the dialog releases the drop handle";
    EXPECT_EQ(g_settings.sendMode, SendMode::File);
    EXPECT_EQ(copySendFileName(), first.path());
    EXPECT_TRUE(refreshed());
    // The refresh shows the new file in the main window's send box.
    EXPECT_EQ(mainDialog.itemText(IDC_SEND_BOX), std::string(kSendFileBanner) + first.path());
}

TEST_F(SendSettingsDialogTest, OkWithHexKeepsTheFileNameForTheNextOpeningInFileMode) {
    g_settings.sendMode = SendMode::File;
    replaceSendFileName("C:\\data\\firmware.bin");
    ModalScenario scenario;
    scenario.then([&] {
        click(dialog, IDC_SEND_AS_HEX);
        EXPECT_EQ(dialog.itemText(IDC_SEND_FILE_NAME), "");
        click(dialog, IDC_SEND_SETTINGS_OK);
    });
    EXPECT_EQ(scenario.run(dialog), IDOK);
    EXPECT_EQ(g_settings.sendMode, SendMode::Hex);
    EXPECT_EQ(copySendFileName(), "C:\\data\\firmware.bin");

    g_settings.sendMode = SendMode::File;
    std::string shown;
    SendSettingsDialog again;
    ModalScenario reopened;
    reopened.then([&] {
        shown = again.itemText(IDC_SEND_FILE_NAME);
        postKey(again.item(IDC_SEND_FILE_NAME), VK_ESCAPE);
    });
    EXPECT_EQ(reopened.run(again), IDCANCEL);
    EXPECT_EQ(shown, "C:\\data\\firmware.bin");
}

TEST_F(SendSettingsDialogTest, EnterDoesNothingAndEscapeStoresNothing) {
    const TempFile file(std::vector<std::uint8_t>{'x'});
    ModalScenario scenario;
    scenario.then([&] {
        click(dialog, IDC_SEND_AS_FILE);
        dialog.setItemText(IDC_SEND_FILE_NAME, file.path().c_str());
        // Without the filter, Enter would end the dialog with IDOK (or press the focused OK button)
        // before the Escape is read.
        for (const int id : {IDC_SEND_FILE_NAME, IDC_SEND_SETTINGS_OK}) {
            SetFocus(dialog.item(id));
            postKey(dialog.item(id), VK_RETURN);
        }
        postKey(dialog.item(IDC_SEND_FILE_NAME), VK_ESCAPE);
    });
    EXPECT_EQ(scenario.run(dialog), IDCANCEL);
    EXPECT_EQ(g_settings.sendMode, SendMode::Ascii);
    EXPECT_EQ(copySendFileName(), "");
    EXPECT_TRUE(messages.empty());
    EXPECT_FALSE(refreshed());
}

TEST_F(SendSettingsDialogTest, SendFromPutsTheChosenFileInTheBoxAndCancelLeavesIt) {
    const TempFile chosen(std::vector<std::uint8_t>{'x'});
    g_settings.sendMode = SendMode::File;
    replaceSendFileName("C:\\data\\firmware.bin");
    const auto fileDialogUp = [&] { return fileDialogOwnedBy(dialog.hwnd()) != nullptr; };
    const auto fileDialogGone = [&] { return fileDialogOwnedBy(dialog.hwnd()) == nullptr; };
    std::string afterCancel;
    std::string afterChoice;
    ModalScenario scenario;
    scenario.then([&] { PostMessageA(dialog.item(IDC_SEND_BROWSE), BM_CLICK, 0, 0); })
        .when(fileDialogUp,
              [&] { SendMessageA(GetDlgItem(fileDialogOwnedBy(dialog.hwnd()), IDCANCEL), BM_CLICK, 0, 0); })
        .when(fileDialogGone,
              [&] {
                  afterCancel = dialog.itemText(IDC_SEND_FILE_NAME);
                  PostMessageA(dialog.item(IDC_SEND_BROWSE), BM_CLICK, 0, 0);
              })
        .when(fileDialogUp, [&] { chooseInFileDialog(fileDialogOwnedBy(dialog.hwnd()), chosen.path()); })
        .when(fileDialogGone,
              [&] {
                  afterChoice = dialog.itemText(IDC_SEND_FILE_NAME);
                  click(dialog, IDC_SEND_SETTINGS_OK);
              });
    EXPECT_EQ(scenario.run(dialog, 60s), IDOK);
    EXPECT_TRUE(scenario.allStepsRan());
    EXPECT_EQ(afterCancel, "C:\\data\\firmware.bin");
    EXPECT_EQ(afterChoice, chosen.path());
    EXPECT_EQ(copySendFileName(), chosen.path());
}

}  // namespace
}  // namespace quenlet::test

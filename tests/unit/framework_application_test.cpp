// The application object, start-up, message boxes and text helpers.
#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>

#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "framework/application.h"
#include "framework/dialog.h"
#include "framework/message_box.h"
#include "framework/message_pump.h"
#include "framework/text_format.h"
#include "tests/unit/framework_test_support.h"

namespace quenlet::test {
namespace {

// The executable's base name, found with the C runtime rather than the framework's own parsing.
std::string expectedTitle() {
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    char name[_MAX_FNAME] = {};
    _splitpath(path, nullptr, nullptr, name, nullptr);
    return name;
}

class RecordingApplication : public Application {
public:
    // What InitInstance does: return this, after posting quitCode if it is not negative.
    BOOL initResult = FALSE;
    int quitCode = -1;
    int initCalls = 0;
    HINSTANCE instanceAtInit = nullptr;

    BOOL InitInstance() override {
        ++initCalls;
        instanceAtInit = instance();
        if (quitCode >= 0) PostQuitMessage(quitCode);
        return initResult;
    }
};

TEST(FrameworkApplication, TitleIsTheExecutableNameWithoutDirectoryAndExtension) {
    RecordingApplication application;
    EXPECT_EQ(application.title(), expectedTitle());
    EXPECT_EQ(programTitleFromExecutable(), expectedTitle());
    EXPECT_EQ(application.title().find('.'), std::string::npos);
}

TEST(FrameworkApplication, FirstInstanceIsCurrentUntilItIsDestroyed) {
    EXPECT_EQ(Application::current(), nullptr);
    {
        RecordingApplication first;
        EXPECT_EQ(Application::current(), &first);
        {
            RecordingApplication second;
            EXPECT_EQ(Application::current(), &first);
        }
        EXPECT_EQ(Application::current(), &first);
        EXPECT_EQ(first.instance(), GetModuleHandleA(nullptr));
        EXPECT_EQ(first.mainWindow(), nullptr);
    }
    EXPECT_EQ(Application::current(), nullptr);
}

TEST(FrameworkApplication, RunApplicationEndsWithoutALoopWhenInitInstanceReturnsFalse) {
    RecordingApplication application;
    const HINSTANCE module = GetModuleHandleA(nullptr);

    const int quitCodeBefore = lastQuitCode();
    EXPECT_EQ(RunApplication(module), quitCodeBefore);
    EXPECT_EQ(application.initCalls, 1);
    EXPECT_EQ(application.instanceAtInit, module);
}

TEST(FrameworkApplication, RunApplicationRunsAMessageLoopUntilQuitWhenInitInstanceReturnsTrue) {
    RecordingApplication application;
    application.initResult = TRUE;
    application.quitCode = 9;

    EXPECT_EQ(RunApplication(GetModuleHandleA(nullptr)), 9);
    EXPECT_EQ(application.initCalls, 1);
    MSG message;
    EXPECT_FALSE(PeekMessageA(&message, nullptr, WM_QUIT, WM_QUIT, PM_NOREMOVE));
}

TEST(FrameworkApplication, RunApplicationWithoutAnApplicationFails) {
    ASSERT_EQ(Application::current(), nullptr);
    EXPECT_NE(RunApplication(GetModuleHandleA(nullptr)), 0);
}

struct ShownMessage {
    HWND owner;
    std::string text;
    std::string caption;
};

// Installs a recording hook for one test and removes it afterwards.
class MessageBoxTest : public ::testing::Test {
protected:
    void SetUp() override {
        setMessageBoxHook([this](HWND owner, const char* text, const char* caption) {
            shown.push_back({owner, text, caption});
        });
    }
    void TearDown() override {
        setMessageBoxHook({});
        drainMessages();
    }

    std::vector<ShownMessage> shown;
};

TEST_F(MessageBoxTest, HookReceivesTheTextAndTheProgramTitleAsCaption) {
    RecordingApplication application;
    const HWND owner = reinterpret_cast<HWND>(0x1234);

    EXPECT_EQ(ShowMessage(owner, "Sendding file, stop sending first!"), IDOK);

    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].owner, owner);
    EXPECT_EQ(shown[0].text, "Sendding file, stop sending first!");
    EXPECT_EQ(shown[0].caption, expectedTitle());
}

// Shows a message from inside its own modal run, once it is the active window.
class MessageShowingDialog : public GuardedDialog {
public:
    explicit MessageShowingDialog(const DLGTEMPLATE* dialogTemplate) : GuardedDialog(dialogTemplate) {}

    BOOL OnInitDialog() override {
        GuardedDialog::OnInitDialog();
        SetTimer(1, 10);
        return TRUE;
    }
    BOOL PreTranslateMessage(MSG* message) override {
        if (message->message == WM_TIMER && message->hwnd == hwnd() && message->wParam == 1) {
            if (GetActiveWindow() != hwnd()) return TRUE;  // not active yet: wait for the next tick
            KillTimer(1);
            windowWhenShown = hwnd();
            ShowMessage("Please enter the time interval");
            EndDialog(IDOK);
            return TRUE;
        }
        return GuardedDialog::PreTranslateMessage(message);
    }

    HWND windowWhenShown = nullptr;
};

TEST_F(MessageBoxTest, DefaultOwnerIsTheActiveWindow) {
    RecordingApplication application;
    DialogTemplateBuilder builder(kPopupDialogStyle | WS_VISIBLE, 100, 40, "Active");
    MessageShowingDialog dialog(builder.get());

    EXPECT_EQ(dialog.DoModal(), IDOK);

    ASSERT_EQ(shown.size(), 1u);
    ASSERT_NE(dialog.windowWhenShown, nullptr);
    EXPECT_EQ(shown[0].owner, dialog.windowWhenShown);
    EXPECT_EQ(shown[0].text, "Please enter the time interval");
    EXPECT_EQ(shown[0].caption, application.title());
}

TEST_F(MessageBoxTest, WithoutAnActiveWindowTheMainWindowOwnsTheMessage) {
    RecordingApplication application;
    DialogTemplateBuilder builder(kPopupDialogStyle, 100, 40, "Main");
    Dialog mainWindow(builder.get());
    ASSERT_TRUE(mainWindow.Create(nullptr));
    application.setMainWindow(&mainWindow);
    // Creating a dialog focuses its first control, which activates even a hidden dialog.
    SetActiveWindow(nullptr);
    ASSERT_EQ(GetActiveWindow(), nullptr);

    ShowMessage("Please specify the file name for send data!");

    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].owner, mainWindow.hwnd());

    // A worker thread's box is not owned by a window of another thread.
    std::thread worker([] { ShowMessage("File open failed!"); });
    worker.join();
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_EQ(shown[1].owner, nullptr);
}

TEST_F(MessageBoxTest, ABoxThatClosesItselfClosesNothingElse) {
    // The exit's refusal closes itself after its limit: it alone, not the thread's other dialogs
    // (the main window and the status window are dialogs of the message box's own class).
    RecordingApplication application;
    DialogTemplateBuilder builder(kPopupDialogStyle | WS_VISIBLE, 100, 40, "Status");
    Dialog status(builder.get());
    ASSERT_TRUE(status.Create(nullptr));
    ASSERT_TRUE(IsWindowVisible(status.hwnd()));
    setMessageBoxHook({});  // a real box, which nobody answers

    const auto start = std::chrono::steady_clock::now();
    ShowMessageWithin(300, "Sendding file, stop sending first!");
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_GE(took, std::chrono::milliseconds(250));
    EXPECT_LT(took, std::chrono::seconds(5));
    drainMessages();
    EXPECT_TRUE(IsWindow(status.hwnd()));
    EXPECT_TRUE(IsWindowVisible(status.hwnd())) << "the other dialog was closed with the box";
}

TEST(FrameworkTextFormat, FormatsLikePrintfAtAnyLength) {
    EXPECT_EQ(formatText("%s, Sent/Received bytes: %d/%d", "COM1", 12, 345),
              "COM1, Sent/Received bytes: 12/345");
    EXPECT_EQ(formatText("%02X ", 0x0A), "0A ");
    const std::string longText(5000, 'x');
    EXPECT_EQ(formatText("[%s]", longText.c_str()), "[" + longText + "]");
    EXPECT_EQ(formatText("%s", ""), "");
}

TEST(FrameworkTextFormat, WindowTextReadsTheWholeText) {
    DialogTemplateBuilder builder(kPopupDialogStyle, 100, 40, "Caption text");
    Dialog dialog(builder.get());
    ASSERT_TRUE(dialog.Create(nullptr));
    EXPECT_EQ(windowText(dialog.hwnd()), "Caption text");
    EXPECT_EQ(windowText(nullptr), "");
}

}  // namespace
}  // namespace quenlet::test

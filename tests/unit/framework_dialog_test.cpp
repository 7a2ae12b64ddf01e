// Modal and modeless runs of the framework's Dialog under a real window system.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "framework/application.h"
#include "framework/dialog.h"
#include "framework/message_pump.h"
#include "tests/unit/framework_test_support.h"

namespace quenlet::test {
namespace {

constexpr WORD kEditId = 100;
constexpr WORD kCheckId = 101;
constexpr WORD kNumberId = 102;
constexpr UINT kFinishMessage = WM_APP + 1;

// A popup with a single-line edit, a check box and a second edit.
DialogTemplateBuilder editDialogTemplate(DWORD visibility = WS_VISIBLE) {
    DialogTemplateBuilder builder(kPopupDialogStyle | visibility, 160, 80, "Test dialog");
    builder.add(ControlClass::Edit, kEditId, "", ES_AUTOHSCROLL | WS_TABSTOP | WS_BORDER, 5, 5, 100, 12)
        .add(ControlClass::Button, kCheckId, "Check", BS_AUTOCHECKBOX | WS_TABSTOP, 5, 22, 60, 10)
        .add(ControlClass::Edit, kNumberId, "", ES_AUTOHSCROLL | WS_TABSTOP | WS_BORDER, 5, 36, 60, 12);
    return builder;
}

// What happened, in order, across the dialogs and controls of one test.
std::vector<std::string> events;

std::string describeKey(const char* who, WPARAM key) {
    return std::string(who) + ":" + (key == VK_ESCAPE ? std::string("ESC") : std::string(1, char(key)));
}

WNDPROC originalEditProc = nullptr;

LRESULT CALLBACK recordingEditProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_KEYDOWN) events.push_back(describeKey("edit", wParam));
    return CallWindowProcA(originalEditProc, window, message, wParam, lParam);
}

void recordEditKeys(HWND edit) {
    originalEditProc = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrA(edit, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&recordingEditProc)));
}

// Pre-translates by recording keys; consumes the 'A' key; kFinishMessage ends with 42.
class KeyFilterDialog : public GuardedDialog {
public:
    explicit KeyFilterDialog(const DLGTEMPLATE* dialogTemplate) : GuardedDialog(dialogTemplate) {}

    BOOL OnInitDialog() override {
        GuardedDialog::OnInitDialog();
        recordEditKeys(item(kEditId));
        PostMessageA(item(kEditId), WM_KEYDOWN, 'A', 1);
        PostMessageA(item(kEditId), WM_KEYDOWN, 'B', 1);
        PostMessageA(hwnd(), kFinishMessage, 0, 0);
        return TRUE;
    }

    BOOL PreTranslateMessage(MSG* message) override {
        if (message->message == WM_KEYDOWN && message->hwnd == item(kEditId)) {
            events.push_back(describeKey("pre", message->wParam));
            if (message->wParam == 'A') return TRUE;
        }
        if (message->message == kFinishMessage && message->hwnd == hwnd()) {
            EndDialog(42);
            return TRUE;
        }
        return GuardedDialog::PreTranslateMessage(message);
    }
};

TEST(FrameworkDialog, PreTranslateSeesChildMessagesBeforeDispatchAndCanConsumeThem) {
    events.clear();
    DialogTemplateBuilder builder = editDialogTemplate();
    KeyFilterDialog dialog(builder.get());

    EXPECT_EQ(dialog.DoModal(), 42);

    const std::vector<std::string> expected{"pre:A", "pre:B", "edit:B"};
    EXPECT_EQ(events, expected);
    drainMessages();
}

// Records the hooks the framework calls and ends itself as a test asks.
class ScriptedDialog : public GuardedDialog {
public:
    enum class Action { None, EndInInit, PostQuit, PostEscape, PostEnter, PostCloseBox, PostEnd };

    ScriptedDialog(const DLGTEMPLATE* dialogTemplate, Action action, HWND parent = nullptr)
        : GuardedDialog(dialogTemplate, parent), action_(action) {}

    void DoDataExchange() override {
        events.push_back(hwnd() != nullptr && IsWindow(hwnd()) ? "exchange:window" : "exchange:none");
    }

    BOOL OnInitDialog() override {
        events.push_back("init");
        GuardedDialog::OnInitDialog();
        const HWND owner = GetWindow(hwnd(), GW_OWNER);
        ownerAtInit = owner;
        ownerEnabledAtInit = owner != nullptr && IsWindowEnabled(owner);
        switch (action_) {
        case Action::EndInInit: EndDialog(13); break;
        case Action::PostQuit: PostQuitMessage(5); break;
        case Action::PostEscape: PostMessageA(item(kEditId), WM_KEYDOWN, VK_ESCAPE, 1); break;
        case Action::PostEnter: PostMessageA(item(kEditId), WM_KEYDOWN, VK_RETURN, 1); break;
        case Action::PostCloseBox: PostMessageA(hwnd(), WM_SYSCOMMAND, SC_CLOSE, 0); break;
        case Action::PostEnd: PostMessageA(hwnd(), kFinishMessage, 0, 0); break;
        case Action::None: break;
        }
        return TRUE;
    }

    BOOL PreTranslateMessage(MSG* message) override {
        if (message->message == kFinishMessage && message->hwnd == hwnd()) {
            windowAtEnd = hwnd();
            EndDialog(7);
            return TRUE;
        }
        return GuardedDialog::PreTranslateMessage(message);
    }

    void OnOK() override {
        ++okCalls;
        GuardedDialog::OnOK();
    }
    void OnCancel() override {
        ++cancelCalls;
        GuardedDialog::OnCancel();
    }

    HWND ownerAtInit = nullptr;
    bool ownerEnabledAtInit = true;
    HWND windowAtEnd = nullptr;
    int okCalls = 0;
    int cancelCalls = 0;

private:
    const Action action_;
};

bool quitMessageWaiting() {
    MSG message;
    return PeekMessageA(&message, nullptr, WM_QUIT, WM_QUIT, PM_NOREMOVE) != FALSE;
}

TEST(FrameworkDialog, EndDialogResultIsReturnedAndTheWindowDestroyed) {
    DialogTemplateBuilder builder = editDialogTemplate();
    ScriptedDialog dialog(builder.get(), ScriptedDialog::Action::PostEnd);

    EXPECT_EQ(dialog.DoModal(), 7);

    ASSERT_NE(dialog.windowAtEnd, nullptr);
    EXPECT_FALSE(IsWindow(dialog.windowAtEnd));
    EXPECT_EQ(dialog.hwnd(), nullptr);
    drainMessages();
}

TEST(FrameworkDialog, DataExchangeRunsWithTheWindowBeforeOnInitDialog) {
    events.clear();
    DialogTemplateBuilder builder = editDialogTemplate();
    ScriptedDialog dialog(builder.get(), ScriptedDialog::Action::EndInInit);

    EXPECT_EQ(dialog.DoModal(), 13);

    const std::vector<std::string> expected{"exchange:window", "init"};
    EXPECT_EQ(events, expected);
    drainMessages();
}

TEST(FrameworkDialog, WmQuitEndsTheOutermostModalLoopWithoutBeingPostedAgain) {
    DialogTemplateBuilder builder = editDialogTemplate();
    ScriptedDialog dialog(builder.get(), ScriptedDialog::Action::PostQuit);

    EXPECT_EQ(dialog.DoModal(), -1);

    EXPECT_EQ(lastQuitCode(), 5);
    EXPECT_FALSE(quitMessageWaiting());
    drainMessages();
}

// Runs a nested modal dialog when asked; records how the nested run ended.
class OuterDialog : public GuardedDialog {
public:
    OuterDialog(const DLGTEMPLATE* outer, const DLGTEMPLATE* inner)
        : GuardedDialog(outer), innerTemplate_(inner) {}

    BOOL OnInitDialog() override {
        GuardedDialog::OnInitDialog();
        PostMessageA(hwnd(), kFinishMessage, 0, 0);
        return TRUE;
    }

    BOOL PreTranslateMessage(MSG* message) override {
        if (message->message == kFinishMessage && message->hwnd == hwnd()) {
            ScriptedDialog inner(innerTemplate_, ScriptedDialog::Action::PostQuit, hwnd());
            innerResult = inner.DoModal();
            return TRUE;
        }
        return GuardedDialog::PreTranslateMessage(message);
    }

    INT_PTR innerResult = 0;

private:
    const DLGTEMPLATE* const innerTemplate_;
};

TEST(FrameworkDialog, WmQuitInANestedLoopEndsTheOuterLoopToo) {
    DialogTemplateBuilder outerBuilder = editDialogTemplate();
    DialogTemplateBuilder innerBuilder = editDialogTemplate();
    OuterDialog outer(outerBuilder.get(), innerBuilder.get());

    EXPECT_EQ(outer.DoModal(), -1);  // not kTimedOut: the quit reached the outer loop

    EXPECT_EQ(outer.innerResult, -1);
    EXPECT_EQ(lastQuitCode(), 5);
    EXPECT_FALSE(quitMessageWaiting());
    drainMessages();
}

TEST(FrameworkDialog, EscapeCancels) {
    DialogTemplateBuilder builder = editDialogTemplate();
    ScriptedDialog dialog(builder.get(), ScriptedDialog::Action::PostEscape);

    EXPECT_EQ(dialog.DoModal(), IDCANCEL);
    EXPECT_EQ(dialog.cancelCalls, 1);
    EXPECT_EQ(dialog.okCalls, 0);
    drainMessages();
}

TEST(FrameworkDialog, CloseBoxCancels) {
    DialogTemplateBuilder builder = editDialogTemplate();
    ScriptedDialog dialog(builder.get(), ScriptedDialog::Action::PostCloseBox);

    EXPECT_EQ(dialog.DoModal(), IDCANCEL);
    EXPECT_EQ(dialog.cancelCalls, 1);
    drainMessages();
}

TEST(FrameworkDialog, EnterWithoutDefaultButtonRunsOnOk) {
    DialogTemplateBuilder builder = editDialogTemplate();
    ScriptedDialog dialog(builder.get(), ScriptedDialog::Action::PostEnter);

    EXPECT_EQ(dialog.DoModal(), IDOK);
    EXPECT_EQ(dialog.okCalls, 1);
    drainMessages();
}

TEST(FrameworkDialog, ModalRunDisablesItsOwnerAndEnablesItAfterwards) {
    DialogTemplateBuilder ownerBuilder = editDialogTemplate();
    Dialog owner(ownerBuilder.get());
    ASSERT_TRUE(owner.Create(nullptr));
    ASSERT_TRUE(IsWindowEnabled(owner.hwnd()));

    DialogTemplateBuilder builder = editDialogTemplate();
    ScriptedDialog dialog(builder.get(), ScriptedDialog::Action::PostEnd, owner.hwnd());
    EXPECT_EQ(dialog.DoModal(), 7);

    EXPECT_EQ(dialog.ownerAtInit, owner.hwnd());
    EXPECT_FALSE(dialog.ownerEnabledAtInit);
    EXPECT_TRUE(IsWindowEnabled(owner.hwnd()));
    drainMessages();
}

class MainWindowApplication : public Application {
public:
    BOOL InitInstance() override { return FALSE; }
};

TEST(FrameworkDialog, ParentlessModalDialogIsOwnedByTheApplicationsMainWindow) {
    MainWindowApplication application;
    ASSERT_EQ(Application::current(), &application);
    DialogTemplateBuilder mainBuilder = editDialogTemplate();
    Dialog mainWindow(mainBuilder.get());
    ASSERT_TRUE(mainWindow.Create(nullptr));
    application.setMainWindow(&mainWindow);

    DialogTemplateBuilder builder = editDialogTemplate();
    ScriptedDialog dialog(builder.get(), ScriptedDialog::Action::PostEnd);
    EXPECT_EQ(dialog.DoModal(), 7);

    EXPECT_EQ(dialog.ownerAtInit, mainWindow.hwnd());
    EXPECT_TRUE(IsWindowEnabled(mainWindow.hwnd()));
    drainMessages();
}

// A modeless window that records the keys pre-translated for it and its cancels.
class ModelessDialog : public Dialog {
public:
    explicit ModelessDialog(const DLGTEMPLATE* dialogTemplate) : Dialog(dialogTemplate) {}

    BOOL PreTranslateMessage(MSG* message) override {
        if (message->message == WM_KEYDOWN) {
            events.push_back(describeKey(message->hwnd == item(kEditId) ? "modeless-edit" : "modeless-other",
                                         message->wParam));
        }
        return Dialog::PreTranslateMessage(message);
    }
    void OnCancel() override {
        events.push_back("modeless-cancel");
        Dialog::OnCancel();
    }
};

// Sends keys to a modeless window while its own modal loop runs.
class KeySenderDialog : public GuardedDialog {
public:
    KeySenderDialog(const DLGTEMPLATE* dialogTemplate, HWND target)
        : GuardedDialog(dialogTemplate), target_(target) {}

    BOOL OnInitDialog() override {
        GuardedDialog::OnInitDialog();
        PostMessageA(target_, WM_KEYDOWN, 'Q', 1);
        PostMessageA(target_, WM_KEYDOWN, VK_ESCAPE, 1);
        PostMessageA(hwnd(), kFinishMessage, 0, 0);
        return TRUE;
    }
    BOOL PreTranslateMessage(MSG* message) override {
        if (message->message == WM_KEYDOWN) events.push_back(describeKey("modal", message->wParam));
        if (message->message == kFinishMessage && message->hwnd == hwnd()) {
            EndDialog(3);
            return TRUE;
        }
        return GuardedDialog::PreTranslateMessage(message);
    }

private:
    const HWND target_;
};

TEST(FrameworkDialog, ModelessDialogIsPreTranslatedDuringAnotherModalLoopAndOnlyHiddenByEndDialog) {
    events.clear();
    DialogTemplateBuilder modelessBuilder = editDialogTemplate(0);
    ModelessDialog modeless(modelessBuilder.get());
    ASSERT_TRUE(modeless.Create(nullptr));
    EXPECT_FALSE(IsWindowVisible(modeless.hwnd()));  // the template is not visible
    modeless.ShowWindow(SW_SHOW);
    ASSERT_TRUE(IsWindowVisible(modeless.hwnd()));

    DialogTemplateBuilder builder = editDialogTemplate();
    KeySenderDialog sender(builder.get(), modeless.item(kEditId));
    EXPECT_EQ(sender.DoModal(), 3);

    const std::vector<std::string> expected{"modeless-edit:Q", "modeless-edit:ESC", "modeless-cancel"};
    EXPECT_EQ(events, expected);
    ASSERT_NE(modeless.hwnd(), nullptr);
    EXPECT_TRUE(IsWindow(modeless.hwnd()));
    EXPECT_FALSE(IsWindowVisible(modeless.hwnd()));
    drainMessages();
}

TEST(FrameworkDialog, ModelessWindowFromAVisibleTemplateIsShownAndDestroyedWithTheObject) {
    HWND window = nullptr;
    {
        DialogTemplateBuilder builder = editDialogTemplate(WS_VISIBLE);
        Dialog dialog(builder.get());
        ASSERT_TRUE(dialog.Create(nullptr));
        window = dialog.hwnd();
        EXPECT_TRUE(IsWindowVisible(window));
        EXPECT_EQ(Dialog::fromWindow(window), &dialog);
        EXPECT_FALSE(dialog.Create(nullptr));  // one window per object
    }
    EXPECT_FALSE(IsWindow(window));
    drainMessages();
}

TEST(FrameworkDialog, ItemHelpersReadAndWriteControls) {
    DialogTemplateBuilder builder = editDialogTemplate(0);
    Dialog dialog(builder.get());
    ASSERT_TRUE(dialog.Create(nullptr));

    dialog.setItemText(kEditId, "COM3");
    EXPECT_EQ(dialog.itemText(kEditId), "COM3");

    dialog.setItemInt(kNumberId, -250);
    bool translated = false;
    EXPECT_EQ(dialog.itemInt(kNumberId, &translated), -250);
    EXPECT_TRUE(translated);
    dialog.setItemText(kNumberId, "Uint/ms");
    dialog.itemInt(kNumberId, &translated);
    EXPECT_FALSE(translated);

    EXPECT_FALSE(dialog.isChecked(kCheckId));
    dialog.checkButton(kCheckId, BST_CHECKED);
    EXPECT_TRUE(dialog.isChecked(kCheckId));

    dialog.enableItem(kCheckId, false);
    EXPECT_FALSE(IsWindowEnabled(dialog.item(kCheckId)));
    dialog.enableItem(kCheckId, true);
    EXPECT_TRUE(IsWindowEnabled(dialog.item(kCheckId)));

    EXPECT_EQ(dialog.item(999), nullptr);

    // A control replaced under the same id is found as the new window, not the one found before.
    const HWND oldEdit = dialog.item(kEditId);
    ASSERT_TRUE(DestroyWindow(oldEdit));
    const HWND newEdit = CreateWindowExA(0, "EDIT", "", WS_CHILD, 0, 0, 10, 10, dialog.hwnd(),
                                         reinterpret_cast<HMENU>(static_cast<INT_PTR>(kEditId)), nullptr, nullptr);
    ASSERT_NE(newEdit, nullptr);
    EXPECT_EQ(dialog.item(kEditId), newEdit);
    dialog.setItemText(kEditId, "COM4");
    EXPECT_EQ(dialog.itemText(kEditId), "COM4");
    DestroyWindow(newEdit);
    EXPECT_EQ(dialog.item(kEditId), nullptr);
}

TEST(FrameworkDialog, MissingTemplateResourceFailsWithoutAWindow) {
    Dialog dialog(UINT(0x7FF0));
    EXPECT_EQ(dialog.DoModal(), -1);
    EXPECT_FALSE(dialog.Create(nullptr));
    EXPECT_EQ(dialog.hwnd(), nullptr);
}

}  // namespace
}  // namespace quenlet::test

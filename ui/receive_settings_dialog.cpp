#include "ui/receive_settings_dialog.h"

#include <string>

#include "framework/application.h"
#include "framework/message_box.h"
#include "res/resource.h"
#include "ui/file_name_dialog.h"
#include "ui/file_name_request.h"
#include "ui/main_dialog.h"
#include "ui/selected_mode.h"

namespace quenlet {
namespace {

MainDialog* mainDialog() {
    const Application* const application = Application::current();
    // A dialog run without the program's main window around it has none.
    return application != nullptr ? dynamic_cast<MainDialog*>(application->mainWindow()) : nullptr;
}

}  // namespace

const MessageTable<ReceiveSettingsDialog> ReceiveSettingsDialog::messageTable_ = {
    onCommand(IDC_RECEIVE_AS_ASCII, &ReceiveSettingsDialog::OnAsciiClicked),
    onCommand(IDC_RECEIVE_AS_HEX, &ReceiveSettingsDialog::OnHexClicked),
    onCommand(IDC_RECEIVE_FILE_ONLY, &ReceiveSettingsDialog::OnFileOnlyClicked),
    onCommand(IDC_ALSO_RECEIVE_TO_FILE, &ReceiveSettingsDialog::OnAlsoToFileClicked),
    onCommand(IDC_RECEIVE_BROWSE, &ReceiveSettingsDialog::OnBrowse),
    onCommand(IDC_RECEIVE_SETTINGS_OK, &ReceiveSettingsDialog::OnOkButton),
};

ReceiveSettingsDialog::ReceiveSettingsDialog() : Dialog(IDD_RECEIVE_SETTINGS) {}

ReceiveSettingsDialog::~ReceiveSettingsDialog() = default;

BOOL ReceiveSettingsDialog::PreTranslateMessage(MSG* message) {
    // The dialog has no default button, so Enter would end it with IDOK: it does nothing instead.
    if (message->message == WM_KEYDOWN && message->wParam == VK_RETURN) return TRUE;
    return Dialog::PreTranslateMessage(message);
}

BOOL ReceiveSettingsDialog::OnInitDialog() {
    Dialog::OnInitDialog();
    switch (g_settings.receiveMode) {
    case ReceiveMode::Ascii:
        initialiseShownMode(IDC_RECEIVE_AS_ASCII, IDC_RECEIVE_AS_HEX);
        break;
    case ReceiveMode::Hex:
        initialiseShownMode(IDC_RECEIVE_AS_HEX, IDC_RECEIVE_AS_ASCII);
        break;
    case ReceiveMode::FileOnly:
        checkButton(IDC_RECEIVE_AS_ASCII, BST_UNCHECKED);
        checkButton(IDC_RECEIVE_AS_HEX, BST_UNCHECKED);
        checkButton(IDC_RECEIVE_FILE_ONLY, BST_CHECKED);
        checkButton(IDC_ALSO_RECEIVE_TO_FILE, BST_UNCHECKED);
        enableItem(IDC_ALSO_RECEIVE_TO_FILE, false);
        setItemText(IDC_RECEIVE_FILE_NAME, g_settings.receiveFileName.c_str());
        enableItem(IDC_RECEIVE_BROWSE, true);
        break;
    }
    return TRUE;
}

void ReceiveSettingsDialog::initialiseShownMode(int buttonId, int otherId) {
    checkButton(buttonId, BST_CHECKED);
    checkButton(otherId, BST_UNCHECKED);
    checkButton(IDC_RECEIVE_FILE_ONLY, BST_UNCHECKED);
    const bool alsoToFile = g_settings.alsoReceiveToFile != 0;
    checkButton(IDC_ALSO_RECEIVE_TO_FILE, alsoToFile ? BST_CHECKED : BST_UNCHECKED);
    setItemText(IDC_RECEIVE_FILE_NAME, alsoToFile ? g_settings.receiveFileName.c_str() : "");
    enableItem(IDC_RECEIVE_BROWSE, alsoToFile);
}

void ReceiveSettingsDialog::OnAsciiClicked() { onShownModeClicked(IDC_RECEIVE_AS_ASCII, IDC_RECEIVE_AS_HEX); }

void ReceiveSettingsDialog::OnHexClicked() { onShownModeClicked(IDC_RECEIVE_AS_HEX, IDC_RECEIVE_AS_ASCII); }

void ReceiveSettingsDialog::onShownModeClicked(int buttonId, int otherId) {
    if (!isChecked(buttonId)) return;
    checkButton(buttonId, BST_CHECKED);
    checkButton(otherId, BST_UNCHECKED);
    enableItem(IDC_ALSO_RECEIVE_TO_FILE, true);
    const bool alsoToFile = isChecked(IDC_ALSO_RECEIVE_TO_FILE);
    enableItem(IDC_RECEIVE_BROWSE, alsoToFile);
    if (!alsoToFile) setItemText(IDC_RECEIVE_FILE_NAME, "");
}

void ReceiveSettingsDialog::OnFileOnlyClicked() {
    if (!isChecked(IDC_RECEIVE_FILE_ONLY)) return;
    checkButton(IDC_RECEIVE_AS_ASCII, BST_UNCHECKED);
    checkButton(IDC_RECEIVE_AS_HEX, BST_UNCHECKED);
    checkButton(IDC_RECEIVE_FILE_ONLY, BST_CHECKED);
    checkButton(IDC_ALSO_RECEIVE_TO_FILE, BST_UNCHECKED);
    enableItem(IDC_ALSO_RECEIVE_TO_FILE, false);
    // Written at once, not at OK: the receive path reads it for every chunk, and FileOnly has no
    // use for it.
    g_settings.alsoReceiveToFile = 0;
    enableItem(IDC_RECEIVE_BROWSE, true);
}

void ReceiveSettingsDialog::OnAlsoToFileClicked() {
    const bool alsoToFile = isChecked(IDC_ALSO_RECEIVE_TO_FILE);
    // Takes effect on the next received chunk, whether or not the dialog ends with OK.
    g_settings.alsoReceiveToFile = alsoToFile ? 1 : 0;
    enableItem(IDC_RECEIVE_BROWSE, alsoToFile);
}

void ReceiveSettingsDialog::OnBrowse() {
    MainDialog* const owner = mainDialog();
    if (owner == nullptr) return;
    const std::string path =
        owner->fileNameDialog().ChooseFileToSave(hwnd(), true, kTextDocumentsFilter, "", "");
    // Cancel leaves the box as it was.
    if (!path.empty()) setItemText(IDC_RECEIVE_FILE_NAME, path.c_str());
}

void ReceiveSettingsDialog::OnOkButton() {
    if (isChecked(IDC_RECEIVE_FILE_ONLY) || g_settings.alsoReceiveToFile != 0) {
        const std::string fileName = itemText(IDC_RECEIVE_FILE_NAME);
        if (fileName.empty()) {
            ShowMessage(hwnd(), "Please specify the file name for receive data!");
            return;
        }
        g_settings.receiveFileName = fileName;
    }
    g_settings.receiveMode = selectedMode();

    // The refresh opens or reopens the capture file as the new settings ask, also one that a failed
    // write closed.
    if (MainDialog* const owner = mainDialog()) {
        if (PortController* const controller = owner->portController()) controller->retryCapture();
        owner->RefreshDisplay();
    }
    OnOK();
}

ReceiveMode ReceiveSettingsDialog::selectedMode() const {
    return SelectedMode(*this, IDC_RECEIVE_AS_ASCII, IDC_RECEIVE_AS_HEX, ReceiveMode::FileOnly);
}

}  // namespace quenlet

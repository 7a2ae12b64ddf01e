#include "ui/send_settings_dialog.h"

#include <shellapi.h>

#include <string>
#include <utility>
#include <vector>

#include "framework/application.h"
#include "framework/message_box.h"
#include "res/resource.h"
#include "ui/file_name_dialog.h"
#include "ui/file_name_request.h"
#include "ui/main_dialog.h"
#include "ui/selected_mode.h"

namespace quenlet {
namespace {

// The shell's drop handle; the window that receives WM_DROPFILES must release it.
class DropHandle {
public:
    explicit DropHandle(HDROP drop) : drop_(drop) {}
    ~DropHandle() {
        if (drop_ != nullptr) DragFinish(drop_);
    }
    DropHandle(const DropHandle&) = delete;
    DropHandle& operator=(const DropHandle&) = delete;

    HDROP get() const { return drop_; }

private:
    HDROP drop_;
};

MainDialog* mainDialog() {
    const Application* const application = Application::current();
    // A dialog run without the program's main window around it has none.
    return application != nullptr ? dynamic_cast<MainDialog*>(application->mainWindow()) : nullptr;
}

}  // namespace

const MessageTable<SendSettingsDialog> SendSettingsDialog::messageTable_ = {
    onCommand(IDC_SEND_AS_ASCII, &SendSettingsDialog::OnAsciiClicked),
    onCommand(IDC_SEND_AS_HEX, &SendSettingsDialog::OnHexClicked),
    onCommand(IDC_SEND_AS_FILE, &SendSettingsDialog::OnFileClicked),
    onCommand(IDC_SEND_BROWSE, &SendSettingsDialog::OnBrowse),
    onCommand(IDC_SEND_SETTINGS_OK, &SendSettingsDialog::OnOkButton),
    onMessage(WM_DROPFILES, &SendSettingsDialog::OnDropFiles),
};

SendSettingsDialog::SendSettingsDialog() : Dialog(IDD_SEND_SETTINGS) {}

SendSettingsDialog::~SendSettingsDialog() = default;

BOOL SendSettingsDialog::PreTranslateMessage(MSG* message) {
    // The dialog has no default button, so Enter would end it with IDOK: it does nothing instead.
    if (message->message == WM_KEYDOWN && message->wParam == VK_RETURN) return TRUE;
    return Dialog::PreTranslateMessage(message);
}

BOOL SendSettingsDialog::OnInitDialog() {
    Dialog::OnInitDialog();
    switch (g_settings.sendMode) {
    case SendMode::Ascii:
    case SendMode::Hex: {
        const bool ascii = g_settings.sendMode == SendMode::Ascii;
        checkButton(IDC_SEND_AS_ASCII, ascii ? BST_CHECKED : BST_UNCHECKED);
        checkButton(IDC_SEND_AS_HEX, ascii ? BST_UNCHECKED : BST_CHECKED);
        checkButton(IDC_SEND_AS_FILE, BST_UNCHECKED);
        enableItem(IDC_SEND_BROWSE, false);
        acceptDrops(false);
        break;
    }
    case SendMode::File:
        checkButton(IDC_SEND_AS_ASCII, BST_UNCHECKED);
        checkButton(IDC_SEND_AS_HEX, BST_UNCHECKED);
        checkButton(IDC_SEND_AS_FILE, BST_CHECKED);
        enableItem(IDC_SEND_BROWSE, true);
        setItemText(IDC_SEND_FILE_NAME, copySendFileName().c_str());
        acceptDrops(true);
        break;
    }
    return TRUE;
}

void SendSettingsDialog::OnAsciiClicked() { onTextModeClicked(IDC_SEND_AS_ASCII); }

void SendSettingsDialog::OnHexClicked() { onTextModeClicked(IDC_SEND_AS_HEX); }

void SendSettingsDialog::onTextModeClicked(int buttonId) {
    const bool chosen = isChecked(buttonId);
    enableItem(IDC_SEND_BROWSE, !chosen);
    if (chosen) setItemText(IDC_SEND_FILE_NAME, "");
    acceptDrops(!chosen);
}

void SendSettingsDialog::OnFileClicked() {
    const bool chosen = isChecked(IDC_SEND_AS_FILE);
    enableItem(IDC_SEND_BROWSE, chosen);
    acceptDrops(chosen);
}

void SendSettingsDialog::OnBrowse() {
    MainDialog* const owner = mainDialog();
    if (owner == nullptr) return;
    const std::vector<std::string> paths =
        owner->fileNameDialog().ChooseFilesToOpen(hwnd(), false, kTextDocumentsFilter, "", "");
    // Cancel leaves the box as it was.
    if (!paths.empty()) setItemText(IDC_SEND_FILE_NAME, paths.front().c_str());
}

void SendSettingsDialog::OnOkButton() {
    const std::string fileName = itemText(IDC_SEND_FILE_NAME);
    if (isChecked(IDC_SEND_AS_FILE) && fileName.empty()) {
        ShowMessage(hwnd(), "Please specify the file name for send data!");
        return;
    }
    const SendMode mode = selectedMode();
    g_settings.sendMode = mode;
    // Text modes keep the old name, which comes back the next time File is chosen. The sender
    // thread may be reading the name for a file send right now: replace it, never assign it.
    if (mode == SendMode::File) replaceSendFileName(fileName);

    if (MainDialog* const owner = mainDialog()) owner->RefreshDisplay();
    OnOK();
}

LRESULT SendSettingsDialog::OnDropFiles(WPARAM wParam, LPARAM /*lParam*/) {
    const DropHandle drop(reinterpret_cast<HDROP>(wParam));
    if (DragQueryFileA(drop.get(), 0xFFFFFFFF, nullptr, 0) == 0) return 0;

    // Only the first of several dropped files counts.
    char path[MAX_PATH] = {};
    DragQueryFileA(drop.get(), 0, path, MAX_PATH);
    // A folder is refused, and so is a path that cannot be read: its failure value has every
    // bit set, the folder bit included.
    const DWORD attributes = GetFileAttributesA(path);
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) setItemText(IDC_SEND_FILE_NAME, path);
    passToDefault();
    return 0;
}

SendMode SendSettingsDialog::selectedMode() const {
    return SelectedMode(*this, IDC_SEND_AS_ASCII, IDC_SEND_AS_HEX, SendMode::File);
}

void SendSettingsDialog::acceptDrops(bool accept) const { DragAcceptFiles(hwnd(), accept ? TRUE : FALSE); }

}  // namespace quenlet

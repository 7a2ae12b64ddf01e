// The modal dialog that chooses how a send transmits: the send box as text or as hexadecimal
// bytes, or a file instead. The file comes from the file-name dialog or is dropped from the shell
// while "Send as File" is chosen. The controls hold the choice until OK stores it into g_settings.
#pragma once

#include <windows.h>

#include "framework/dialog.h"
#include "framework/message_table.h"
#include "settings/port_settings.h"

namespace quenlet {

class SendSettingsDialog : public Dialog {
public:
    // Without a parent the application's main window owns the modal run.
    SendSettingsDialog();
    ~SendSettingsDialog() override;

    BOOL PreTranslateMessage(MSG* message) override;
    BOOL OnInitDialog() override;

    void OnAsciiClicked();
    void OnHexClicked();
    void OnFileClicked();
    void OnBrowse();
    void OnOkButton();
    // wParam is the shell's drop handle; the dialog releases it.
    LRESULT OnDropFiles(WPARAM wParam, LPARAM lParam);

    SendMode selectedMode() const;

private:
    // Ascii and Hex alike: buttonId is the radio button that was clicked.
    void onTextModeClicked(int buttonId);
    void acceptDrops(bool accept) const;

    QUENLET_MESSAGE_TABLE(SendSettingsDialog)
};

}  // namespace quenlet

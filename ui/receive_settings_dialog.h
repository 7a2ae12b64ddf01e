// The modal dialog that chooses how received bytes are handled: shown as text or as hexadecimal
// pairs, optionally also appended to a capture file, or only written to the capture file. The mode
// and the file name are stored at OK; the "Also receive to the file" box writes its setting at
// once, because the receive path reads it for every chunk.
#pragma once

#include <windows.h>

#include "framework/dialog.h"
#include "framework/message_table.h"
#include "settings/port_settings.h"

namespace quenlet {

class ReceiveSettingsDialog : public Dialog {
public:
    // Without a parent the application's main window owns the modal run.
    ReceiveSettingsDialog();
    ~ReceiveSettingsDialog() override;

    BOOL PreTranslateMessage(MSG* message) override;
    BOOL OnInitDialog() override;

    void OnAsciiClicked();
    void OnHexClicked();
    void OnFileOnlyClicked();
    void OnAlsoToFileClicked();
    void OnBrowse();
    void OnOkButton();

    ReceiveMode selectedMode() const;

private:
    // Ascii and Hex alike: buttonId was clicked, otherId is the other of the two.
    void onShownModeClicked(int buttonId, int otherId);
    // Checks buttonId among the two shown modes, with the capture controls as the settings say.
    void initialiseShownMode(int buttonId, int otherId);

    QUENLET_MESSAGE_TABLE(ReceiveSettingsDialog)
};

}  // namespace quenlet

// The modal dialog that picks the COM port and its line parameters. It probes which ports are
// present each time it opens and stores the choice into g_settings only when its OK button is
// pressed; Enter does nothing and Escape cancels.
#pragma once

#include <windows.h>

#include "framework/data_exchange.h"
#include "framework/dialog.h"
#include "framework/message_table.h"

namespace quenlet {

class PortSettingsDialog : public Dialog {
public:
    // Without a parent the application's main window owns the modal run.
    PortSettingsDialog();
    ~PortSettingsDialog() override;

    void DoDataExchange() override;
    BOOL PreTranslateMessage(MSG* message) override;
    BOOL OnInitDialog() override;

    void OnOkButton();

    // Highest port number the dialog probes.
    static constexpr int kLastProbedPort = 256;

private:
    void fillPortList();
    void fillBaudRateList();
    void fillDataBitsList();
    void fillParityList();
    void fillStopBitsList();
    void fillFlowControlList();

    ComboBox portList;
    ComboBox flowControlList;
    ComboBox stopBitsList;
    ComboBox parityList;
    ComboBox dataBitsList;
    ComboBox baudRateList;

    QUENLET_MESSAGE_TABLE(PortSettingsDialog)
};

}  // namespace quenlet

// PortController: the Send/Stop button and the loop timer tick.
#include "core/port_controller.h"
#include "core/sent_message_wait.h"
#include "framework/dialog.h"
#include "framework/message_box.h"
#include "framework/text_format.h"
#include "res/resource.h"
#include "settings/port_settings.h"

namespace quenlet {

void PortController::onSendButton() {
    if (windowText(item(IDC_SEND)) == "Stop") {
        if (fileSending) fileSendCancel = 1;
        if (loopSending) mainDialog->KillTimer(kLoopTimerId);
        // Time for a file send to notice the cancel; the sender's window updates get through.
        pauseHandlingSentMessages(kStopPauseMs);
        fileSending = 0;
        loopSending = 0;
        refreshDisplay();
        return;
    }
    if (!isLoopChecked()) {
        SetEvent(sendEvent.get());
        return;
    }
    if (loopSending || fileSending) return;
    const int interval = static_cast<int>(GetDlgItemInt(mainDialog->hwnd(), IDC_LOOP_INTERVAL, nullptr, TRUE));
    if (interval <= 0) {
        ShowMessage("Please enter the time interval");
        return;
    }
    loopSending = 1;
    SetWindowTextA(item(IDC_SEND), "Stop");
    mainDialog->SetTimer(kLoopTimerId, static_cast<UINT>(interval));
    refreshDisplay();
}

void PortController::onTimer() {
    switch (g_settings.sendMode) {
    case SendMode::Ascii: sendText(); break;
    case SendMode::Hex: sendHex(); break;
    case SendMode::File: break;
    }
}

}  // namespace quenlet

// PortController: the Send/Stop button and the loop timer tick.
#include <algorithm>

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
        if (sends.loopSending()) mainDialog->KillTimer(kLoopTimerId);
        sends.stop();
        // Time for the send to notice; a write under way is cancelled, however slow the line.
        pauseEndingSend(kStopPauseMs);
        sends.clearSending();
        refreshDisplay();
        return;
    }
    if (!isLoopChecked()) {
        // The sender sends what the user asked for now, whatever mode is chosen before it starts.
        sends.requestSingle(g_settings.sendMode);
        refreshSendButton();
        refreshLoopControls();
        SetEvent(sendEvent.get());
        return;
    }
    if (isSending()) return;
    const int interval = static_cast<int>(GetDlgItemInt(mainDialog->hwnd(), IDC_LOOP_INTERVAL, nullptr, TRUE));
    if (interval <= 0) {
        ShowMessage("Please enter the time interval");
        return;
    }
    sends.startLoop();
    SetWindowTextA(item(IDC_SEND), "Stop");
    mainDialog->SetTimer(kLoopTimerId, static_cast<UINT>(interval));
    refreshDisplay();
}

// Window thread: a tick hands one copy of the send box to the sender and returns at once, so the
// window never waits on the line. A tick that comes while the last copy is still on its way falls
// inside that copy and sends nothing: copies go out whole, one after another.
void PortController::onTimer() {
    if (!sends.loopSending() || sends.loopCopyBusy()) return;
    if (g_settings.sendMode == SendMode::File) return;
    std::vector<std::uint8_t> bytes;
    SendProgress::Kind kind = SendProgress::Kind::Text;
    if (!takeBoxBytes(g_settings.sendMode, bytes, kind)) {
        refreshSendButton();
        return;
    }
    if (sends.offerLoopCopy(std::move(bytes), kind)) SetEvent(sendEvent.get());
}

void PortController::pauseEndingSend(DWORD durationMs) {
    const ULONGLONG deadline = GetTickCount64() + durationMs;
    for (;;) {
        // While the sender is inside a send, its write is cancelled again and again: one issued
        // after the last cancel is caught by the next.
        if (WaitForSingleObject(senderParked.get(), 0) != WAIT_OBJECT_0) port.cancelWrite();
        const ULONGLONG now = GetTickCount64();
        if (now >= deadline) return;
        pauseHandlingSentMessages(static_cast<DWORD>(std::min<ULONGLONG>(deadline - now, kCancelSliceMs)));
    }
}

}  // namespace quenlet

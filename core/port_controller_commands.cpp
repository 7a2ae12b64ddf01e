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
        if (fileSending) fileSendCancel = 1;
        if (boxSending) boxSendCancel = 1;
        if (loopSending) {
            mainDialog->KillTimer(kLoopTimerId);
            loopSending = 0;  // a copy under way ends with it
        }
        // Time for the send to notice; a write under way is cancelled, however slow the line.
        pauseEndingSend(kStopPauseMs);
        fileSending = 0;
        loopSending = 0;
        boxSending = 0;
        refreshDisplay();
        return;
    }
    if (!isLoopChecked()) {
        // The sender sends what the user asked for now, whatever mode is chosen before it starts.
        const SendMode mode = g_settings.sendMode;
        if (mode != SendMode::File) {
            boxSendCancel = 0;
            boxSending = 1;
            refreshSendButton();
            refreshLoopControls();
        }
        requestedSend = static_cast<int>(mode);
        SetEvent(sendEvent.get());
        return;
    }
    if (isSending()) return;
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

// Window thread: a tick hands one copy of the send box to the sender and returns at once, so the
// window never waits on the line. A tick that comes while the last copy is still on its way falls
// inside that copy and sends nothing: copies go out whole, one after another.
void PortController::onTimer() {
    if (!loopSending || loopCopyBusy) return;
    if (g_settings.sendMode == SendMode::File) return;
    std::vector<std::uint8_t> bytes;
    SendProgress::Kind kind = SendProgress::Kind::Text;
    if (!takeBoxBytes(g_settings.sendMode, bytes, kind)) {
        refreshSendButton();
        return;
    }
    {
        CriticalSectionLock lock(loopCopyLock);
        loopCopy.swap(bytes);
        loopCopyKind = kind;
    }
    loopCopyBusy = 1;
    SetEvent(sendEvent.get());
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

// PortController: the monitor and sender threads.
#include <array>

#include "core/port_controller.h"
#include "settings/port_settings.h"

namespace quenlet {

namespace {

// Marks a worker as outside every device call while it waits and after it ends.
class ParkedWhileWaiting {
public:
    explicit ParkedWhileWaiting(HANDLE parked) : parked_(parked) { SetEvent(parked_); }
    ~ParkedWhileWaiting() { SetEvent(parked_); }
    ParkedWhileWaiting(const ParkedWhileWaiting&) = delete;
    ParkedWhileWaiting& operator=(const ParkedWhileWaiting&) = delete;

private:
    HANDLE parked_;
};

// Sleeps on wake until it is set, then resets it and clears parked: the worker is about to act.
void waitForWork(HANDLE wake, HANDLE parked) {
    SetEvent(parked);
    WaitForSingleObject(wake, INFINITE);
    ResetEvent(wake);
    ResetEvent(parked);
}

}  // namespace

DWORD WINAPI PortController::monitorLoop(void* /*parameter*/) {
    const ParkedWhileWaiting parkedAtEnd(monitorParked.get());
    std::array<char, kReadChunk + 1> receiveBuffer{};
    for (;;) {
        waitForWork(monitorEvent.get(), monitorParked.get());
        // The flags are checked after the parked mark is cleared, so a closer that saw the mark
        // had already set its stop flag, which is seen here before the device is touched.
        if (watchPort(receiveBuffer.data()) == WatchResult::Exit) return 0;
    }
}

PortController::WatchResult PortController::watchPort(char* receiveBuffer) {
    for (;;) {
        if (monitorExit) return WatchResult::Exit;
        if (monitorStop || !port.isOpen()) return WatchResult::Sleep;
        // A time-out is a success without events, so this pass runs at least every 100 ms.
        if (!port.waitEvent(kEventWaitMs)) return WatchResult::Sleep;

        const DWORD events = port.takeEvents();
        DWORD errors = 0;
        COMSTAT status{};
        ClearCommError(port.handle(), &errors, &status);
        if (!monitorExit) updateStatusBoxes(events, status);

        if (!(events & EV_RXCHAR) && status.cbInQue == 0) continue;
        while (!monitorStop) {
            DWORD count = 0;
            if (!port.read(receiveBuffer, kReadChunk, &count) || count == 0) break;
            receiveBuffer[count] = 0;
            onReceive(receiveBuffer, count);
        }
    }
}

void PortController::updateStatusBoxes(DWORD events, const COMSTAT& status) {
    statusDialog.SetCtsHold(status.fCtsHold);
    statusDialog.SetDsrHold(status.fDsrHold);
    statusDialog.SetRlsdHold(status.fRlsdHold);
    statusDialog.SetXoffHold(status.fXoffHold);
    statusDialog.SetXoffSent(status.fXoffSent);
    statusDialog.SetEofReceived(status.fEof);
    if (events & EV_CTS) statusDialog.SetCts(port.isCtsOn());
    if (events & EV_DSR) statusDialog.SetDsr(port.isDsrOn());
    if (events & EV_RING) statusDialog.SetRing(port.isRingOn());
    if (events & EV_RLSD) statusDialog.SetRlsd(port.isRlsdOn());
}

DWORD WINAPI PortController::senderLoop(void* /*parameter*/) {
    const ParkedWhileWaiting parkedAtEnd(senderParked.get());
    for (;;) {
        waitForWork(sendEvent.get(), senderParked.get());
        if (senderExit) return 0;
        if (senderStop) {
            Sleep(100);
            continue;
        }
        switch (g_settings.sendMode) {
        case SendMode::Ascii: sendText(); break;
        case SendMode::Hex: sendHex(); break;
        case SendMode::File: sendFile(); break;
        }
    }
}

}  // namespace quenlet

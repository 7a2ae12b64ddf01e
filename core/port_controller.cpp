// PortController: construction and destruction, opening and closing the port, and shutdown.
#include "core/port_controller.h"

#include "core/sent_message_wait.h"
#include "framework/dialog.h"
#include "framework/message_box.h"
#include "framework/text_format.h"
#include "settings/port_settings.h"

namespace quenlet {

namespace {

// How long the window thread waits for a worker to leave the device before it cancels the
// worker's I/O, and how long it waits after that.
constexpr DWORD kLeavePortLimitMs = 3000;
constexpr DWORD kJoinLimitMs = 5000;

UniqueHandle makeSignalledEvent() { return UniqueHandle(CreateEventA(nullptr, TRUE, TRUE, nullptr)); }

}  // namespace

PortController::PortController(Dialog* mainDialog)
    : mainDialog(mainDialog),
      sendEvent(makeManualResetEvent()),
      monitorEvent(makeManualResetEvent()),
      monitorParked(makeSignalledEvent()),
      senderParked(makeSignalledEvent()) {
    // The thread handles are kept (not closed at once) so that destruction can wait for the
    // threads to end before the objects they use go away.
    if (const auto entry = monitorThunk.bindThreadStart(this, &PortController::monitorLoop)) {
        monitorThread.reset(CreateThread(nullptr, 0, entry, nullptr, 0, nullptr));
    }
    if (const auto entry = senderThunk.bindThreadStart(this, &PortController::senderLoop)) {
        senderThread.reset(CreateThread(nullptr, 0, entry, nullptr, 0, nullptr));
    }
    statusDialog.Create(mainDialog->hwnd());
}

PortController::~PortController() {
    joinWorkers();
    // Members go next: the port (closing the device), the toolbar, the status window, the thunks.
}

void PortController::joinWorkers() {
    senderExit = 1;
    monitorExit = 1;
    fileSendCancel = 1;  // a file send still running at exit ends at its next chunk
    SetEvent(sendEvent.get());
    SetEvent(monitorEvent.get());
    for (UniqueHandle* thread : {&monitorThread, &senderThread}) {
        if (!thread->valid()) continue;
        if (!waitHandlingSentMessages(thread->get(), kJoinLimitMs)) {
            // A write the device does not complete; cancelling it lets the worker return.
            if (port.isOpen()) CancelIoEx(port.handle(), nullptr);
            while (!waitHandlingSentMessages(thread->get(), kJoinLimitMs)) {
                if (port.isOpen()) CancelIoEx(port.handle(), nullptr);
            }
        }
        thread->reset();
    }
}

void PortController::waitForWorkersToLeavePort() {
    for (HANDLE parked : {monitorParked.get(), senderParked.get()}) {
        if (waitHandlingSentMessages(parked, kLeavePortLimitMs)) continue;
        if (port.isOpen()) CancelIoEx(port.handle(), nullptr);
        waitHandlingSentMessages(parked, kLeavePortLimitMs);
    }
}

HWND PortController::item(int id) const { return mainDialog->item(id); }

void PortController::openPort() {
    if (port.isOpen()) {
        // Reopening closes the device: get the workers out of it first.
        senderStop = 1;
        monitorStop = 1;
        SetEvent(sendEvent.get());
        SetEvent(monitorEvent.get());
        waitForWorkersToLeavePort();
    }
    const std::string path = "\\\\.\\" + g_settings.portName;
    if (!port.open(path.c_str(), g_settings.baudRate, g_settings.dataBits,
                   static_cast<int>(g_settings.parity), static_cast<int>(g_settings.stopBits),
                   static_cast<int>(g_settings.flowControl), 1)) {
        const std::string text = formatText("Error: Port(%s), ", g_settings.portName.c_str()) +
                                 formatSystemError(port.lastError());
        // A device that opened but refused the line parameters stays open in the port: release
        // it, so that the port is free and the window, which says closed, tells the truth.
        port.close();
        ShowMessage(text.c_str());
        return;
    }
    port.setEventMask(kEventMask);
    port.setQueueSizes(kQueueSize);

    fileSending = 0;
    fileSendCancel = 0;
    loopSending = 0;
    senderStop = 0;
    monitorStop = 0;
    bytesSent = 0;
    bytesReceived = 0;
    SetEvent(monitorEvent.get());
    refreshDisplay();
}

void PortController::closePort() {
    if (loopSending) {
        ShowMessage("Loop sending, stop sending first!");
        return;
    }
    if (fileSending) {
        ShowMessage("Sendding file, stop sending first!");
        return;
    }
    senderStop = 1;
    monitorStop = 1;
    SetEvent(sendEvent.get());
    SetEvent(monitorEvent.get());

    // The pause is the least the workers get; the device is closed only once both have left it.
    const ULONGLONG start = GetTickCount64();
    waitForWorkersToLeavePort();
    const ULONGLONG waited = GetTickCount64() - start;
    if (waited < kClosePauseMs) pauseHandlingSentMessages(static_cast<DWORD>(kClosePauseMs - waited));

    if (port.isOpen()) port.close();
    refreshDisplay();
    {
        CriticalSectionLock lock(captureLock);
        captureFile.reset();
    }
    statusDialog.ShowWindow(SW_HIDE);
}

void PortController::shutdown() {
    senderExit = 1;
    monitorExit = 1;
    SetEvent(sendEvent.get());
    SetEvent(monitorEvent.get());
}

std::string PortController::formatSystemError(DWORD code) {
    char* buffer = nullptr;
    const DWORD length = FormatMessageA(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_FROM_SYSTEM,
        nullptr, code, 0, reinterpret_cast<char*>(&buffer), 0, nullptr);
    std::string text;
    if (length != 0 && buffer != nullptr) text.assign(buffer, length);
    if (buffer != nullptr) LocalFree(buffer);
    return text;
}

bool PortController::hasCaptureFile() {
    CriticalSectionLock lock(captureLock);
    return static_cast<bool>(captureFile);
}

}  // namespace quenlet

// PortController: construction and destruction, opening and closing the port, and shutdown.
#include "core/port_controller.h"

#include <algorithm>

#include "core/port_notices.h"
#include "core/sent_message_wait.h"
#include "framework/dialog.h"
#include "framework/message_box.h"
#include "framework/text_format.h"
#include "settings/port_settings.h"

namespace quenlet {

namespace {

// A worker that has not left the device after kCancelAfterMs gets the port's I/O cancelled; after
// kLeavePortLimitMs the window thread stops waiting for it.
constexpr DWORD kCancelAfterMs = 3000;
constexpr DWORD kLeavePortLimitMs = 6000;
// Exit ends the process within about 3 s: from the shutdown the workers get kEndLimitMs to leave
// the device and end, and their I/O is cancelled after kEndCancelAfterMs.
constexpr DWORD kEndCancelAfterMs = 500;
constexpr DWORD kEndLimitMs = 2000;
// How often a waiting window thread cancels again and closes the sender's message boxes again:
// a read or a box that began after the last time is caught at the next.
constexpr DWORD kWaitSliceMs = 100;

UniqueHandle makeSignalledEvent() { return UniqueHandle(CreateEventA(nullptr, TRUE, TRUE, nullptr)); }

}  // namespace

PortController::PortController(Dialog* mainDialog)
    : mainDialog(mainDialog),
      sendEvent(makeManualResetEvent()),
      monitorEvent(makeManualResetEvent()),
      arrivalEvent(makeManualResetEvent()),
      monitorParked(makeSignalledEvent()),
      senderParked(makeSignalledEvent()) {
    // The thread handles are kept (not closed at once) so that destruction can wait for the
    // threads to end before the objects they use go away.
    if (const auto entry = monitorThunk.bindThreadStart(this, &PortController::monitorLoop)) {
        monitorThread.reset(CreateThread(nullptr, 0, entry, nullptr, 0, nullptr));
    }
    if (const auto entry = senderThunk.bindThreadStart(this, &PortController::senderLoop)) {
        senderThread.reset(CreateThread(nullptr, 0, entry, nullptr, 0, &senderThreadId));
    }
    statusDialog.Create(mainDialog->hwnd());
}

PortController::~PortController() {
    // The members the workers use must outlive them, however long a device holds one of them.
    shutdown();
    for (;;) {
        const ULONGLONG now = GetTickCount64();
        if (joinWorkers({now + kCancelAfterMs, now + kLeavePortLimitMs})) break;
    }
    // Members go next: the port (closing the device), the toolbar, the status window, the thunks.
}

bool PortController::endWorkers() {
    shutdown();
    return joinWorkers(endSchedule);
}

bool PortController::joinWorkers(const WaitSchedule& schedule) {
    for (UniqueHandle* thread : {&monitorThread, &senderThread}) {
        if (!thread->valid()) continue;
        if (!waitForWorkers({thread->get()}, schedule)) return false;
        thread->reset();
    }
    return true;
}

bool PortController::waitForWorkersToLeavePort() {
    const ULONGLONG now = GetTickCount64();
    // While the program ends, the workers leave the device within the exit's bound.
    const WaitSchedule schedule =
        isEnding() ? endSchedule : WaitSchedule{now + kCancelAfterMs, now + kLeavePortLimitMs};
    return waitForWorkers({monitorParked.get(), senderParked.get()}, schedule);
}

bool PortController::waitForWorkers(std::initializer_list<HANDLE> signals, const WaitSchedule& schedule) {
    for (const HANDLE signal : signals) {
        for (;;) {
            const ULONGLONG now = GetTickCount64();
            // A device call that outlasts its time-outs is cancelled, so the worker returns.
            if (now >= schedule.cancelAt && port.isOpen()) CancelIoEx(port.handle(), nullptr);
            // An ending sender may be held by a message box, shown before or after the shutdown.
            if (isEnding()) closeMessagesOfThread(senderThreadId);
            const ULONGLONG until = now < schedule.cancelAt ? schedule.cancelAt : schedule.deadline;
            const DWORD slice =
                static_cast<DWORD>(until > now ? std::min<ULONGLONG>(until - now, kWaitSliceMs) : 0);
            if (waitHandlingSentMessages(signal, slice)) break;
            if (GetTickCount64() >= schedule.deadline) return false;
        }
    }
    return true;
}

HWND PortController::item(int id) const { return mainDialog->item(id); }

void PortController::openPort() {
    if (port.isOpen()) {
        // Reopening closes the device: get the workers out of it first.
        senderStop = 1;
        monitorStop = 1;
        SetEvent(sendEvent.get());
        SetEvent(monitorEvent.get());
        // A worker still inside the device keeps it: it is not closed under the call.
        if (!waitForWorkersToLeavePort()) return;
    }
    openedLine = OpenedLine{g_settings.portName,
                            LineFrame{g_settings.baudRate, g_settings.dataBits, static_cast<int>(g_settings.parity),
                                      static_cast<int>(g_settings.stopBits)},
                            static_cast<int>(g_settings.flowControl)};
    if (!openDevice()) {
        const std::string text = formatText("Error: Port(%s), ", g_settings.portName.c_str()) +
                                 formatSystemError(port.lastError());
        // A device that opened but refused the line parameters stays open in the port: release
        // it, so that the port is free and the window, which says closed, tells the truth.
        port.close();
        ShowMessage(text.c_str());
        return;
    }
    losses.endWaiting();
    sends.reset();
    senderStop = 0;
    monitorStop = 0;
    bytesSent = 0;
    bytesReceived = 0;
    losses.begin();
    SetEvent(monitorEvent.get());
    refreshDisplay();
}

// The device of openedLine, with its events, queues and read pace; the monitor opens it again
// this way when a lost device returns.
bool PortController::openDevice() {
    const std::string path = "\\\\.\\" + openedLine.portName;
    const LineFrame& frame = openedLine.frame;
    if (!port.open(path.c_str(), frame.baudRate, frame.dataBits, frame.parity, frame.stopBits,
                   openedLine.flowControl, 1)) {
        return false;
    }
    port.setEventMask(kEventMask);
    port.setQueueSizes(kQueueSize);
    // The queue is read before it can run half full; a driver may grant less than was asked.
    const DWORD queue = port.inputQueueSize();
    readIntervalMs = queueReadIntervalMs(frame, queue != 0 ? queue : kQueueSize, kHandOverIntervalMs);
    return true;
}

void PortController::closePort() {
    if (sends.loopSending()) {
        ShowMessage("Loop sending, stop sending first!");
        return;
    }
    if (sends.fileSending() || (isEnding() && fileSendingAtEnd)) {
        // At exit nobody may be there to answer the box (the window is hidden, maybe minimised),
        // and the program must end all the same.
        if (isEnding()) {
            ShowMessageWithin(kExitRefusalLimitMs, "Sendding file, stop sending first!");
        } else {
            ShowMessage("Sendding file, stop sending first!");
        }
        return;
    }
    closeAcceptedPort();
}

bool PortController::leaveDevice() {
    senderStop = 1;
    monitorStop = 1;
    SetEvent(sendEvent.get());
    SetEvent(monitorEvent.get());
    // A send writing to a slow or held line gets out of its write at once.
    port.cancelWrite();

    // The pause is the least the workers get; the device is closed only once both have left it.
    // A worker still inside it (a device that ignores its time-outs and cancellation) keeps it
    // open, and the display says so: it is never closed under a running call.
    const ULONGLONG start = GetTickCount64();
    const bool workersLeft = waitForWorkersToLeavePort();
    const ULONGLONG waited = GetTickCount64() - start;
    if (waited < kClosePauseMs) pauseHandlingSentMessages(static_cast<DWORD>(kClosePauseMs - waited));

    if (workersLeft && port.isOpen()) port.close();
    return workersLeft;
}

void PortController::closeAcceptedPort() {
    leaveDevice();
    // A wait for a lost device ends here: a device that returns later is not opened.
    losses.endWaiting();
    // The refresh reopens a capture file only for the close below: a failure to is not news.
    quietCaptureOpen = true;
    refreshDisplay();
    quietCaptureOpen = false;
    {
        CriticalSectionLock lock(captureLock);
        captureFile.close();
    }
    statusDialog.ShowWindow(SW_HIDE);
}

void PortController::shutdown() {
    if (!isEnding()) fileSendingAtEnd = sends.fileSending();
    senderExit = 1;
    monitorExit = 1;
    SetEvent(sendEvent.get());
    SetEvent(monitorEvent.get());
    if (!isEnding()) {
        const ULONGLONG now = GetTickCount64();
        endSchedule = {now + kEndCancelAfterMs, now + kEndLimitMs};
    }
    // The sender cannot see its exit flag while a box of its own holds it.
    closeMessagesOfThread(senderThreadId);
}

void PortController::postNotice(std::string text) {
    mainDialog->postToWindowThread([text = std::move(text)] { ShowMessage(text.c_str()); });
}

void PortController::reportPortLost(unsigned opening, DWORD code) {
    mainDialog->postToWindowThread([this, opening, code] { onPortLost(opening, code); });
}

// The monitor and a send may both find the device gone: the first report puts the port into its
// wait for the device, and the others find it waiting (or opened again since) and say nothing.
// The wait keeps what the window shows, the counters and the capture file; only the dead handle
// goes. Nobody is asked anything unless a send or a loop was cut short, which the user must know.
void PortController::onPortLost(unsigned opening, DWORD code) {
    if (losses.waiting() || !port.isOpen() || isEnding() || !losses.claimLoss(opening)) return;
    const bool sendingAtLoss = sends.running();
    const bool loopAtLoss = sends.loopSending();
    if (loopAtLoss) mainDialog->KillTimer(kLoopTimerId);
    sends.stop();
    const bool left = leaveDevice();
    sends.clearSending();
    const std::optional<SendProgress> cut = sends.cutByLoss(opening, sendingAtLoss);
    if (!left) {
        // A worker is stuck in the dead handle, which therefore stays: nothing can be opened in
        // its place. The port is closed as Close would.
        closeAcceptedPort();
        ShowMessage(portLostText(openedLine.portName, formatSystemError(code), cut ? &*cut : nullptr).c_str());
        return;
    }
    losses.startWaiting(code);
    monitorStop = 0;
    SetEvent(monitorEvent.get());  // the monitor tries the device again
    refreshDisplay();
    if (cut || loopAtLoss) {
        ShowMessage(waitingLossText(openedLine.portName, formatSystemError(code), cut ? &*cut : nullptr, loopAtLoss)
                        .c_str());
    }
}

bool PortController::onPortReturned() {
    // A close (or the exit) that came first ends the wait: the device is closed again by it.
    if (!losses.waiting() || monitorStop || isEnding()) return false;
    losses.endWaiting();
    losses.begin();
    sends.reset();
    senderStop = 0;
    refreshDisplay();
    return true;
}

void PortController::onReopenRefused(DWORD code) {
    if (!losses.waiting() || isEnding()) return;
    closeAcceptedPort();
    const std::string text =
        formatText("Error: Port(%s), ", openedLine.portName.c_str()) + formatSystemError(code);
    ShowMessage(text.c_str());
}

void PortController::onDeviceArrival() {
    if (losses.waiting()) SetEvent(arrivalEvent.get());
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

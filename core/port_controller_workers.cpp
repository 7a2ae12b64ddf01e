// PortController: the monitor and sender threads.
#include <algorithm>
#include <array>

#include "core/port_controller.h"
#include "core/port_failure_policy.h"
#include "core/port_notices.h"
#include "core/stopwatch.h"
#include "framework/message_box.h"
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
    std::array<char, kReadSize + 1> receiveBuffer{};
    for (;;) {
        waitForWork(monitorEvent.get(), monitorParked.get());
        // The flags are checked after the parked mark is cleared, so a closer that saw the mark
        // had already set its stop flag, which is seen here before the device is touched.
        if (losses.waiting()) {
            const WatchResult waited = awaitReturn();
            if (waited == WatchResult::Exit) return 0;
            if (waited == WatchResult::Sleep) continue;
        }
        if (watchPort(receiveBuffer.data()) == WatchResult::Exit) return 0;
    }
}

// While the port waits for its lost device: tries the same port with the same line settings at
// least every kReopenIntervalMs, and at once when the system says a port arrived. Watch: the device
// is back and the window knows it. Sleep: a close ended the wait, or the device will not work as
// it did (the window thread closes the port and says why).
PortController::WatchResult PortController::awaitReturn() {
    const HANDLE wakes[] = {monitorEvent.get(), arrivalEvent.get()};
    for (;;) {
        if (monitorExit) return WatchResult::Exit;
        if (monitorStop || !losses.waiting()) return WatchResult::Sleep;
        if (openDevice()) {
            bool returned = false;
            auto take = [&] { returned = onPortReturned(); };
            mainDialog->runOnWindowThread(take);
            if (!returned) return WatchResult::Sleep;  // the close under way closes it again
            returnedToWatch = true;
            return WatchResult::Watch;
        }
        const DWORD code = port.lastError();
        const bool opened = port.isOpen();
        if (opened) port.close();
        const PortFailurePolicy::Reopen reopen = PortFailurePolicy::afterReopen(code, opened);
        switch (reopen) {
        case PortFailurePolicy::Reopen::Refused:
            mainDialog->postToWindowThread([this, code] { onReopenRefused(code); });
            return WatchResult::Sleep;
        case PortFailurePolicy::Reopen::Held:
        case PortFailurePolicy::Reopen::Absent:
            if (losses.noteAttempt(code, reopen == PortFailurePolicy::Reopen::Held)) {
                mainDialog->postToWindowThread([this] { refreshStatusLine(); });
            }
            break;
        }
        // An event that woke the wait is reset (only then: a quiet wait costs no more calls); the
        // flags are looked at again before anything else, and a close sets its flag first.
        const DWORD woke = WaitForMultipleObjects(2, wakes, FALSE, kReopenIntervalMs);
        if (woke == WAIT_OBJECT_0 || woke == WAIT_OBJECT_0 + 1) ResetEvent(wakes[woke - WAIT_OBJECT_0]);
    }
}

PortController::WatchResult PortController::watchPort(char* receiveBuffer) {
    shownBoxes.fill(-1);
    // A device that returned shows its lines as they are now, not as they were at the loss.
    if (returnedToWatch) {
        returnedToWatch = false;
        setStatusBox(kCtsBox, port.isCtsOn());
        setStatusBox(kDsrBox, port.isDsrOn());
        setStatusBox(kRingBox, port.isRingOn());
        setStatusBox(kRlsdBox, port.isRlsdOn());
    }
    watchedOpening = losses.current();
    receivePace = ReceivePace::Quiet;
    failurePolicy.reset();
    pendingBytes = 0;
    const auto leave = [&](WatchResult result) {
        // Bytes read are shown, whatever ends the watch.
        handOverPending(receiveBuffer);
        return result;
    };
    for (;;) {
        if (monitorExit) return leave(WatchResult::Exit);
        if (monitorStop || !port.isOpen()) return leave(WatchResult::Sleep);
        // A quiet line is waited on, at most 100 ms (a time-out is a success without events), so
        // the lines are looked at every pass. While bytes stream in, the next look comes when the
        // queue is due to be read, and a flood is read on at once.
        DWORD limit = kEventWaitMs;
        if (receivePace == ReceivePace::Paced) {
            const std::int64_t due = lastRead + Stopwatch::ticksIn(readIntervalMs);
            const double wait = Stopwatch::secondsBetween(Stopwatch::now(), due);
            if (wait > 0) Sleep(static_cast<DWORD>(wait * 1000) + 1);
            limit = 0;
            // Reads that come more often than the lines need a look go straight to the queue.
            if (Stopwatch::secondsBetween(lastLook, Stopwatch::now()) * 1000 < kEventWaitMs) {
                if (!receiveQueued(receiveBuffer, 1)) return leave(WatchResult::Sleep);
                continue;
            }
        } else if (receivePace == ReceivePace::Thinning) {
            Sleep(kGatherMs);
            limit = 0;
        } else if (receivePace == ReceivePace::Flood) {
            limit = 0;
        }
        const std::int64_t passStart = Stopwatch::now();
        lastLook = passStart;
        if (!port.waitEvent(limit)) {
            if (!followPass(port.lastWaitEnd(), GetLastError(), passStart, kEventWaitMs)) {
                return leave(WatchResult::Sleep);
            }
            continue;
        }

        const DWORD events = port.takeEvents();
        const COMSTAT status = port.lastLineStatus();
        if (!monitorExit) updateStatusBoxes(events, status);
        noteLineErrors(port.takeLineErrors());

        if (!(events & EV_RXCHAR) && status.cbInQue == 0) {
            // Bytes read and not yet due to be shown wait for the hand-over's time, not for the
            // next byte: the pace holds on until then.
            if (pendingBytes > 0 && !handOverDue()) {
                lastRead = Stopwatch::now();
                continue;
            }
            handOverPending(receiveBuffer);
            receivePace = ReceivePace::Quiet;
            if (limit != 0 && !followPass(port.lastWaitEnd(), port.lastError(), passStart, limit)) {
                return leave(WatchResult::Sleep);
            }
            continue;
        }
        failurePolicy.afterPass(PassEnd::Byte, 0, 0, 0);
        // A byte the wait took is not in the driver's count.
        if (!receiveQueued(receiveBuffer, std::max<DWORD>(status.cbInQue, 1))) return leave(WatchResult::Sleep);
    }
}

// What follows a pass that brought no byte, as the failure policy says: false when the device is
// lost (reported) or a close is under way, after waiting out what the policy asks.
bool PortController::followPass(PassEnd end, DWORD code, std::int64_t passStart, DWORD limitMs) {
    // Our own cancel while the port closes or the program ends.
    if (end == PassEnd::Failed && (monitorStop || monitorExit)) return false;
    const double elapsedMs = Stopwatch::secondsBetween(passStart, Stopwatch::now()) * 1000;
    const PortFailurePolicy::Verdict verdict = failurePolicy.afterPass(end, code, elapsedMs, limitMs);
    if (verdict.lost) {
        reportPortLost(watchedOpening, verdict.code);
        return false;
    }
    if (verdict.clearErrors) {
        DWORD errors = 0;
        COMSTAT status{};
        ClearCommError(port.handle(), &errors, &status);
        noteLineErrors(errors);
    }
    if (verdict.waitMs > 0) Sleep(verdict.waitMs);
    return true;
}

void PortController::noteLineErrors(DWORD errors) {
    if ((errors & (CE_RXOVER | CE_OVERRUN)) == 0 || !losses.claimOverrun(watchedOpening)) return;
    postNotice(overrunText(g_settings.portName, errors));
}

// Reads what is queued and hands it over. The first bytes after a quiet spell wait kGatherMs for
// the ones right behind them (a device's reply shows in one piece); while bytes keep coming the
// queue is read every readIntervalMs (before it can run half full at the line's rate) and what was
// read is handed over about every kHandOverIntervalMs, as often as the receive box repaints, since
// handing over more often would show nothing sooner. A flood, which fills the buffer, is read on at
// once for up to a pass's worth of time: then the wait loop looks at the line state again. A read
// of a flood that comes out short means the window caught up with the device, not that the device
// slowed down: the next read comes after kGatherMs, and only a second short one paces the line.
// Pausing a whole interval there would leave a fast device blocked on a full line. The first read
// happens even when a close is under way: a byte the wait already took is shown, not dropped.
bool PortController::receiveQueued(char* receiveBuffer, DWORD queued) {
    if (receivePace == ReceivePace::Quiet && queued < kReadChunk && !monitorStop) Sleep(kGatherMs);
    const std::int64_t started = Stopwatch::now();
    for (;;) {
        DWORD count = 0;
        const std::int64_t readStart = Stopwatch::now();
        if (!port.read(receiveBuffer + pendingBytes, kReadSize - pendingBytes, &count)) {
            const DWORD code = GetLastError();
            handOverPending(receiveBuffer);
            const PassEnd end = port.lastWaitEnd() == PassEnd::Stuck ? PassEnd::Stuck : PassEnd::Failed;
            return followPass(end, code, readStart, kEventWaitMs);
        }
        lastRead = Stopwatch::now();
        pendingBytes += count;
        if (count == 0) {
            if (pendingBytes > 0 && !handOverDue() && !monitorStop) {
                receivePace = ReceivePace::Paced;
                return true;
            }
            handOverPending(receiveBuffer);
            receivePace = ReceivePace::Quiet;
            return true;
        }
        const bool full = pendingBytes == kReadSize;
        if (full || monitorStop || handOverDue()) handOverPending(receiveBuffer);
        if (full) {
            receivePace = ReceivePace::Flood;
        } else {
            receivePace = receivePace == ReceivePace::Flood ? ReceivePace::Thinning : ReceivePace::Paced;
            return true;
        }
        if (monitorStop) return true;
        if (Stopwatch::secondsBetween(started, Stopwatch::now()) * 1000 >= kEventWaitMs) return true;
    }
}

// Handed over at a read unless the next read still comes before the hand-over is due.
bool PortController::handOverDue() const {
    return Stopwatch::now() + Stopwatch::ticksIn(readIntervalMs) >=
           lastHandOver + Stopwatch::ticksIn(kHandOverIntervalMs);
}

void PortController::handOverPending(char* receiveBuffer) {
    if (pendingBytes == 0) return;
    receiveBuffer[pendingBytes] = 0;
    onReceive(receiveBuffer, pendingBytes);
    pendingBytes = 0;
    lastHandOver = Stopwatch::now();
}

void PortController::setStatusBox(int box, int state) {
    if (shownBoxes[box] == state) return;
    shownBoxes[box] = state;
    switch (box) {
    case kCtsHoldBox: statusDialog.SetCtsHold(state); break;
    case kDsrHoldBox: statusDialog.SetDsrHold(state); break;
    case kRlsdHoldBox: statusDialog.SetRlsdHold(state); break;
    case kXoffHoldBox: statusDialog.SetXoffHold(state); break;
    case kXoffSentBox: statusDialog.SetXoffSent(state); break;
    case kEofBox: statusDialog.SetEofReceived(state); break;
    case kCtsBox: statusDialog.SetCts(state); break;
    case kDsrBox: statusDialog.SetDsr(state); break;
    case kRingBox: statusDialog.SetRing(state); break;
    case kRlsdBox: statusDialog.SetRlsd(state); break;
    default: break;
    }
}

// Each box is a window of the window thread: only boxes whose value changed are written.
void PortController::updateStatusBoxes(DWORD events, const COMSTAT& status) {
    setStatusBox(kCtsHoldBox, status.fCtsHold);
    setStatusBox(kDsrHoldBox, status.fDsrHold);
    setStatusBox(kRlsdHoldBox, status.fRlsdHold);
    setStatusBox(kXoffHoldBox, status.fXoffHold);
    setStatusBox(kXoffSentBox, status.fXoffSent);
    setStatusBox(kEofBox, status.fEof);
    if (events & EV_CTS) setStatusBox(kCtsBox, port.isCtsOn());
    if (events & EV_DSR) setStatusBox(kDsrBox, port.isDsrOn());
    if (events & EV_RING) setStatusBox(kRingBox, port.isRingOn());
    if (events & EV_RLSD) setStatusBox(kRlsdBox, port.isRlsdOn());
}

DWORD WINAPI PortController::senderLoop(void* /*parameter*/) {
    const ParkedWhileWaiting parkedAtEnd(senderParked.get());
    for (;;) {
        waitForWork(sendEvent.get(), senderParked.get());
        if (senderExit) return 0;
        if (senderStop) {
            // What was asked of a port that is closing is not sent.
            sends.dropRequests();
            Sleep(100);
            continue;
        }
        if (sends.loopCopyBusy()) sendLoopCopy();
        switch (sends.takeRequest()) {
        case static_cast<int>(SendMode::Ascii):
            sendText();
            endBoxSend();
            break;
        case static_cast<int>(SendMode::Hex):
            sendHex();
            endBoxSend();
            break;
        case static_cast<int>(SendMode::File): sendFile(); break;
        default: break;
        }
    }
}

// A single send of the send box has ended: the window offers Send again.
void PortController::endBoxSend() {
    if (!sends.endBoxSend()) return;
    auto refresh = [this] {
        refreshSendButton();
        refreshLoopControls();
    };
    mainDialog->runOnWindowThread(refresh);
}

// The box may stay up for as long as the user likes; the sender is done with the device by then
// and goes back to its wait afterwards, so a Close need not wait for the box.
void PortController::showSenderMessage(const char* text) {
    SetEvent(senderParked.get());
    ShowMessage(text);
}

}  // namespace quenlet

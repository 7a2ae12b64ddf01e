#include "core/serial_port.h"

#include <algorithm>
#include <cstdio>

#include "core/control_block.h"
#include "core/line_timing.h"
#include "core/device_faults.h"
#include "core/port_failure_policy.h"
#include "settings/port_settings.h"

namespace quenlet {

namespace {

// How long a read of bytes already queued may take before it is cancelled, and how long a
// cancelled read may take to complete before we give up on its record.
constexpr DWORD kReadOverrunMs = 1000;
constexpr DWORD kWithdrawLimitMs = 2000;
// Line-status errors, as EV_ERR counts them.
constexpr DWORD kLineErrors = CE_FRAME | CE_OVERRUN | CE_RXPARITY;

static_assert(sizeof(DCB) == 28, "the device control block is 28 bytes on every target");

}  // namespace

SerialPort::SerialPort() = default;

SerialPort::~SerialPort() {
    close();
    // A read the driver still holds writes into its record whenever it ends: the memory goes to
    // the driver for good rather than back to the heap under it.
    CriticalSectionLock lock(waitLock);
    releaseFinishedReads();
    for (auto& read : abandonedReads) static_cast<void>(read.release());
}

bool SerialPort::succeed() {
    SetLastError(ERROR_SUCCESS);
    errorCode = 0;
    return true;
}

// The thread's last-error value says the same as errorCode: errorCode is shared by every thread
// that uses the device, the last-error value is the failing thread's own.
bool SerialPort::fail(DWORD code) {
    SetLastError(code);
    errorCode = code;
    return false;
}

bool SerialPort::openDevice(const char* path, int overlapped) {
    if (isOpen()) close();

    if (const InjectedAnswer injected = injectedAnswer(DeviceCall::Open); injected.kind == InjectedAnswer::Kind::Code) {
        deviceHandle = nullptr;
        return fail(injected.code);
    }
    const HANDLE opened = CreateFileA(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                      overlapped ? FILE_FLAG_OVERLAPPED : 0, nullptr);
    if (opened == INVALID_HANDLE_VALUE) {
        deviceHandle = nullptr;
        return fail(GetLastError());
    }
    deviceHandle = opened;
    overlappedMode = overlapped;

    COMMTIMEOUTS timeouts{};
    if (!GetCommTimeouts(deviceHandle, &timeouts)) return fail(GetLastError());
    // A read returns at once with what the driver has queued, possibly nothing; a write gives up
    // after a second (open adds the bytes' line time once it knows the rate). The wait changes the
    // read time-outs while it waits (see setReadTimeouts).
    timeouts.ReadIntervalTimeout = MAXDWORD;
    timeouts.ReadTotalTimeoutMultiplier = 0;
    timeouts.ReadTotalTimeoutConstant = 0;
    timeouts.WriteTotalTimeoutMultiplier = 0;
    timeouts.WriteTotalTimeoutConstant = kWriteLimitMs;
    if (!SetCommTimeouts(deviceHandle, &timeouts)) return fail(GetLastError());
    deviceTimeouts = timeouts;
    readTimeouts = ReadTimeouts::Immediate;
    {
        // Lines already on at open raise no event: only changes from here on do.
        CriticalSectionLock lock(waitLock);
        holdsByte = false;
        waitPending = false;
        lineStatus = COMSTAT{};
        lineErrors = 0;
        modemReference = 0;
        // A device without modem lines (a bare virtual port, a network bridge) refuses the query:
        // it is not asked again, and its lines read as off.
        modemLinesSupported = queryModemStatus(modemReference) ||
                              !PortFailurePolicy::lacksFeature(GetLastError());
    }
    return succeed();
}

bool SerialPort::open(const char* path, int baudRate, int dataBits, int parity, int stopBits,
                      int flowControl, int overlapped) {
    // Checked before any device access; errorCode keeps its previous value.
    if (!isSupportedBaudRate(baudRate)) return false;
    if (!openDevice(path, overlapped)) return false;

    DCB dcb{};
    dcb.DCBlength = sizeof(DCB);
    if (!GetCommState(deviceHandle, &dcb)) return fail(GetLastError());
    setLineParameters(dcb, baudRate, dataBits, parity, stopBits);
    if (const InjectedAnswer injected = injectedAnswer(DeviceCall::Configure);
        injected.kind == InjectedAnswer::Kind::Code) {
        return fail(injected.code);
    }
    if (!SetCommState(deviceHandle, &dcb)) return fail(GetLastError());

    if (!setFlowControl(static_cast<unsigned int>(flowControl))) return false;
    // A write may take its bytes' line time on top of the fixed limit: a slow line is not a held one.
    COMMTIMEOUTS timeouts = deviceTimeouts;
    timeouts.WriteTotalTimeoutMultiplier = writeMultiplierMs(LineFrame{baudRate, dataBits, parity, stopBits});
    if (!SetCommTimeouts(deviceHandle, &timeouts)) return fail(GetLastError());
    deviceTimeouts = timeouts;
    return succeed();
}

bool SerialPort::setFlowControl(unsigned int mode) {
    DCB dcb{};
    dcb.DCBlength = sizeof(DCB);
    if (!GetCommState(deviceHandle, &dcb)) return fail(GetLastError());
    // An unknown preset writes the block back as the driver reported it.
    setFlowPreset(dcb, mode);
    if (!SetCommState(deviceHandle, &dcb)) return fail(GetLastError());
    return succeed();
}

bool SerialPort::setQueueSizes(DWORD size) {
    if (!SetupComm(deviceHandle, size, size)) return fail(GetLastError());
    return succeed();
}

bool SerialPort::setEventMask(DWORD mask) {
    if (!SetCommMask(deviceHandle, mask)) {
        eventMask = 0;
        return fail(GetLastError());
    }
    eventMask = mask;
    return succeed();
}

bool SerialPort::read(void* buffer, DWORD size, DWORD* count) {
    *count = 0;
    char* const bytes = static_cast<char*>(buffer);
    CriticalSectionLock waitGuard(waitLock);
    // A wait read still under way may have taken the oldest byte: it is settled first, so that
    // nothing read now can overtake that byte.
    const bool settled = settleWaitRead();
    DWORD taken = 0;
    if (holdsByte && size > 0) {
        bytes[0] = waitRead->byte;
        holdsByte = false;
        taken = 1;
    }
    if (!settled) {
        *count = taken;
        return taken > 0 ? succeed() : false;
    }
    // Ask only for what the driver has queued, so that the read never waits. A driver that cannot
    // tell is asked for the whole buffer: the read's time-outs still make it return at once.
    DWORD errors = 0;
    COMSTAT status{};
    DWORD wanted = size - taken;
    if (ClearCommError(deviceHandle, &errors, &status)) {
        lineErrors |= errors;
        wanted = std::min(wanted, status.cbInQue);
    } else if (const DWORD error = GetLastError(); !PortFailurePolicy::lacksFeature(error)) {
        *count = taken;
        return taken > 0 ? succeed() : fail(error);
    }
    if (wanted == 0) {
        *count = taken;
        return succeed();
    }

    DWORD got = 0;
    bool done = false;
    if (!overlappedMode) {
        done = ReadFile(deviceHandle, bytes + taken, wanted, &got, nullptr) || fail(GetLastError());
    } else if (setReadTimeouts(ReadTimeouts::Immediate)) {
        // ReadFile and WriteFile clear the record's event themselves before they start.
        CriticalSectionLock lock(readLock);
        done = finishTransfer(ReadFile(deviceHandle, bytes + taken, wanted, &got, readOverlapped.get()),
                              readOverlapped, &got, kReadOverrunMs);
    }
    *count = taken + got;
    // Bytes that reached the buffer are delivered, whatever ended the read.
    return done || *count > 0 ? succeed() : false;
}

// limitMs bounds a transfer that should not wait at all (a read of what is queued): past it the
// transfer is cancelled and ends with what it moved.
bool SerialPort::finishTransfer(BOOL completed, OverlappedRecord& record, DWORD* count, DWORD limitMs) {
    if (completed) return succeed();
    const DWORD error = GetLastError();
    if (error != ERROR_IO_PENDING) return fail(error);
    if (WaitForSingleObject(record.event(), limitMs) != WAIT_OBJECT_0) {
        CancelIoEx(deviceHandle, record.get());
        if (WaitForSingleObject(record.event(), INFINITE) != WAIT_OBJECT_0) return fail(GetLastError());
    }
    // A failed or cancelled transfer may still have moved bytes; the count says how many.
    if (!GetOverlappedResult(deviceHandle, record.get(), count, FALSE)) {
        const DWORD resultError = GetLastError();
        ResetEvent(record.event());
        return fail(resultError);
    }
    return succeed();
}

bool SerialPort::write(const void* buffer, DWORD size, DWORD* count) {
    *count = 0;
    if (const InjectedAnswer injected = injectedAnswer(DeviceCall::Write); injected.kind == InjectedAnswer::Kind::Code) {
        return fail(injected.code);
    }
    if (!overlappedMode) {
        if (!WriteFile(deviceHandle, buffer, size, count, nullptr)) return fail(GetLastError());
        return succeed();
    }

    CriticalSectionLock lock(writeLock);
    return finishTransfer(WriteFile(deviceHandle, buffer, size, count, writeOverlapped.get()), writeOverlapped, count,
                          INFINITE);
}

bool SerialPort::waitEvent(DWORD limitMs) {
    if (!overlappedMode) return blockingWaitEvent();

    CriticalSectionLock lock(waitLock);
    pendingEvents = 0;
    waitEnd = PassEnd::Quiet;
    DWORD events = 0;
    // A wait read still pending was issued after the last look at the line, and ends as soon as a
    // byte comes: the line is looked at again after this wait, not before it.
    const bool lookFirst = !(waitPending && limitMs != 0 && (eventMask & EV_RXCHAR));
    if (lookFirst && !pollLineState(events)) return waitFailed();
    if (events == 0 && limitMs != 0) {
        if (eventMask & EV_RXCHAR) {
            if (!waitForByte(limitMs)) return waitFailed();
        } else {
            Sleep(limitMs);  // nothing to wait on but the line state itself
        }
        if (!pollLineState(events)) return waitFailed();
    }
    pendingEvents = events;
    if (events != 0) {
        waitEnd = PassEnd::Byte;
        return succeed();
    }
    if (waitEnd == PassEnd::Empty) return true;  // with the code the read completed with
    SetLastError(ERROR_SUCCESS);
    errorCode = ERROR_TIMEOUT;
    return true;
}

// Called with waitLock held: a failed wait keeps its code (a withdrawn read's Stuck stays).
bool SerialPort::waitFailed() {
    if (waitEnd != PassEnd::Stuck) waitEnd = PassEnd::Failed;
    return false;
}

bool SerialPort::queryModemStatus(DWORD& lines) {
    if (const InjectedAnswer injected = injectedAnswer(DeviceCall::ModemStatus);
        injected.kind == InjectedAnswer::Kind::Code) {
        SetLastError(injected.code);
        return false;
    }
    return GetCommModemStatus(deviceHandle, &lines) != FALSE;
}

// Without overlapped I/O the wait cannot be limited: it blocks until the driver reports an event.
bool SerialPort::blockingWaitEvent() {
    if (!WaitCommEvent(deviceHandle, &pendingEvents, nullptr)) return fail(GetLastError());
    return succeed();
}

// Called with waitLock held.
bool SerialPort::pollLineState(DWORD& events) {
    // What the device does not support reads as nothing there: no status, no lines on.
    DWORD errors = 0;
    COMSTAT status{};
    if (!ClearCommError(deviceHandle, &errors, &status)) {
        const DWORD error = GetLastError();
        if (!PortFailurePolicy::lacksFeature(error)) return fail(error);
        errors = 0;
        status = COMSTAT{};
    }
    lineErrors |= errors;
    DWORD lines = 0;
    if (modemLinesSupported && !queryModemStatus(lines)) {
        const DWORD error = GetLastError();
        if (!PortFailurePolicy::lacksFeature(error)) return fail(error);
        modemLinesSupported = false;
        lines = 0;
    }

    lineStatus = status;
    DWORD found = 0;
    if (holdsByte || status.cbInQue > 0) found |= EV_RXCHAR;
    const DWORD changed = lines ^ modemReference;
    modemReference = lines;
    if (changed & MS_CTS_ON) found |= EV_CTS;
    if (changed & MS_DSR_ON) found |= EV_DSR;
    if (changed & MS_RING_ON) found |= EV_RING;
    if (changed & MS_RLSD_ON) found |= EV_RLSD;
    if (errors & CE_BREAK) found |= EV_BREAK;
    if (errors & kLineErrors) found |= EV_ERR;
    events = found & eventMask;
    return true;
}

// Called with waitLock held. The wait's read waits for its byte however long (all read
// time-outs 0); a read of what is queued returns at once (interval MAXDWORD, totals 0). Both mean
// the same on every serial layer; the device keeps the last ones set, so a stream of reads
// changes nothing.
bool SerialPort::setReadTimeouts(ReadTimeouts wanted) {
    if (wanted == readTimeouts) return true;
    COMMTIMEOUTS timeouts = deviceTimeouts;
    timeouts.ReadIntervalTimeout = wanted == ReadTimeouts::Immediate ? MAXDWORD : 0;
    timeouts.ReadTotalTimeoutMultiplier = 0;
    timeouts.ReadTotalTimeoutConstant = 0;
    if (!SetCommTimeouts(deviceHandle, &timeouts)) return fail(GetLastError());
    readTimeouts = wanted;
    return true;
}

// Called with waitLock held and no byte held. The one-byte read is issued once and stays pending
// across waits that time out: a quiet line then costs one wait on its event per pass, not a read
// started and ended every time. A read that ends without its byte is reported as it ended (empty,
// or failed with its code): what that means is for the caller to decide.
bool SerialPort::waitForByte(DWORD limitMs) {
    releaseFinishedReads();
    // A pending read that has completed is finished by the wait below at once (or, for a test's
    // answer, by the withdrawal): no extra look at its event, which costs a wineserver request.
    if (const InjectedAnswer injected = injectedAnswer(DeviceCall::WaitRead);
        injected.kind != InjectedAnswer::Kind::None) {
        // A test's answer stands in for the read's own: the real read is withdrawn first, and a
        // byte it took meanwhile wins.
        if (!settleWaitRead()) return false;
        if (holdsByte) return succeed();
        switch (injected.kind) {
        case InjectedAnswer::Kind::Code: return fail(injected.code);
        case InjectedAnswer::Kind::Empty:
            waitEnd = PassEnd::Empty;
            return succeed();
        default:
            // A read the device holds on to: pending, and deaf to a cancel (nothing was issued).
            ResetEvent(waitRead->record.event());
            waitPending = true;
            break;
        }
    }
    if (!waitPending) {
        if (!setReadTimeouts(ReadTimeouts::Blocking)) return false;
        DWORD got = 0;
        if (ReadFile(deviceHandle, &waitRead->byte, 1, &got, waitRead->record.get())) {
            holdsByte = got > 0;
            if (!holdsByte) waitEnd = PassEnd::Empty;
            return succeed();
        }
        if (const DWORD error = GetLastError(); error != ERROR_IO_PENDING) return fail(error);
        waitPending = true;
    }
    switch (WaitForSingleObject(waitRead->record.event(), limitMs)) {
    case WAIT_OBJECT_0: return finishWaitRead(false);
    case WAIT_TIMEOUT: return true;  // still waiting; the read goes on into the next wait
    default: return fail(GetLastError());
    }
}

// Called with waitLock held and the wait read's event set. withdrawn: the read ended because it
// was cancelled here, which ends it with ERROR_OPERATION_ABORTED and is no failure.
bool SerialPort::finishWaitRead(bool withdrawn) {
    waitPending = false;
    DWORD got = 0;
    if (!GetOverlappedResult(deviceHandle, waitRead->record.get(), &got, FALSE)) {
        const DWORD error = GetLastError();
        if (got == 0 && !(withdrawn && error == ERROR_OPERATION_ABORTED)) return fail(error);
    }
    holdsByte = got > 0;
    if (!holdsByte && !withdrawn) waitEnd = PassEnd::Empty;
    return true;
}

// Called with waitLock held: ends a wait read still under way, keeping the byte it may have taken.
bool SerialPort::settleWaitRead() {
    if (!waitPending) return true;
    if (WaitForSingleObject(waitRead->record.event(), 0) == WAIT_OBJECT_0) return finishWaitRead(false);
    CancelIoEx(deviceHandle, waitRead->record.get());
    if (WaitForSingleObject(waitRead->record.event(), kWithdrawLimitMs) != WAIT_OBJECT_0) {
        // The driver keeps the read and may still write into it: it keeps its record and byte, and
        // the next wait gets new ones. The withdrawal waited in vain.
        abandonedReads.push_back(std::move(waitRead));
        waitRead = std::make_unique<WaitRead>();
        waitPending = false;
        waitEnd = PassEnd::Stuck;
        return fail(WAIT_TIMEOUT);
    }
    return finishWaitRead(true);
}

// Called with waitLock held.
void SerialPort::releaseFinishedReads() {
    for (auto read = abandonedReads.begin(); read != abandonedReads.end();) {
        if (HasOverlappedIoCompleted((*read)->record.get())) {
            read = abandonedReads.erase(read);
        } else {
            ++read;
        }
    }
}

DWORD SerialPort::takeLineErrors() {
    CriticalSectionLock lock(waitLock);
    const DWORD errors = lineErrors;
    lineErrors = 0;
    return errors;
}

DWORD SerialPort::inputQueueSize() {
    COMMPROP properties{};
    properties.wPacketLength = sizeof properties;
    if (!GetCommProperties(deviceHandle, &properties)) return 0;
    return properties.dwCurrentRxQueue;
}

void SerialPort::cancelWrite() {
    if (isOpen()) CancelIoEx(deviceHandle, writeOverlapped.get());
}

DWORD SerialPort::takeEvents() {
    const DWORD events = eventMask & pendingEvents;
    pendingEvents = 0;
    return events;
}

int SerialPort::modemLine(DWORD bit) {
    SetLastError(ERROR_SUCCESS);
    errorCode = 0;
    DWORD status = 0;
    if (!queryModemStatus(status)) {
        errorCode = GetLastError();
        return 0;
    }
    return (status & bit) ? 1 : 0;
}

int SerialPort::isCtsOn() { return modemLine(MS_CTS_ON); }
int SerialPort::isDsrOn() { return modemLine(MS_DSR_ON); }
int SerialPort::isRingOn() { return modemLine(MS_RING_ON); }
int SerialPort::isRlsdOn() { return modemLine(MS_RLSD_ON); }

bool SerialPort::close() {
    if (!isOpen()) return true;
    {
        // The wait's read must be over before its record can serve the next opening.
        CriticalSectionLock lock(waitLock);
        settleWaitRead();
    }
    if (!CloseHandle(deviceHandle)) return fail(GetLastError());
    deviceHandle = nullptr;
    {
        CriticalSectionLock lock(waitLock);
        holdsByte = false;  // like the driver's queue, a byte not yet read goes with the device
        releaseFinishedReads();  // closing the device ends the reads it still held
    }
    return succeed();
}

bool SerialPort::portExists(int number) {
    char path[12];
    std::snprintf(path, sizeof path, "\\\\.\\COM%d", number);
    const HANDLE probe =
        CreateFileA(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    bool exists = false;
    if (probe != INVALID_HANDLE_VALUE) {
        CloseHandle(probe);
        exists = true;
    } else {
        exists = GetLastError() == ERROR_ACCESS_DENIED;  // held by another program
    }
    SetLastError(ERROR_SUCCESS);
    return exists;
}

}  // namespace quenlet

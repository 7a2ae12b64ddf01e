#include "core/serial_port.h"

#include <algorithm>
#include <cstdio>

#include "settings/port_settings.h"

namespace quenlet {

namespace {

constexpr DWORD kWriteTimeoutMs = 1000;
// How long a withdrawn event wait may take to complete before we give up on the record.
constexpr DWORD kWithdrawLimitMs = 2000;

static_assert(sizeof(DCB) == 28, "the device control block is 28 bytes on every target");

}  // namespace

SerialPort::SerialPort() = default;

SerialPort::~SerialPort() { close(); }

bool SerialPort::succeed() {
    SetLastError(ERROR_SUCCESS);
    errorCode = 0;
    return true;
}

bool SerialPort::fail(DWORD code) {
    errorCode = code;
    return false;
}

bool SerialPort::openDevice(const char* path, int overlapped) {
    if (isOpen()) close();

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
    // Reads return at once with whatever is queued; a write gives up after a second.
    timeouts.ReadIntervalTimeout = MAXDWORD;
    timeouts.ReadTotalTimeoutMultiplier = 0;
    timeouts.ReadTotalTimeoutConstant = 0;
    timeouts.WriteTotalTimeoutMultiplier = 0;
    timeouts.WriteTotalTimeoutConstant = kWriteTimeoutMs;
    if (!SetCommTimeouts(deviceHandle, &timeouts)) return fail(GetLastError());
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
    dcb.BaudRate = static_cast<DWORD>(baudRate);
    dcb.ByteSize = static_cast<BYTE>(dataBits);
    dcb.Parity = static_cast<BYTE>(parity);
    dcb.StopBits = static_cast<BYTE>(stopBits);
    if (!SetCommState(deviceHandle, &dcb)) return fail(GetLastError());

    if (!setFlowControl(static_cast<unsigned int>(flowControl))) return false;
    return succeed();
}

bool SerialPort::setFlowControl(unsigned int mode) {
    DCB dcb{};
    dcb.DCBlength = sizeof(DCB);
    if (!GetCommState(deviceHandle, &dcb)) return fail(GetLastError());

    switch (static_cast<FlowControl>(mode)) {
    case FlowControl::None:
        dcb.fOutxCtsFlow = 0;
        dcb.fOutxDsrFlow = 0;
        dcb.fDtrControl = DTR_CONTROL_DISABLE;
        dcb.fRtsControl = RTS_CONTROL_DISABLE;
        dcb.fOutX = 0;
        dcb.fInX = 0;
        break;
    case FlowControl::XonXoff:
        dcb.fOutxCtsFlow = 0;
        dcb.fOutxDsrFlow = 0;
        dcb.fDtrControl = DTR_CONTROL_DISABLE;
        dcb.fRtsControl = RTS_CONTROL_DISABLE;
        dcb.fOutX = 1;
        dcb.fInX = 1;
        dcb.XonChar = 0x11;
        dcb.XoffChar = 0x13;
        dcb.XonLim = 100;
        dcb.XoffLim = 100;
        break;
    case FlowControl::RtsCts:
        dcb.fOutxCtsFlow = 1;
        dcb.fOutxDsrFlow = 0;
        dcb.fDtrControl = DTR_CONTROL_ENABLE;
        dcb.fRtsControl = RTS_CONTROL_HANDSHAKE;
        dcb.fOutX = 0;
        dcb.fInX = 0;
        break;
    case FlowControl::DtrDsr:
        dcb.fOutxCtsFlow = 0;
        dcb.fOutxDsrFlow = 1;
        dcb.fDtrControl = DTR_CONTROL_HANDSHAKE;
        dcb.fRtsControl = RTS_CONTROL_ENABLE;
        dcb.fOutX = 0;
        dcb.fInX = 0;
        break;
    default:
        // Unknown preset: the block goes back as the driver reported it.
        break;
    }
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
    // Ask only for what the driver has queued. With our timeouts Windows returns an empty read at
    // once, but Wine leaves a read of an empty queue pending, which would stall the monitor.
    DWORD errors = 0;
    COMSTAT status{};
    if (!ClearCommError(deviceHandle, &errors, &status)) return fail(GetLastError());
    const DWORD wanted = std::min(size, status.cbInQue);
    if (wanted == 0) return succeed();

    if (!overlappedMode) {
        if (!ReadFile(deviceHandle, buffer, wanted, count, nullptr)) return fail(GetLastError());
        return succeed();
    }

    CriticalSectionLock lock(readLock);
    ResetEvent(readOverlapped.event());
    return finishTransfer(ReadFile(deviceHandle, buffer, wanted, count, readOverlapped.get()), readOverlapped, count);
}

bool SerialPort::finishTransfer(BOOL completed, OverlappedRecord& record, DWORD* count) {
    if (completed) return succeed();
    const DWORD error = GetLastError();
    if (error != ERROR_IO_PENDING) return fail(error);
    if (WaitForSingleObject(record.event(), INFINITE) != WAIT_OBJECT_0) return fail(GetLastError());
    if (!GetOverlappedResult(deviceHandle, record.get(), count, FALSE)) {
        const DWORD resultError = GetLastError();
        ResetEvent(record.event());
        return fail(resultError);
    }
    return succeed();
}

bool SerialPort::write(const void* buffer, DWORD size, DWORD* count) {
    *count = 0;
    if (!overlappedMode) {
        if (!WriteFile(deviceHandle, buffer, size, count, nullptr)) return fail(GetLastError());
        return succeed();
    }

    CriticalSectionLock lock(writeLock);
    ResetEvent(writeOverlapped.event());
    return finishTransfer(WriteFile(deviceHandle, buffer, size, count, writeOverlapped.get()), writeOverlapped, count);
}

bool SerialPort::waitEvent(DWORD limitMs) {
    if (!overlappedMode) {
        if (!WaitCommEvent(deviceHandle, &pendingEvents, nullptr)) return fail(GetLastError());
        return succeed();
    }

    CriticalSectionLock lock(waitLock);
    ResetEvent(waitOverlapped.event());
    if (WaitCommEvent(deviceHandle, &pendingEvents, waitOverlapped.get())) return succeed();
    const DWORD error = GetLastError();
    if (error != ERROR_IO_PENDING) return fail(error);

    switch (WaitForSingleObject(waitOverlapped.event(), limitMs)) {
    case WAIT_OBJECT_0:
        return succeed();  // the driver has written the event bits
    case WAIT_TIMEOUT:
        return withdrawTimedOutWait();
    default:
        return fail(GetLastError());
    }
}

// Called with waitLock held. CancelIo is the obvious way to withdraw the pending wait, but Wine
// never completes a cancelled WaitCommEvent and then rejects the next one. Setting the mask again
// completes a pending wait on Windows and Wine alike (it returns with no events), after which the
// record is free for the next wait.
bool SerialPort::withdrawTimedOutWait() {
    SetCommMask(deviceHandle, eventMask);
    if (WaitForSingleObject(waitOverlapped.event(), kWithdrawLimitMs) != WAIT_OBJECT_0) {
        CancelIo(deviceHandle);
        if (WaitForSingleObject(waitOverlapped.event(), kWithdrawLimitMs) != WAIT_OBJECT_0) {
            SetLastError(ERROR_OPERATION_ABORTED);
            return fail(ERROR_OPERATION_ABORTED);
        }
    }
    DWORD unused = 0;
    GetOverlappedResult(deviceHandle, waitOverlapped.get(), &unused, FALSE);
    // Events that landed between the time-out and the withdrawal are kept, not lost.
    if (pendingEvents != 0) return succeed();
    SetLastError(ERROR_SUCCESS);
    errorCode = ERROR_TIMEOUT;
    return true;
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
    if (!GetCommModemStatus(deviceHandle, &status)) {
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
    if (!CloseHandle(deviceHandle)) return fail(GetLastError());
    deviceHandle = nullptr;
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

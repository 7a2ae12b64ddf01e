// One serial device: open by path with line parameters and a flow-control preset, then overlapped
// reads, writes and comm-event waits, each kind behind its own lock so that one thread can wait and
// read while another writes. Every operation reports success and keeps the last error code; a
// failed one also leaves the code as the calling thread's last-error value, which no other
// thread's call can overwrite.
//
// The event wait does not keep a WaitCommEvent pending: some serial layers (Wine's among them) run
// every pending one as a thread that polls the line about every millisecond, which costs a tenth
// of a core on an idle port. Instead a one-byte read is the wait, and the events are worked out
// from the line state around it: EV_RXCHAR while bytes are there, the modem line events when a
// line changed since the last wait, EV_BREAK and EV_ERR from the driver's error flags. The read
// stays pending from one wait to the next while the line is quiet, so a quiet pass costs one wait
// on its event. The byte it takes is kept and handed out first by the next read. Waits and reads
// therefore belong together: the read takes the wait's lock, and settles a pending wait read
// before it reads, so nothing overtakes that byte.
#pragma once

#include <windows.h>

#include <memory>
#include <vector>

#include "core/port_failure_policy.h"
#include "framework/handles.h"

namespace quenlet {

// An OVERLAPPED record with its own manual-reset event, created once for the object's life.
class OverlappedRecord {
public:
    // The record names its event with the low bit set, which tells the system not to queue the
    // transfer's completion to an I/O completion port: none is used, and the notice would cost a
    // call into the system per transfer on some systems.
    OverlappedRecord() : event_(makeManualResetEvent()) {
        record_.hEvent = reinterpret_cast<HANDLE>(reinterpret_cast<ULONG_PTR>(event_.get()) | 1);
    }
    OverlappedRecord(const OverlappedRecord&) = delete;
    OverlappedRecord& operator=(const OverlappedRecord&) = delete;

    OVERLAPPED* get() { return &record_; }
    HANDLE event() const { return event_.get(); }

private:
    UniqueHandle event_;
    OVERLAPPED record_{};
};

class SerialPort {
public:
    SerialPort();
    virtual ~SerialPort();
    SerialPort(const SerialPort&) = delete;
    SerialPort& operator=(const SerialPort&) = delete;

    bool openDevice(const char* path, int overlapped);
    // parity, stopBits and flowControl take the numbers of Parity, StopBits and FlowControl.
    bool open(const char* path, int baudRate, int dataBits, int parity, int stopBits, int flowControl,
              int overlapped);
    bool setFlowControl(unsigned int mode);
    bool setQueueSizes(DWORD size);
    bool setEventMask(DWORD mask);

    // What the driver has queued, at once (possibly nothing). A read that fails or is cancelled
    // after bytes reached the buffer still delivers them and succeeds.
    bool read(void* buffer, DWORD size, DWORD* count);
    bool write(const void* buffer, DWORD size, DWORD* count);
    // Returns when an event of the mask is there or the limit passed (INFINITE waits for one). A
    // wait that times out is a success with no events and lastError() ERROR_TIMEOUT, whatever code
    // the driver ended its time-out with. How the wait ended, and the code it ended with, are
    // reported as the device gave them (lastWaitEnd): a wait read that completed early without a
    // byte is Empty (a success without events), one that failed is Failed with its code; what that
    // means is the failure policy's to say.
    bool waitEvent(DWORD limitMs);
    // How the last wait (or the withdrawal of its read by a read) ended: Byte, Quiet, Empty,
    // Failed, or Stuck for a wait read the device would not give back (the read then fails with
    // WAIT_TIMEOUT). Call on the thread that waits.
    PassEnd lastWaitEnd() const { return waitEnd; }
    // The events of the last wait that are in the mask; clears them.
    DWORD takeEvents();
    // The driver's status as the last wait saw it (queue sizes, hold flags). Call on the thread
    // that waits.
    COMSTAT lastLineStatus() const { return lineStatus; }
    // The driver's error flags (CE_...) that the waits and reads found since the last call.
    DWORD takeLineErrors();
    // The input queue the driver keeps, in bytes; 0 where it does not say.
    DWORD inputQueueSize();
    // Ends a write under way on another thread at once; what it moved so far stays counted.
    void cancelWrite();

    int isCtsOn();
    int isDsrOn();
    int isRingOn();
    int isRlsdOn();

    DWORD lastError() const { return errorCode; }
    HANDLE handle() const { return deviceHandle; }
    bool isOpen() const { return deviceHandle != nullptr && deviceHandle != INVALID_HANDLE_VALUE; }
    bool close();

    // True when \\.\COM<number> opens, or exists but another program holds it.
    static bool portExists(int number);

private:
    bool succeed();
    bool fail(DWORD code);
    // The end of an overlapped ReadFile or WriteFile: waits for a pending one and takes its count.
    bool finishTransfer(BOOL completed, OverlappedRecord& record, DWORD* count, DWORD limitMs);
    int modemLine(DWORD bit);
    bool queryModemStatus(DWORD& lines);
    bool waitFailed();
    // The events of the mask the line shows now; updates the modem-line reference.
    bool pollLineState(DWORD& events);
    // Waits up to limitMs for one byte and keeps it; no byte in time is a success too.
    bool waitForByte(DWORD limitMs);
    bool finishWaitRead(bool withdrawn);
    bool settleWaitRead();
    // Frees the records of abandoned wait reads that the driver has finished with.
    void releaseFinishedReads();
    enum class ReadTimeouts { Immediate, Blocking };
    bool setReadTimeouts(ReadTimeouts wanted);
    bool blockingWaitEvent();

    HANDLE deviceHandle = nullptr;
    DWORD errorCode = 0;
    int overlappedMode = 0;
    DWORD eventMask = 0;
    DWORD pendingEvents = 0;
    OverlappedRecord readOverlapped;
    OverlappedRecord writeOverlapped;
    CriticalSection readLock;
    CriticalSection writeLock;
    CriticalSection waitLock;

    // The record of the wait's one-byte read and the byte it reads into. The driver owns both
    // while the read runs, so a read that cannot be withdrawn takes them along into
    // abandonedReads, where they stay until the driver is done with them (guarded by waitLock).
    struct WaitRead {
        OverlappedRecord record;
        char byte = 0;
    };
    std::unique_ptr<WaitRead> waitRead = std::make_unique<WaitRead>();
    std::vector<std::unique_ptr<WaitRead>> abandonedReads;
    // The wait's byte arrived and was not read yet (guarded by waitLock).
    bool holdsByte = false;
    // The modem lines as the last wait saw them (guarded by waitLock).
    DWORD modemReference = 0;
    // The device answers modem-line queries (guarded by waitLock).
    bool modemLinesSupported = true;
    // Error flags found since takeLineErrors (guarded by waitLock).
    DWORD lineErrors = 0;
    bool waitPending = false;  // the wait read is under way (guarded by waitLock)
    PassEnd waitEnd = PassEnd::Quiet;  // guarded by waitLock
    COMSTAT lineStatus{};      // what the last wait saw (guarded by waitLock)
    // The time-outs set at open, and which read time-outs the device has now.
    COMMTIMEOUTS deviceTimeouts{};
    ReadTimeouts readTimeouts = ReadTimeouts::Immediate;
};

}  // namespace quenlet

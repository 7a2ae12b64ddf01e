// The one place that reads the failure codes of the serial device and decides what follows. The
// device reports what happened (SerialPort keeps the codes as the system gave them); its users ask
// here what it means:
// - a passing event (a time-out, an aborted transfer): the device is still there, and the caller
//   goes on, after waiting out the rest of a pass, so that a device failing that way at once cannot
//   keep a thread spinning;
// - a request the device does not support (a port without modem lines): it lacks that feature, and
//   is still there;
// - anything else: the device is gone.
// A pass of the monitor's wait that ends early without a byte counts as a passing failure; a long
// run of those in a row, or a wait read the device will not give back, is a device that no longer
// works.
#pragma once

#include <windows.h>

namespace quenlet {

enum class FailureKind { Passing, Unsupported, Lost };
FailureKind classifyFailure(DWORD code);

// How a pass of the monitor's wait ended, as the device reported it.
enum class PassEnd {
    Byte,    // a byte or an event came
    Quiet,   // the wait used its limit and nothing came
    Empty,   // the wait read completed before its limit without a byte
    Failed,  // the wait or a read failed with a code
    Stuck,   // a wait read the device would not give back when it was withdrawn
};

class PortFailurePolicy {
public:
    static constexpr int kEmptyPassLimit = 50;
    // What is told for a device that answers without working (a run of empty passes, a read it
    // keeps): "A device attached to the system is not functioning."
    static constexpr DWORD kNotWorkingCode = ERROR_GEN_FAILURE;

    struct Verdict {
        bool lost = false;
        DWORD code = 0;            // when lost: the code the user is told
        DWORD waitMs = 0;          // otherwise: how long to wait before the next pass
        bool clearErrors = false;  // clear the driver's error state first (a line error may have
                                   // aborted the transfer)
    };

    // The monitor, after each pass: how it ended (with code when it failed), and how long it took
    // of its limit. Passes with a byte end a run of empty ones.
    Verdict afterPass(PassEnd end, DWORD code, double elapsedMs, DWORD limitMs);
    // A new opening starts with no run.
    void reset() { emptyInARow_ = 0; }

    // A send's write that ended (ok, or failed with code) having taken written bytes, before the
    // last one: whether the device is gone, else how long to wait before writing on (a device that
    // took nothing without waiting out its time-out is asked again after a pause, not at once).
    struct WriteVerdict {
        bool lost = false;
        DWORD waitMs = 0;
    };
    static WriteVerdict afterShortWrite(bool ok, DWORD code, DWORD written);
    // A query the device refused with code: true when it only lacks what was asked.
    static bool lacksFeature(DWORD code) { return classifyFailure(code) == FailureKind::Unsupported; }

    // A lost port tried again while the program waits for its device to return. deviceOpened: the
    // device opened, but then failed (refused the line settings).
    enum class Reopen {
        Absent,   // not there (yet): wait on
        Held,     // another program holds it: wait on, and say so
        Refused,  // there, but it will not work as it did: the wait ends, with the open's message
    };
    static Reopen afterReopen(DWORD code, bool deviceOpened);

private:
    int emptyInARow_ = 0;
};

}  // namespace quenlet

// How a failed call on the serial device is to be taken: as a passing event after which the
// device is still there, or as the device being gone.
#pragma once

#include <windows.h>

namespace quenlet {

// True for the endings that leave the device usable: a time-out (ERROR_TIMEOUT and the other
// time-out codes drivers give), and an aborted transfer (our own cancel, or a line error on a
// device that aborts I/O on errors). Anything else (ERROR_BAD_COMMAND, ERROR_ACCESS_DENIED,
// ERROR_GEN_FAILURE, ERROR_DEVICE_REMOVED, ERROR_INVALID_HANDLE...) means the device is gone.
bool isTransientPortError(DWORD code);

// True for the answers of a device to a request it does not support (a port without modem lines,
// say): the device lacks that feature, and is still there.
bool isUnsupportedRequest(DWORD code);

// The passes of the monitor's wait that end early without a byte (a wait read that completes at
// once, empty or with a transient code). Each waits out the rest of its limit, so that a device
// answering that way cannot keep the monitor spinning; a long run of them in a row means a device
// that no longer works.
class EmptyPassCounter {
public:
    static constexpr int kLimit = 50;
    static constexpr DWORD kLost = MAXDWORD;
    // After a pass without a byte that took elapsedMs of its limitMs: the milliseconds to wait out
    // (0 for an ordinary pass that used its limit, which also ends a run), or kLost.
    DWORD record(double elapsedMs, DWORD limitMs);
    void reset() { inARow_ = 0; }

private:
    int inARow_ = 0;
};

}  // namespace quenlet

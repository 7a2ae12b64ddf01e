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

}  // namespace quenlet

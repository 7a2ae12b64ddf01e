#include "core/port_errors.h"

namespace quenlet {

bool isTransientPortError(DWORD code) {
    switch (code) {
    case ERROR_TIMEOUT:
    case ERROR_SEM_TIMEOUT:
    case WAIT_TIMEOUT:
    case ERROR_COUNTER_TIMEOUT:
    case ERROR_OPERATION_ABORTED:
        return true;
    default:
        return false;
    }
}

bool isUnsupportedRequest(DWORD code) {
    switch (code) {
    case ERROR_NOT_SUPPORTED:
    case ERROR_INVALID_FUNCTION:
    case ERROR_INVALID_PARAMETER:
        return true;
    default:
        return false;
    }
}

DWORD EmptyPassCounter::record(double elapsedMs, DWORD limitMs) {
    // A quiet pass ends on its time-out, which the system may round down a little.
    if (elapsedMs >= limitMs * 3 / 4.0) {
        inARow_ = 0;
        return 0;
    }
    if (++inARow_ >= kLimit) return kLost;
    return static_cast<DWORD>(limitMs - elapsedMs);
}

}  // namespace quenlet

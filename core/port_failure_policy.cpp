#include "core/port_failure_policy.h"

namespace quenlet {

FailureKind classifyFailure(DWORD code) {
    switch (code) {
    // Time-outs, under every code drivers give them, and an aborted transfer (our own cancel, or a
    // line error on a device that aborts I/O on errors).
    case ERROR_TIMEOUT:
    case ERROR_SEM_TIMEOUT:
    case WAIT_TIMEOUT:
    case ERROR_COUNTER_TIMEOUT:
    case ERROR_OPERATION_ABORTED:
        return FailureKind::Passing;
    case ERROR_NOT_SUPPORTED:
    case ERROR_INVALID_FUNCTION:
    case ERROR_INVALID_PARAMETER:
        return FailureKind::Unsupported;
    // ERROR_BAD_COMMAND, ERROR_ACCESS_DENIED, ERROR_GEN_FAILURE, ERROR_DEVICE_REMOVED,
    // ERROR_INVALID_HANDLE, ERROR_NOT_READY (a pty whose far end vanished, under Wine)...
    default:
        return FailureKind::Lost;
    }
}

PortFailurePolicy::Verdict PortFailurePolicy::afterPass(PassEnd end, DWORD code, double elapsedMs, DWORD limitMs) {
    Verdict verdict;
    switch (end) {
    case PassEnd::Byte:
    case PassEnd::Quiet:
        emptyInARow_ = 0;
        return verdict;
    case PassEnd::Stuck:
        verdict.lost = true;
        verdict.code = kNotWorkingCode;
        return verdict;
    case PassEnd::Failed:
        // A passing failure, or a read the device does not support this once, ends the pass
        // without a byte like an empty completion.
        if (classifyFailure(code) == FailureKind::Lost) {
            verdict.lost = true;
            verdict.code = code;
            return verdict;
        }
        verdict.clearErrors = true;
        break;
    case PassEnd::Empty:
        break;
    }
    if (++emptyInARow_ >= kEmptyPassLimit) {
        verdict.lost = true;
        verdict.code = kNotWorkingCode;
        return verdict;
    }
    verdict.waitMs = elapsedMs < limitMs ? static_cast<DWORD>(limitMs - elapsedMs) : 0;
    return verdict;
}

PortFailurePolicy::Reopen PortFailurePolicy::afterReopen(DWORD code, bool deviceOpened) {
    if (deviceOpened) return Reopen::Refused;
    switch (code) {
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
        return Reopen::Held;
    // A name that cannot be a device at all will not start to be one.
    case ERROR_INVALID_NAME:
    case ERROR_BAD_PATHNAME:
    case ERROR_FILENAME_EXCED_RANGE:
        return Reopen::Refused;
    // Missing (ERROR_FILE_NOT_FOUND, ERROR_PATH_NOT_FOUND), or on its way in or out while the
    // system enumerates it (ERROR_NOT_READY, ERROR_GEN_FAILURE, ERROR_DEVICE_NOT_CONNECTED,
    // ERROR_DEV_NOT_EXIST, ERROR_NO_SUCH_DEVICE...).
    default:
        return Reopen::Absent;
    }
}

PortFailurePolicy::WriteVerdict PortFailurePolicy::afterShortWrite(bool ok, DWORD code, DWORD written) {
    constexpr DWORD kNoProgressPauseMs = 10;
    WriteVerdict verdict;
    if (!ok && classifyFailure(code) == FailureKind::Lost) {
        verdict.lost = true;
    } else if (ok && written == 0) {
        verdict.waitMs = kNoProgressPauseMs;
    }
    return verdict;
}

}  // namespace quenlet

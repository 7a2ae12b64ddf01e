#include "core/sent_message_wait.h"

namespace quenlet {

namespace {

DWORD remainingMs(ULONGLONG deadline) {
    const ULONGLONG now = GetTickCount64();
    return now >= deadline ? 0 : static_cast<DWORD>(deadline - now);
}

// Delivers the messages other threads have sent to this one, and nothing else.
void deliverSentMessages() {
    MSG message;
    PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
}

}  // namespace

bool waitHandlingSentMessages(HANDLE handle, DWORD limitMs) {
    const ULONGLONG deadline = GetTickCount64() + limitMs;
    const DWORD count = handle != nullptr ? 1 : 0;
    for (;;) {
        const DWORD result =
            MsgWaitForMultipleObjects(count, &handle, FALSE, remainingMs(deadline), QS_SENDMESSAGE);
        if (count == 1 && result == WAIT_OBJECT_0) return true;
        if (result == WAIT_OBJECT_0 + count) {
            deliverSentMessages();
            continue;
        }
        if (result == WAIT_TIMEOUT || remainingMs(deadline) == 0) {
            return count == 1 && WaitForSingleObject(handle, 0) == WAIT_OBJECT_0;
        }
        return false;  // WAIT_FAILED
    }
}

void pauseHandlingSentMessages(DWORD durationMs) { waitHandlingSentMessages(nullptr, durationMs); }

}  // namespace quenlet

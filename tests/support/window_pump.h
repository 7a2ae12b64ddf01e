// Bounded waiting on the window thread of a test: messages keep flowing (worker threads update
// windows with SendMessage, which needs this thread to take them).
#pragma once

#include <windows.h>

#include <chrono>

#include "framework/message_pump.h"

namespace quenlet::test {

// Routes the thread's queued messages like the program's loops do.
inline void pumpMessages() {
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT) continue;
        routeMessage(message);
    }
}

// Pumps until condition holds or limit passed; returns its last value.
template <class Condition>
bool pumpUntil(Condition condition, std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    for (;;) {
        pumpMessages();
        if (condition()) return true;
        if (std::chrono::steady_clock::now() >= deadline) return condition();
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
    }
}

inline void pumpFor(std::chrono::milliseconds duration) {
    pumpUntil([] { return false; }, duration);
}

}  // namespace quenlet::test

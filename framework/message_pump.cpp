#include "framework/message_pump.h"

#include "framework/dialog.h"

namespace quenlet {
namespace {

thread_local int runningLoops = 0;
thread_local int quitCode = 0;

}  // namespace

Dialog* dialogOwning(HWND window) {
    while (window != nullptr) {
        if (Dialog* const dialog = Dialog::fromWindow(window)) return dialog;
        // A popup's "parent" is its owner; the walk stays inside one top-level window.
        if ((GetWindowLongA(window, GWL_STYLE) & WS_CHILD) == 0) return nullptr;
        window = GetParent(window);
    }
    return nullptr;
}

void routeMessage(MSG& message) {
    Dialog* const dialog = dialogOwning(message.hwnd);
    if (dialog != nullptr && dialog->PreTranslateMessage(&message)) return;
    TranslateMessage(&message);
    DispatchMessageA(&message);
}

bool fetchMessage(MSG& message) {
    for (;;) {
        const BOOL got = GetMessageA(&message, nullptr, 0, 0);
        if (got != -1) return got != 0;
        // Waiting for new input keeps a lasting failure from spinning.
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
    }
}

MessageLoopNesting::MessageLoopNesting() { ++runningLoops; }

MessageLoopNesting::~MessageLoopNesting() { --runningLoops; }

bool MessageLoopNesting::nested() const { return runningLoops > 1; }

int lastQuitCode() { return quitCode; }

void recordQuitCode(int code) { quitCode = code; }

}  // namespace quenlet

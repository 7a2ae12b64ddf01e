// Drives a modal dialog from inside its own message loop, step by step, for window tests.
#pragma once

#include <windows.h>

#include <chrono>
#include <functional>
#include <vector>

#include "framework/dialog.h"

namespace quenlet::test {

inline constexpr INT_PTR kTimedOut = -77;

// Drives a modal run from inside its own message loop. A thread timer polls every 10 ms; once the
// dialog is shown, each step runs as soon as its condition holds, one after the other. A step that
// would open another modal window posts its click, so that window runs from the dialog's loop and
// the next step can drive it. When the limit passes first, the windows the dialog owns are closed
// and the run ends with kTimedOut.
class ModalScenario {
public:
    using Condition = std::function<bool()>;
    using Action = std::function<void()>;

    ModalScenario& then(Action action) { return when([] { return true; }, std::move(action)); }
    ModalScenario& when(Condition ready, Action action) {
        steps_.push_back({std::move(ready), std::move(action)});
        return *this;
    }

    INT_PTR run(Dialog& dialog, std::chrono::milliseconds limit = std::chrono::seconds(20)) {
        dialog_ = &dialog;
        deadline_ = std::chrono::steady_clock::now() + limit;
        active_ = this;
        const UINT_PTR timer = SetTimer(nullptr, 0, 10, &ModalScenario::tick);
        const INT_PTR result = dialog.DoModal();
        KillTimer(nullptr, timer);
        active_ = nullptr;
        return result;
    }

    bool allStepsRan() const { return next_ == steps_.size(); }

private:
    struct Step {
        Condition ready;
        Action action;
    };

    static void CALLBACK tick(HWND, UINT, UINT_PTR, DWORD) {
        if (active_ != nullptr) active_->poll();
    }

    void poll() {
        if (timedOut_) return;
        if (std::chrono::steady_clock::now() > deadline_) {
            timedOut_ = true;
            closeOwnedWindows();
            dialog_->EndDialog(static_cast<int>(kTimedOut));
            return;
        }
        const HWND window = dialog_->hwnd();
        if (running_ || next_ == steps_.size() || window == nullptr || !IsWindowVisible(window)) return;
        if (!steps_[next_].ready()) return;
        running_ = true;
        steps_[next_++].action();
        running_ = false;
    }

    void closeOwnedWindows() const {
        EnumThreadWindows(GetCurrentThreadId(), closeIfOwnedBy, reinterpret_cast<LPARAM>(dialog_->hwnd()));
    }

    // A named callback: a lambda would not have the stdcall convention the i686 target needs.
    static BOOL CALLBACK closeIfOwnedBy(HWND window, LPARAM owner) {
        if (GetWindow(window, GW_OWNER) == reinterpret_cast<HWND>(owner)) PostMessageA(window, WM_CLOSE, 0, 0);
        return TRUE;
    }

    static inline ModalScenario* active_ = nullptr;
    std::vector<Step> steps_;
    size_t next_ = 0;
    bool running_ = false;
    bool timedOut_ = false;
    Dialog* dialog_ = nullptr;
    std::chrono::steady_clock::time_point deadline_;
};

}  // namespace quenlet::test

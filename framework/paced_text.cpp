#include "framework/paced_text.h"

namespace quenlet {

DWORD repaintDelay(ULONGLONG lastRepaint, ULONGLONG now, DWORD intervalMs) {
    const ULONGLONG since = now - lastRepaint;
    return since + kRepaintSlackMs >= intervalMs ? 0 : static_cast<DWORD>(intervalMs - since);
}

PacedText::~PacedText() {
    if (timerControl_ != nullptr) KillTimer(timerControl_, reinterpret_cast<UINT_PTR>(this));
}

void PacedText::set(HWND control, const char* text) {
    // The window's own text, without the control's WM_SETTEXT handling and the paint in it.
    DefWindowProcA(control, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text));
    if (timerControl_ == control) {
        changed_ = true;  // the interval's end shows it
        return;
    }
    if (timerControl_ != nullptr) endInterval();
    // A text a whole interval after the last repaint shows at once; one that comes sooner waits
    // for the interval's end. The timer's id is this object, which the callback gets back.
    const DWORD delay = repaintDelay(lastRepaint_, GetTickCount64(), intervalMs_);
    if (control != paintedControl_ || delay == 0 ||
        SetTimer(control, reinterpret_cast<UINT_PTR>(this), delay, &PacedText::onTimer) == 0) {
        repaint(control);
        return;
    }
    timerControl_ = control;
    changed_ = true;
}

void CALLBACK PacedText::onTimer(HWND, UINT, UINT_PTR timer, DWORD) {
    reinterpret_cast<PacedText*>(timer)->endInterval();
}

void PacedText::endInterval() {
    KillTimer(timerControl_, reinterpret_cast<UINT_PTR>(this));
    const HWND control = timerControl_;
    timerControl_ = nullptr;
    if (changed_) repaint(control);
}

void PacedText::repaint(HWND control) {
    InvalidateRect(control, nullptr, TRUE);
    paintedControl_ = control;
    lastRepaint_ = GetTickCount64();
    changed_ = false;
}

}  // namespace quenlet

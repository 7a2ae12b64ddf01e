#include "framework/paced_text.h"

namespace quenlet {

PacedText::~PacedText() {
    if (control_ != nullptr) KillTimer(control_, reinterpret_cast<UINT_PTR>(this));
}

void PacedText::set(HWND control, const char* text) {
    // The window's own text, without the control's WM_SETTEXT handling and the paint in it.
    DefWindowProcA(control, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text));
    if (control_ == control) {
        changed_ = true;
        return;
    }
    if (control_ != nullptr) endInterval();
    InvalidateRect(control, nullptr, TRUE);
    // The timer's id is this object, which the callback gets back.
    if (SetTimer(control, reinterpret_cast<UINT_PTR>(this), intervalMs_, &PacedText::onTimer) != 0) {
        control_ = control;
        changed_ = false;
    }
}

void CALLBACK PacedText::onTimer(HWND, UINT, UINT_PTR timer, DWORD) {
    auto* const paced = reinterpret_cast<PacedText*>(timer);
    if (paced->changed_) {
        // What changed during the interval shows now, and a new interval starts.
        paced->changed_ = false;
        InvalidateRect(paced->control_, nullptr, TRUE);
        return;
    }
    paced->endInterval();
}

void PacedText::endInterval() {
    KillTimer(control_, reinterpret_cast<UINT_PTR>(this));
    if (changed_) InvalidateRect(control_, nullptr, TRUE);
    control_ = nullptr;
    changed_ = false;
}

}  // namespace quenlet

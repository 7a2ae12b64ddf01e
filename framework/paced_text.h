// The text of a control that changes many times a second (a byte counter under a stream of data):
// the control holds each new text at once, for code and for screen readers, but is repainted at
// most every interval (give or take kSlackMs). A text that comes a whole interval after the last
// repaint shows at once, so texts set at the interval's pace cost one paint each and no timer.
// Some systems paint a static control inside WM_SETTEXT, which costs more than everything else a
// received chunk needs.
#pragma once

#include <windows.h>

namespace quenlet {

class PacedText {
public:
    explicit PacedText(DWORD intervalMs) : intervalMs_(intervalMs) {}
    ~PacedText();
    PacedText(const PacedText&) = delete;
    PacedText& operator=(const PacedText&) = delete;

    // On the control's window thread.
    void set(HWND control, const char* text);

private:
    static constexpr DWORD kSlackMs = 20;
    static void CALLBACK onTimer(HWND control, UINT message, UINT_PTR timer, DWORD time);
    void endInterval();
    void repaint(HWND control);

    const DWORD intervalMs_;
    HWND timerControl_ = nullptr;    // the control whose interval timer runs
    HWND paintedControl_ = nullptr;  // the control last repainted, at lastRepaint_
    ULONGLONG lastRepaint_ = 0;
    bool changed_ = false;           // a text set during the interval waits for its end
};

}  // namespace quenlet

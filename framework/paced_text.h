// The text of a control that changes many times a second (a byte counter under a stream of data):
// the control holds each new text at once, for code and for screen readers, but is repainted at
// most every interval (give or take kRepaintSlackMs). A text that comes a whole interval after the last
// repaint shows at once, so texts set at the interval's pace cost one paint each and no timer.
// Some systems paint a static control inside WM_SETTEXT, which costs more than everything else a
// received chunk needs.
#pragma once

#include <windows.h>

namespace quenlet {

// Timers and the tick count are coarse: a repaint this close to a whole interval after the last one
// counts as an interval later.
inline constexpr DWORD kRepaintSlackMs = 20;

// How long a repaint asked for at now waits so that repaints stay intervalMs apart: 0 when the
// last one, at lastRepaint, was a whole interval ago.
DWORD repaintDelay(ULONGLONG lastRepaint, ULONGLONG now, DWORD intervalMs);

class PacedText {
public:
    explicit PacedText(DWORD intervalMs) : intervalMs_(intervalMs) {}
    ~PacedText();
    PacedText(const PacedText&) = delete;
    PacedText& operator=(const PacedText&) = delete;

    // On the control's window thread.
    void set(HWND control, const char* text);

private:
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

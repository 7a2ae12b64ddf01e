// The text of a control that changes many times a second (a byte counter under a stream of data):
// the control holds each new text at once, for code and for screen readers, but is repainted at
// most every interval. Some systems paint a static control inside WM_SETTEXT, which costs more
// than everything else a received chunk needs.
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
    static void CALLBACK onTimer(HWND control, UINT message, UINT_PTR timer, DWORD time);
    void endInterval();

    const DWORD intervalMs_;
    HWND control_ = nullptr;  // the control whose interval runs
    bool changed_ = false;    // a text set during the interval waits for its end
};

}  // namespace quenlet

// Helpers for the framework's window tests: dialog templates built in memory (the tests do not rely
// on the program's resources) and a dialog base whose modal runs end on their own after a bound.
#pragma once

#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

#include "framework/dialog.h"

namespace quenlet::test {

// Predefined control classes of a dialog item template.
enum class ControlClass : WORD { Button = 0x80, Edit = 0x81, Static = 0x82, ComboBox = 0x85 };

// Writes a DLGTEMPLATE (DS_SETFONT, "MS Shell Dlg" 8) with its items into a DWORD-aligned buffer.
class DialogTemplateBuilder {
public:
    DialogTemplateBuilder(DWORD style, short width, short height, const char* caption,
                          DWORD extendedStyle = 0) {
        put32(style | DS_SETFONT);
        put32(extendedStyle);
        countIndex_ = words_.size();
        words_.push_back(0);  // item count, filled in by add()
        for (const short value : {short(10), short(10), width, height}) words_.push_back(WORD(value));
        words_.push_back(0);  // no menu
        words_.push_back(0);  // standard dialog class
        putText(caption);
        words_.push_back(8);
        putText("MS Shell Dlg");
    }

    DialogTemplateBuilder& add(ControlClass kind, WORD id, const char* text, DWORD style, short x,
                               short y, short width, short height) {
        if (words_.size() % 2 != 0) words_.push_back(0);  // items start on a DWORD boundary
        put32(style | WS_CHILD | WS_VISIBLE);
        put32(0);
        for (const short value : {x, y, width, height}) words_.push_back(WORD(value));
        words_.push_back(id);
        words_.push_back(0xFFFF);
        words_.push_back(static_cast<WORD>(kind));
        putText(text);
        words_.push_back(0);  // no creation data
        ++words_[countIndex_];
        return *this;
    }

    // The template; valid while the builder lives and no item is added.
    const DLGTEMPLATE* get() {
        aligned_.assign((words_.size() + 1) / 2, 0);
        std::memcpy(aligned_.data(), words_.data(), words_.size() * sizeof(WORD));
        return reinterpret_cast<const DLGTEMPLATE*>(aligned_.data());
    }

private:
    void put32(DWORD value) {
        words_.push_back(LOWORD(value));
        words_.push_back(HIWORD(value));
    }
    void putText(const char* text) {
        for (const char* c = text; *c != '\0'; ++c) words_.push_back(static_cast<unsigned char>(*c));
        words_.push_back(0);
    }

    std::vector<WORD> words_;
    std::vector<DWORD> aligned_;
    size_t countIndex_ = 0;
};

constexpr DWORD kPopupDialogStyle = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME;

// The result a guarded modal run returns when its bound ran out.
constexpr int kTimedOut = -77;

// A dialog whose modal run ends with kTimedOut after boundMilliseconds, so a test that waits for
// something that never happens fails instead of hanging. Derived classes that override
// PreTranslateMessage pass unhandled messages to GuardedDialog::PreTranslateMessage.
class GuardedDialog : public Dialog {
public:
    static constexpr UINT_PTR kGuardTimer = 0x7A11;

    explicit GuardedDialog(const DLGTEMPLATE* dialogTemplate, HWND parent = nullptr,
                           UINT boundMilliseconds = 5000)
        : Dialog(dialogTemplate, parent), boundMilliseconds_(boundMilliseconds) {}

    BOOL OnInitDialog() override {
        SetTimer(kGuardTimer, boundMilliseconds_);
        return TRUE;
    }

    BOOL PreTranslateMessage(MSG* message) override {
        // Timer messages pass through the loop, so the guard needs no entry in a message table.
        if (message->message == WM_TIMER && message->hwnd == hwnd() && message->wParam == kGuardTimer) {
            KillTimer(kGuardTimer);
            EndDialog(kTimedOut);
            return TRUE;
        }
        return Dialog::PreTranslateMessage(message);
    }

private:
    const UINT boundMilliseconds_;
};

// Removes every message waiting for this thread, so one test's leftovers do not reach the next.
inline void drainMessages() {
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message != WM_QUIT) DispatchMessageA(&message);
    }
}

}  // namespace quenlet::test

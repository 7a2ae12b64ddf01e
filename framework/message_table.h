// Declarative message tables: each dialog class lists which of its member functions handles which
// message, command id or notification. A class declares its table with
//
//     class StatusDialog : public Dialog {
//         ...
//         QUENLET_MESSAGE_TABLE(StatusDialog)   // leaves the access at private
//     };
//
// and defines it in its .cpp file:
//
//     const MessageTable<MainDialog> MainDialog::messageTable_ = {
//         onCommand(1050, &MainDialog::OnPortOpen),
//         onCommandRange(1057, 1059, &MainDialog::OnSendMode),      // void(UINT id)
//         onTimer(&MainDialog::OnTimer),                            // void(UINT timerId)
//         onNotify(TTN_GETDISPINFOA, &MainDialog::OnToolTipText),   // BOOL(NMHDR*, LRESULT*)
//         onSysCommand(&MainDialog::OnSysCommand),                  // void(UINT code)
//         onMessage(WM_PAINT, &MainDialog::OnPaint),                // void() or LRESULT(WPARAM, LPARAM)
//     };
//
// The first matching entry wins. A handler that wants the system's default processing after all
// calls passToDefault(); a notification handler returning FALSE asks for the same. Unmatched
// messages go to Dialog::handleMessage (IDOK/IDCANCEL/WM_CLOSE) and then to the system.
#pragma once

#include <windows.h>

#include <initializer_list>
#include <utility>
#include <variant>
#include <vector>

#include "framework/dialog.h"

namespace quenlet {

// What a message must be for an entry's handler to run.
enum class MessageMatch {
    Message,              // this message number
    Command,              // WM_COMMAND from a menu, an accelerator or a button click, id in range
    ControlNotification,  // WM_COMMAND with this notification code, id in range
    Notify,               // WM_NOTIFY with this code, idFrom in range
    SysCommand,           // WM_SYSCOMMAND, any code
    Timer,                // WM_TIMER, any timer id
};

template <class D>
struct MessageEntry {
    using PlainHandler = void (D::*)();
    using IdHandler = void (D::*)(UINT id);
    using ParamHandler = LRESULT (D::*)(WPARAM wParam, LPARAM lParam);
    using NotifyHandler = BOOL (D::*)(NMHDR* header, LRESULT* result);
    using Handler = std::variant<PlainHandler, IdHandler, ParamHandler, NotifyHandler>;

    MessageMatch match;
    UINT message;
    UINT code;
    UINT firstId;
    UINT lastId;
    Handler handler;

    bool matches(UINT msg, WPARAM wParam, LPARAM lParam) const {
        switch (match) {
        case MessageMatch::Message:
            return msg == message;
        case MessageMatch::Command:
            // Menus send code 0 and no control, accelerators code 1 and no control, buttons and
            // toolbar buttons BN_CLICKED (0) with their window.
            return msg == WM_COMMAND && inRange(LOWORD(wParam)) &&
                   (lParam == 0 || HIWORD(wParam) == BN_CLICKED);
        case MessageMatch::ControlNotification:
            return msg == WM_COMMAND && lParam != 0 && HIWORD(wParam) == code &&
                   inRange(LOWORD(wParam));
        case MessageMatch::Notify: {
            if (msg != WM_NOTIFY || lParam == 0) return false;
            const NMHDR* const header = reinterpret_cast<const NMHDR*>(lParam);
            return header->code == code && header->idFrom >= firstId && header->idFrom <= lastId;
        }
        case MessageMatch::SysCommand:
            return msg == WM_SYSCOMMAND;
        case MessageMatch::Timer:
            return msg == WM_TIMER;
        }
        return false;
    }

    // The id an IdHandler receives: command id, timer id or system command code.
    static UINT idOf(UINT msg, WPARAM wParam, LPARAM lParam) {
        if (msg == WM_COMMAND) return LOWORD(wParam);
        if (msg == WM_NOTIFY) return static_cast<UINT>(reinterpret_cast<const NMHDR*>(lParam)->idFrom);
        return static_cast<UINT>(wParam);
    }

private:
    bool inRange(UINT id) const { return id >= firstId && id <= lastId; }
};

template <class D>
class MessageTable {
public:
    MessageTable() = default;
    MessageTable(std::initializer_list<MessageEntry<D>> entries) : entries_(entries) {}

    // Runs the first matching handler. False when no entry matched or the handler asked for the
    // default processing.
    bool dispatch(D& dialog, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) const {
        for (const MessageEntry<D>& entry : entries_) {
            if (entry.matches(message, wParam, lParam)) {
                return invoke(dialog, entry, message, wParam, lParam, result);
            }
        }
        return false;
    }

private:
    static bool invoke(D& dialog, const MessageEntry<D>& entry, UINT message, WPARAM wParam,
                       LPARAM lParam, LRESULT& result) {
        using Entry = MessageEntry<D>;
        Dialog& base = dialog;
        // A handler may send messages to its own dialog; keep the outer handler's request.
        const bool outerRequest = std::exchange(base.defaultRequested_, false);
        bool handled = true;
        result = 0;
        if (const auto* plain = std::get_if<typename Entry::PlainHandler>(&entry.handler)) {
            (dialog.**plain)();
        } else if (const auto* withId = std::get_if<typename Entry::IdHandler>(&entry.handler)) {
            (dialog.**withId)(Entry::idOf(message, wParam, lParam));
        } else if (const auto* params = std::get_if<typename Entry::ParamHandler>(&entry.handler)) {
            result = (dialog.**params)(wParam, lParam);
        } else if (const auto* notify = std::get_if<typename Entry::NotifyHandler>(&entry.handler)) {
            handled = (dialog.**notify)(reinterpret_cast<NMHDR*>(lParam), &result) != FALSE;
        }
        const bool wantsDefault = std::exchange(base.defaultRequested_, outerRequest);
        return handled && !wantsDefault;
    }

    std::vector<MessageEntry<D>> entries_;
};

// Entry builders. The dialog class is deduced from the member pointer.
template <class D>
MessageEntry<D> onMessage(UINT message, void (D::*handler)()) {
    return {MessageMatch::Message, message, 0, 0, 0, handler};
}
template <class D>
MessageEntry<D> onMessage(UINT message, LRESULT (D::*handler)(WPARAM, LPARAM)) {
    return {MessageMatch::Message, message, 0, 0, 0, handler};
}
template <class D>
MessageEntry<D> onCommand(UINT id, void (D::*handler)()) {
    return {MessageMatch::Command, WM_COMMAND, 0, id, id, handler};
}
template <class D>
MessageEntry<D> onCommand(UINT id, void (D::*handler)(UINT id)) {
    return {MessageMatch::Command, WM_COMMAND, 0, id, id, handler};
}
template <class D>
MessageEntry<D> onCommandRange(UINT firstId, UINT lastId, void (D::*handler)(UINT id)) {
    return {MessageMatch::Command, WM_COMMAND, 0, firstId, lastId, handler};
}
template <class D>
MessageEntry<D> onControlNotification(UINT code, UINT id, void (D::*handler)()) {
    return {MessageMatch::ControlNotification, WM_COMMAND, code, id, id, handler};
}
template <class D>
MessageEntry<D> onNotify(UINT code, BOOL (D::*handler)(NMHDR*, LRESULT*)) {
    return {MessageMatch::Notify, WM_NOTIFY, code, 0, static_cast<UINT>(-1), handler};
}
template <class D>
MessageEntry<D> onNotify(UINT code, UINT id, BOOL (D::*handler)(NMHDR*, LRESULT*)) {
    return {MessageMatch::Notify, WM_NOTIFY, code, id, id, handler};
}
template <class D>
MessageEntry<D> onSysCommand(void (D::*handler)(UINT code)) {
    return {MessageMatch::SysCommand, WM_SYSCOMMAND, 0, 0, 0, handler};
}
template <class D>
MessageEntry<D> onTimer(void (D::*handler)(UINT timerId)) {
    return {MessageMatch::Timer, WM_TIMER, 0, 0, 0, handler};
}

}  // namespace quenlet

// Declares Class's table and routes Class's messages through it before the base handling.
#define QUENLET_MESSAGE_TABLE(Class)                                                             \
protected:                                                                                       \
    bool handleMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override {   \
        return messageTable_.dispatch(*this, message, wParam, lParam, result) ||                 \
               ::quenlet::Dialog::handleMessage(message, wParam, lParam, result);                \
    }                                                                                            \
                                                                                                 \
private:                                                                                         \
    static const ::quenlet::MessageTable<Class> messageTable_;

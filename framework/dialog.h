// Dialog windows built from numbered dialog templates: modal runs with the framework's own message
// loop, modeless windows, and the hooks the program's dialogs override.
#pragma once

#include <windows.h>

#include <deque>
#include <functional>
#include <string>

#include "framework/child_windows.h"
#include "framework/handles.h"

namespace quenlet {

template <class D>
class MessageTable;

class Dialog {
public:
    // templateId names an RT_DIALOG resource of the application's module. parent owns a modal run;
    // without one the application's main window does (unless this dialog is that window).
    explicit Dialog(UINT templateId, HWND parent = nullptr);
    // A template kept in memory by the caller for the lifetime of the dialog object.
    explicit Dialog(const DLGTEMPLATE* inMemoryTemplate, HWND parent = nullptr);
    virtual ~Dialog();
    Dialog(const Dialog&) = delete;
    Dialog& operator=(const Dialog&) = delete;

    // Runs the dialog modally: the owner is disabled, messages go through the PreTranslateMessage of
    // the dialog they are bound for, and the window is destroyed before returning. Returns the value
    // given to EndDialog, or -1 when the window could not be created or WM_QUIT ended the loop (a
    // WM_QUIT taken by a nested loop is posted again for the loop outside it).
    INT_PTR DoModal();

    // Creates the dialog as a modeless window owned by parent. It is shown only when the template
    // says so. Returns false when the window exists already or could not be created.
    bool Create(HWND parent);

    // Modal: ends the modal loop with result. Modeless: only hides the window.
    void EndDialog(int result);

    // Runs inside WM_INITDIALOG, after DoDataExchange. TRUE lets the system set the focus.
    virtual BOOL OnInitDialog();
    // Sees every message bound for this dialog or its child windows before it is dispatched; TRUE
    // consumes it. The default is the system's dialog keyboard handling (IsDialogMessage).
    virtual BOOL PreTranslateMessage(MSG* message);
    // IDOK and IDCANCEL commands (Enter on the default button, Esc, the close box).
    virtual void OnOK();
    virtual void OnCancel();
    // Binds control wrappers to their ids; runs when the window exists, before OnInitDialog.
    virtual void DoDataExchange() {}

    HWND hwnd() const { return hwnd_; }
    HWND item(int id) const;
    void setItemText(int id, const char* text) const;
    std::string itemText(int id) const;
    void setItemInt(int id, int value) const;
    // The item's text as a signed decimal number; *translated (if given) says whether it was one.
    int itemInt(int id, bool* translated = nullptr) const;
    void checkButton(int id, UINT state) const;
    bool isChecked(int id) const;
    void enableItem(int id, bool enable) const;

    UINT_PTR SetTimer(UINT_PTR id, UINT elapseMilliseconds) const;
    BOOL KillTimer(UINT_PTR id) const;
    BOOL ShowWindow(int command) const;

    // Runs work on the window's thread and returns once it is done (at once when called there).
    // A worker thread's whole window update then costs one round trip, and nothing else the
    // window thread handles (input, other threads' messages) can come between its steps. False
    // when work did not run because the window is gone.
    template <class Work>
    bool runOnWindowThread(Work& work) const {
        RunRequest request{[](void* context) { (*static_cast<Work*>(context))(); }, &work, false};
        SendMessageA(hwnd_, kRunMessage, 0, reinterpret_cast<LPARAM>(&request));
        return request.done;
    }

    // Queues work for the window's thread and returns at once (from any thread). Queued work runs
    // in order, one piece at a time, when the window thread next takes its messages: a piece that
    // shows a modal box holds back the pieces behind it until the box is closed, so boxes never
    // stack. A thread that must not wait for the window (one that reads a device) tells the user
    // this way. Work still queued when the window goes is dropped with it.
    void postToWindowThread(std::function<void()> work);

    // The dialog whose window is window, if it is one of this framework's dialogs. Any thread.
    static Dialog* fromWindow(HWND window);

protected:
    // Every message after WM_INITDIALOG. Returns true when handled, with result as the message's
    // result. QUENLET_MESSAGE_TABLE overrides it to consult the class's table first; this base
    // maps IDOK/IDCANCEL commands to OnOK/OnCancel and WM_CLOSE to OnCancel.
    virtual bool handleMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result);

    // Called by a table handler that wants the system's default processing after all.
    void passToDefault() { defaultRequested_ = true; }

private:
    template <class D>
    friend class MessageTable;

    struct RunRequest {
        void (*run)(void* context);
        void* context;
        bool done;  // set by the window thread; read once the message has returned
    };
    // Private to our dialog windows; far from the WM_APP numbers programs pick first.
    static constexpr UINT kRunMessage = WM_APP + 0x3F00;
    static constexpr UINT kRunPostedMessage = WM_APP + 0x3F01;

    static INT_PTR CALLBACK dialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

    const DLGTEMPLATE* resolveTemplate() const;
    HWND modalOwner() const;
    bool createWindow(HWND owner);
    void runModalLoop();
    void attachWindow(HWND window);
    void detachWindow();
    void runPostedWork();

    const UINT templateId_;
    const DLGTEMPLATE* const inMemoryTemplate_;
    const HWND parent_;
    HWND hwnd_ = nullptr;
    bool modal_ = false;
    bool endRequested_ = false;
    bool defaultRequested_ = false;
    int result_ = -1;
    mutable ChildWindows items_;

    CriticalSection postedLock_;
    std::deque<std::function<void()>> posted_;  // guarded by postedLock_
    bool runningPosted_ = false;                // window thread only
};

}  // namespace quenlet

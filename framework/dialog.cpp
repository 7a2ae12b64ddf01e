#include "framework/dialog.h"

#include <algorithm>
#include <utility>
#include <vector>

#include "framework/application.h"
#include "framework/handles.h"
#include "framework/message_pump.h"
#include "framework/text_format.h"

namespace quenlet {
namespace {

// The windows of this framework's dialogs, so the message loops can find the dialog object of any
// message. A window property would do the same, but reading one is a round trip to the window
// server on some systems, and the loops look for every message they fetch.
class AttachedDialogs {
public:
    void add(HWND window, Dialog* dialog) {
        const CriticalSectionLock lock(lock_);
        attached_.emplace_back(window, dialog);
    }
    void remove(HWND window) {
        const CriticalSectionLock lock(lock_);
        attached_.erase(std::remove_if(attached_.begin(), attached_.end(),
                                       [window](const auto& entry) { return entry.first == window; }),
                        attached_.end());
    }
    Dialog* find(HWND window) {
        const CriticalSectionLock lock(lock_);
        for (const auto& entry : attached_) {
            if (entry.first == window) return entry.second;
        }
        return nullptr;
    }

private:
    CriticalSection lock_;
    std::vector<std::pair<HWND, Dialog*>> attached_;
};

// Never destroyed: a dialog object that outlives main (a global's member) may still detach.
AttachedDialogs& attachedDialogs() {
    static AttachedDialogs* const dialogs = new AttachedDialogs;
    return *dialogs;
}

HINSTANCE resourceModule() {
    const Application* const application = Application::current();
    return application != nullptr ? application->instance() : GetModuleHandleA(nullptr);
}

// Messages whose dialog-procedure result is the message result itself rather than DWLP_MSGRESULT.
bool returnsResultDirectly(UINT message) {
    switch (message) {
    case WM_CTLCOLORMSGBOX:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORDLG:
    case WM_CTLCOLORSCROLLBAR:
    case WM_CTLCOLORSTATIC:
    case WM_COMPAREITEM:
    case WM_VKEYTOITEM:
    case WM_CHARTOITEM:
    case WM_QUERYDRAGICON:
    case WM_INITDIALOG:
        return true;
    default:
        return false;
    }
}

}  // namespace

Dialog::Dialog(UINT templateId, HWND parent)
    : templateId_(templateId), inMemoryTemplate_(nullptr), parent_(parent) {}

Dialog::Dialog(const DLGTEMPLATE* inMemoryTemplate, HWND parent)
    : templateId_(0), inMemoryTemplate_(inMemoryTemplate), parent_(parent) {}

Dialog::~Dialog() {
    // The derived parts are gone: detach first so no message of the teardown reaches them.
    const HWND window = hwnd_;
    if (window == nullptr) return;
    detachWindow();
    DestroyWindow(window);
}

Dialog* Dialog::fromWindow(HWND window) {
    return window != nullptr ? attachedDialogs().find(window) : nullptr;
}

const DLGTEMPLATE* Dialog::resolveTemplate() const {
    if (inMemoryTemplate_ != nullptr) return inMemoryTemplate_;
    const HINSTANCE module = resourceModule();
    const HRSRC resource = FindResourceA(module, MAKEINTRESOURCEA(templateId_), MAKEINTRESOURCEA(5));
    if (resource == nullptr) return nullptr;
    const HGLOBAL loaded = LoadResource(module, resource);
    return loaded != nullptr ? static_cast<const DLGTEMPLATE*>(LockResource(loaded)) : nullptr;
}

HWND Dialog::modalOwner() const {
    HWND owner = parent_;
    if (owner == nullptr) {
        const Application* const application = Application::current();
        const Dialog* const mainWindow = application != nullptr ? application->mainWindow() : nullptr;
        if (mainWindow != nullptr && mainWindow != this) owner = mainWindow->hwnd();
    }
    // Only a top-level window can own a popup.
    return owner != nullptr ? GetAncestor(owner, GA_ROOT) : nullptr;
}

bool Dialog::createWindow(HWND owner) {
    const DLGTEMPLATE* const dialogTemplate = resolveTemplate();
    if (dialogTemplate == nullptr) return false;
    // hwnd_ is set by WM_INITDIALOG, inside this call.
    const HWND window = CreateDialogIndirectParamA(resourceModule(), dialogTemplate, owner,
                                                   &Dialog::dialogProc,
                                                   reinterpret_cast<LPARAM>(this));
    return window != nullptr && hwnd_ == window;
}

INT_PTR Dialog::DoModal() {
    if (hwnd_ != nullptr) return -1;
    const HWND owner = modalOwner();
    const bool ownerDisabledHere = owner != nullptr && IsWindowEnabled(owner);
    if (ownerDisabledHere) EnableWindow(owner, FALSE);

    modal_ = true;
    endRequested_ = false;
    result_ = -1;
    if (createWindow(owner)) {
        if (!endRequested_ && !IsWindowVisible(hwnd_)) ::ShowWindow(hwnd_, SW_SHOWNORMAL);
        runModalLoop();
    }

    // Hide before re-enabling the owner, so the activation goes back to the owner.
    if (hwnd_ != nullptr) {
        SetWindowPos(hwnd_, nullptr, 0, 0, 0, 0,
                     SWP_HIDEWINDOW | SWP_NOSIZE | SWP_NOMOVE | SWP_NOACTIVATE | SWP_NOZORDER);
    }
    if (ownerDisabledHere) EnableWindow(owner, TRUE);
    if (owner != nullptr && hwnd_ != nullptr && GetActiveWindow() == hwnd_) SetActiveWindow(owner);
    if (hwnd_ != nullptr) DestroyWindow(hwnd_);
    modal_ = false;
    return result_;
}

void Dialog::runModalLoop() {
    const MessageLoopNesting nesting;
    MSG message;
    while (!endRequested_ && hwnd_ != nullptr) {
        if (!fetchMessage(message)) {
            const int code = static_cast<int>(message.wParam);
            recordQuitCode(code);
            // The loop outside this one must end too.
            if (nesting.nested()) PostQuitMessage(code);
            result_ = -1;
            return;
        }
        routeMessage(message);
    }
}

bool Dialog::Create(HWND parent) {
    if (hwnd_ != nullptr) return false;
    modal_ = false;
    endRequested_ = false;
    return createWindow(parent);
}

void Dialog::EndDialog(int result) {
    result_ = result;
    if (!modal_) {
        if (hwnd_ != nullptr) ::ShowWindow(hwnd_, SW_HIDE);
        return;
    }
    endRequested_ = true;
    // Wakes the loop when the call did not come from a message it dispatched.
    if (hwnd_ != nullptr) PostMessageA(hwnd_, WM_NULL, 0, 0);
}

BOOL Dialog::OnInitDialog() { return TRUE; }

BOOL Dialog::PreTranslateMessage(MSG* message) {
    return hwnd_ != nullptr && IsDialogMessageA(hwnd_, message);
}

void Dialog::OnOK() { EndDialog(IDOK); }

void Dialog::OnCancel() { EndDialog(IDCANCEL); }

bool Dialog::handleMessage(UINT message, WPARAM wParam, LPARAM /*lParam*/, LRESULT& result) {
    if (message == WM_COMMAND && HIWORD(wParam) == BN_CLICKED) {
        // Menus, accelerators and button clicks alike; Enter and Esc arrive this way too.
        if (LOWORD(wParam) == IDOK) {
            OnOK();
            result = 0;
            return true;
        }
        if (LOWORD(wParam) == IDCANCEL) {
            OnCancel();
            result = 0;
            return true;
        }
    }
    if (message == WM_CLOSE) {
        OnCancel();
        result = 0;
        return true;
    }
    return false;
}

void Dialog::attachWindow(HWND window) {
    hwnd_ = window;
    items_.forget();
    SetWindowLongPtrA(window, DWLP_USER, reinterpret_cast<LONG_PTR>(this));
    attachedDialogs().add(window, this);
}

void Dialog::detachWindow() {
    if (hwnd_ == nullptr) return;
    attachedDialogs().remove(hwnd_);
    SetWindowLongPtrA(hwnd_, DWLP_USER, 0);
    hwnd_ = nullptr;
    items_.forget();
}

INT_PTR CALLBACK Dialog::dialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        Dialog* const dialog = reinterpret_cast<Dialog*>(lParam);
        dialog->attachWindow(window);
        dialog->DoDataExchange();
        return dialog->OnInitDialog();
    }
    Dialog* const dialog = reinterpret_cast<Dialog*>(GetWindowLongPtrA(window, DWLP_USER));
    if (dialog == nullptr) return FALSE;
    if (message == WM_NCDESTROY) {
        dialog->detachWindow();
        return FALSE;
    }
    if (message == kRunPostedMessage) {
        dialog->runPostedWork();
        return TRUE;
    }
    if (message == kRunMessage) {
        // The request records that it ran: a message result would cost another call to the system.
        auto* const request = reinterpret_cast<RunRequest*>(lParam);
        if (request != nullptr) {
            request->run(request->context);
            request->done = true;
        }
        return TRUE;
    }
    LRESULT result = 0;
    if (!dialog->handleMessage(message, wParam, lParam, result)) return FALSE;
    if (returnsResultDirectly(message)) return static_cast<INT_PTR>(result);
    SetWindowLongPtrA(window, DWLP_MSGRESULT, result);
    return TRUE;
}

void Dialog::postToWindowThread(std::function<void()> work) {
    {
        const CriticalSectionLock lock(postedLock_);
        posted_.push_back(std::move(work));
    }
    // Without a window the message would go to the calling thread's own queue.
    if (hwnd_ != nullptr) PostMessageA(hwnd_, kRunPostedMessage, 0, 0);
}

void Dialog::runPostedWork() {
    // A box shown by one piece runs a message loop that may bring this message again: the pieces
    // behind it wait for the outer loop below, so they run after the box, in order.
    if (runningPosted_) return;
    runningPosted_ = true;
    for (;;) {
        std::function<void()> work;
        {
            const CriticalSectionLock lock(postedLock_);
            if (posted_.empty()) break;
            work = std::move(posted_.front());
            posted_.pop_front();
        }
        work();
        if (hwnd_ == nullptr) break;  // the work ended the window
    }
    runningPosted_ = false;
}

HWND Dialog::item(int id) const { return items_.find(hwnd_, id); }

void Dialog::setItemText(int id, const char* text) const { SetWindowTextA(item(id), text); }

std::string Dialog::itemText(int id) const { return windowText(item(id)); }

void Dialog::setItemInt(int id, int value) const {
    SetDlgItemInt(hwnd_, id, static_cast<UINT>(value), TRUE);
}

int Dialog::itemInt(int id, bool* translated) const {
    BOOL ok = FALSE;
    const int value = static_cast<int>(GetDlgItemInt(hwnd_, id, &ok, TRUE));
    if (translated != nullptr) *translated = ok != FALSE;
    return value;
}

void Dialog::checkButton(int id, UINT state) const { CheckDlgButton(hwnd_, id, state); }

bool Dialog::isChecked(int id) const { return IsDlgButtonChecked(hwnd_, id) == BST_CHECKED; }

void Dialog::enableItem(int id, bool enable) const { EnableWindow(item(id), enable ? TRUE : FALSE); }

UINT_PTR Dialog::SetTimer(UINT_PTR id, UINT elapseMilliseconds) const {
    return ::SetTimer(hwnd_, id, elapseMilliseconds, nullptr);
}

BOOL Dialog::KillTimer(UINT_PTR id) const { return ::KillTimer(hwnd_, id); }

BOOL Dialog::ShowWindow(int command) const { return ::ShowWindow(hwnd_, command); }

}  // namespace quenlet

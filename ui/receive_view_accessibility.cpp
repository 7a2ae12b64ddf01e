#include "ui/receive_view_accessibility.h"

#include <oleacc.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <string_view>

#include "ui/receive_view.h"

namespace quenlet {
namespace {

// Clients name the object itself with CHILDID_SELF; some leave the VARIANT empty for it.
bool isSelf(const VARIANT& child) { return child.vt == VT_EMPTY || (child.vt == VT_I4 && child.lVal == CHILDID_SELF); }

BSTR bstrFromAnsi(std::string_view text) {
    if (text.empty()) return SysAllocStringLen(L"", 0);
    const int size = static_cast<int>(text.size());
    const int wide = MultiByteToWideChar(CP_ACP, 0, text.data(), size, nullptr, 0);
    if (wide <= 0) return nullptr;
    const BSTR result = SysAllocStringLen(nullptr, static_cast<UINT>(wide));
    if (result != nullptr) MultiByteToWideChar(CP_ACP, 0, text.data(), size, result, wide);
    return result;
}

// The text of the static text just before view in its dialog, without its "&" marks; empty when
// there is none.
std::string labelOf(HWND view) {
    const HWND previous = GetWindow(view, GW_HWNDPREV);
    char className[8] = {};
    if (previous == nullptr || GetClassNameA(previous, className, sizeof className) == 0 ||
        std::strcmp(className, "Static") != 0)
        return {};
    switch (GetWindowLongA(previous, GWL_STYLE) & SS_TYPEMASK) {
    case SS_LEFT:
    case SS_CENTER:
    case SS_RIGHT:
    case SS_SIMPLE:
    case SS_LEFTNOWORDWRAP:
        break;
    default:
        return {};  // an icon, a frame, a line: no text to read
    }
    char text[256] = {};
    std::string label(text, static_cast<std::size_t>(GetWindowTextA(previous, text, sizeof text)));
    for (std::size_t i = 0; i < label.size(); ++i) {
        if (label[i] == '&') label.erase(i, 1);  // "&&" stands for one "&"
    }
    return label;
}

// The view's value (see kAccessibleValueLimit), read with a message, so it is right from
// whichever thread a client calls; only the newest characters are copied, however long the text.
// Null when there is no memory for it.
BSTR valueOf(HWND view) {
    // One character more than the value holds tells whether the first of them starts a line.
    constexpr std::size_t kWanted = kAccessibleValueLimit + 1;
    const std::unique_ptr<char[]> buffer(new (std::nothrow) char[kWanted + 1]);
    if (buffer == nullptr) return nullptr;
    const auto copied = static_cast<std::size_t>(
        SendMessageA(view, kReceiveViewGetNewestText, kWanted, reinterpret_cast<LPARAM>(buffer.get())));
    std::string_view text(buffer.get(), std::min(copied, kWanted));
    if (text.size() == kWanted) {
        std::size_t lineStart = 1;
        if (text[0] != '\n') {
            const std::size_t lineEnd = text.find('\n', 1);
            if (lineEnd != std::string_view::npos && lineEnd + 1 < text.size()) lineStart = lineEnd + 1;
        }
        text.remove_prefix(lineStart);
    }
    return bstrFromAnsi(text);
}

// Answers name, value, role, state and keyboard shortcut; forwards the rest to the system's
// object for the window (standard).
class ReceiveViewAccessible final : public IAccessible, public IOleWindow {
public:
    // Takes over the caller's reference to standard.
    ReceiveViewAccessible(HWND view, IAccessible* standard) : view_(view), standard_(standard) {}
    ReceiveViewAccessible(const ReceiveViewAccessible&) = delete;
    ReceiveViewAccessible& operator=(const ReceiveViewAccessible&) = delete;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
        if (object == nullptr) return E_POINTER;
        if (iid == __uuidof(IUnknown) || iid == __uuidof(IDispatch) || iid == __uuidof(IAccessible)) {
            *object = static_cast<IAccessible*>(this);
        } else if (iid == __uuidof(IOleWindow)) {
            *object = static_cast<IOleWindow*>(this);
        } else {
            *object = nullptr;
            return E_NOINTERFACE;
        }
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&references_)); }
    ULONG STDMETHODCALLTYPE Release() override {
        const LONG left = InterlockedDecrement(&references_);
        if (left == 0) delete this;
        return static_cast<ULONG>(left);
    }

    // IOleWindow: which window the object stands for (WindowFromAccessibleObject).
    HRESULT STDMETHODCALLTYPE GetWindow(HWND* window) override {
        if (window == nullptr) return E_POINTER;
        *window = view_;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }

    // What an edit box's object says.
    HRESULT STDMETHODCALLTYPE get_accName(VARIANT child, BSTR* name) override {
        if (name == nullptr) return E_POINTER;
        if (!isSelf(child)) return standard_->get_accName(child, name);
        *name = nullptr;
        if (!IsWindow(view_)) return E_FAIL;
        const std::string label = labelOf(view_);
        *name = label.empty() ? SysAllocString(kReceiveViewAccessibleName) : bstrFromAnsi(label);
        return *name != nullptr ? S_OK : E_OUTOFMEMORY;
    }
    HRESULT STDMETHODCALLTYPE get_accValue(VARIANT child, BSTR* value) override {
        if (value == nullptr) return E_POINTER;
        if (!isSelf(child)) return standard_->get_accValue(child, value);
        *value = nullptr;
        if (!IsWindow(view_)) return E_FAIL;
        *value = valueOf(view_);
        return *value != nullptr ? S_OK : E_OUTOFMEMORY;
    }
    HRESULT STDMETHODCALLTYPE get_accRole(VARIANT child, VARIANT* role) override {
        if (role == nullptr) return E_POINTER;
        if (!isSelf(child)) return standard_->get_accRole(child, role);
        role->vt = VT_I4;
        role->lVal = ROLE_SYSTEM_TEXT;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_accState(VARIANT child, VARIANT* state) override {
        if (state == nullptr) return E_POINTER;
        const HRESULT result = standard_->get_accState(child, state);
        // The user never edits the view, whatever its style says.
        if (result == S_OK && isSelf(child) && state->vt == VT_I4) state->lVal |= STATE_SYSTEM_READONLY;
        return result;
    }
    HRESULT STDMETHODCALLTYPE get_accKeyboardShortcut(VARIANT child, BSTR* shortcut) override {
        // The system's object would look for an "&" in the window text, which here is what arrived.
        if (shortcut == nullptr) return E_POINTER;
        if (!isSelf(child)) return standard_->get_accKeyboardShortcut(child, shortcut);
        *shortcut = nullptr;
        return S_FALSE;
    }

    // The rest as for any window.
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override { return standard_->GetTypeInfoCount(count); }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID locale, ITypeInfo** info) override {
        return standard_->GetTypeInfo(index, locale, info);
    }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID locale,
                                            DISPID* ids) override {
        return standard_->GetIDsOfNames(iid, names, count, locale, ids);
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID iid, LCID locale, WORD flags, DISPPARAMS* parameters,
                                     VARIANT* result, EXCEPINFO* exception, UINT* badArgument) override {
        return standard_->Invoke(id, iid, locale, flags, parameters, result, exception, badArgument);
    }
    HRESULT STDMETHODCALLTYPE get_accParent(IDispatch** parent) override { return standard_->get_accParent(parent); }
    HRESULT STDMETHODCALLTYPE get_accChildCount(LONG* count) override { return standard_->get_accChildCount(count); }
    HRESULT STDMETHODCALLTYPE get_accChild(VARIANT child, IDispatch** object) override {
        return standard_->get_accChild(child, object);
    }
    HRESULT STDMETHODCALLTYPE get_accDescription(VARIANT child, BSTR* description) override {
        return standard_->get_accDescription(child, description);
    }
    HRESULT STDMETHODCALLTYPE get_accHelp(VARIANT child, BSTR* help) override { return standard_->get_accHelp(child, help); }
    HRESULT STDMETHODCALLTYPE get_accHelpTopic(BSTR* file, VARIANT child, LONG* topic) override {
        return standard_->get_accHelpTopic(file, child, topic);
    }
    HRESULT STDMETHODCALLTYPE get_accFocus(VARIANT* child) override { return standard_->get_accFocus(child); }
    HRESULT STDMETHODCALLTYPE get_accSelection(VARIANT* children) override {
        return standard_->get_accSelection(children);
    }
    HRESULT STDMETHODCALLTYPE get_accDefaultAction(VARIANT child, BSTR* action) override {
        return standard_->get_accDefaultAction(child, action);
    }
    HRESULT STDMETHODCALLTYPE accSelect(LONG flags, VARIANT child) override { return standard_->accSelect(flags, child); }
    HRESULT STDMETHODCALLTYPE accLocation(LONG* left, LONG* top, LONG* width, LONG* height, VARIANT child) override {
        return standard_->accLocation(left, top, width, height, child);
    }
    HRESULT STDMETHODCALLTYPE accNavigate(LONG direction, VARIANT start, VARIANT* end) override {
        return standard_->accNavigate(direction, start, end);
    }
    HRESULT STDMETHODCALLTYPE accHitTest(LONG left, LONG top, VARIANT* child) override {
        return standard_->accHitTest(left, top, child);
    }
    HRESULT STDMETHODCALLTYPE accDoDefaultAction(VARIANT child) override { return standard_->accDoDefaultAction(child); }
    HRESULT STDMETHODCALLTYPE put_accName(VARIANT child, BSTR name) override { return standard_->put_accName(child, name); }
    HRESULT STDMETHODCALLTYPE put_accValue(VARIANT child, BSTR value) override {
        return standard_->put_accValue(child, value);
    }

private:
    ~ReceiveViewAccessible() { standard_->Release(); }

    const HWND view_;
    IAccessible* const standard_;
    LONG references_ = 1;
};

}  // namespace

LRESULT answerReceiveViewGetObject(HWND view, WPARAM flags, LPARAM objectId) {
    // The id is a 32-bit value, which a 64-bit lParam may carry sign-extended or not.
    if (static_cast<DWORD>(objectId) != static_cast<DWORD>(OBJID_CLIENT))
        return DefWindowProcA(view, WM_GETOBJECT, flags, objectId);
    IAccessible* standard = nullptr;
    if (FAILED(CreateStdAccessibleObject(view, OBJID_CLIENT, __uuidof(IAccessible), reinterpret_cast<void**>(&standard))) ||
        standard == nullptr)
        return DefWindowProcA(view, WM_GETOBJECT, flags, objectId);
    IAccessible* const object = new (std::nothrow) ReceiveViewAccessible(view, standard);
    if (object == nullptr) {
        standard->Release();
        return DefWindowProcA(view, WM_GETOBJECT, flags, objectId);
    }
    // The client gets its own reference; ours ends here, so the object lives as long as clients hold it.
    const LRESULT result = LresultFromObject(__uuidof(IAccessible), flags, object);
    object->Release();
    // Without COM on this thread (CO_E_NOTINITIALIZED) clients get at least the system's object.
    return result > 0 ? result : DefWindowProcA(view, WM_GETOBJECT, flags, objectId);
}

void ValueChangeAnnouncer::painting(HWND view) {
    if (!changed_) return;
    changed_ = false;
    NotifyWinEvent(EVENT_OBJECT_VALUECHANGE, view, OBJID_CLIENT, CHILDID_SELF);
}

}  // namespace quenlet

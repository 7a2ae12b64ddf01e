#include "ui/receive_view_accessibility.h"

#include <oleacc.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <string_view>
#include <utility>

#include "framework/handles.h"
#include "ui/receive_view.h"

namespace quenlet {
namespace {

// Clients name the object itself with CHILDID_SELF; some leave the VARIANT empty for it, and a
// late-bound call that leaves out the optional child gets it as "parameter not found".
bool isSelf(const VARIANT& child) {
    return child.vt == VT_EMPTY || (child.vt == VT_I4 && child.lVal == CHILDID_SELF) ||
           (child.vt == VT_ERROR && child.scode == DISP_E_PARAMNOTFOUND);
}

// child as the system's object takes it: CHILDID_SELF for any way of naming the object itself.
VARIANT forwarded(const VARIANT& child) {
    if (!isSelf(child)) return child;
    VARIANT self{};
    self.vt = VT_I4;
    self.lVal = CHILDID_SELF;
    return self;
}

struct ComReleaser {
    void operator()(IUnknown* object) const { object->Release(); }
};
template <typename Interface>
using ComReference = std::unique_ptr<Interface, ComReleaser>;

// The kind of type info describes, or an error.
HRESULT kindOf(ITypeInfo& info, TYPEKIND& kind) {
    TYPEATTR* attributes = nullptr;
    const HRESULT result = info.GetTypeAttr(&attributes);
    if (FAILED(result)) return result;
    kind = attributes->typekind;
    info.ReleaseTypeAttr(attributes);
    return S_OK;
}

// IAccessible as the oleacc type library describes it, for answering IDispatch with the object's
// own answers (DispGetIDsOfNames, DispInvoke). The library is read from the oleacc.dll this
// process runs, by its full path: the registry is not needed, and no file of that name elsewhere
// on the search path can stand in with another layout. The library describes the dual interface
// first as a dispinterface; DispInvoke calls through the vtable half.
HRESULT loadAccessibleTypeInfo(ComReference<ITypeInfo>& vtableInfo) {
    const HMODULE oleacc = GetModuleHandleW(L"oleacc.dll");  // imported, so loaded
    if (oleacc == nullptr) return HRESULT_FROM_WIN32(GetLastError());
    wchar_t path[MAX_PATH + 1] = {};
    const DWORD length = GetModuleFileNameW(oleacc, path, MAX_PATH + 1);
    if (length == 0) return HRESULT_FROM_WIN32(GetLastError());
    if (length > MAX_PATH) return HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER);
    ITypeLib* library = nullptr;
    HRESULT result = LoadTypeLibEx(path, REGKIND_NONE, &library);
    if (FAILED(result)) return result;
    const ComReference<ITypeLib> libraryReference(library);
    ITypeInfo* described = nullptr;
    result = library->GetTypeInfoOfGuid(__uuidof(IAccessible), &described);
    if (FAILED(result)) return result;
    ComReference<ITypeInfo> info(described);
    TYPEKIND kind = TKIND_MAX;
    result = kindOf(*info, kind);
    if (FAILED(result)) return result;
    if (kind == TKIND_DISPATCH) {
        HREFTYPE vtableHalf = 0;
        result = info->GetRefTypeOfImplType(static_cast<UINT>(-1), &vtableHalf);
        if (FAILED(result)) return result;
        ITypeInfo* half = nullptr;
        result = info->GetRefTypeInfo(vtableHalf, &half);
        if (FAILED(result)) return result;
        info.reset(half);
        result = kindOf(*info, kind);
        if (FAILED(result)) return result;
    }
    if (kind != TKIND_INTERFACE) return TYPE_E_WRONGTYPEKIND;
    vtableInfo = std::move(info);
    return S_OK;
}

// The type info above, loaded on first use and kept for the life of the process (as any number
// of objects on any thread use it, and it never changes). Type infos of a loaded library may be
// used from any thread.
class AccessibleTypeInfo {
public:
    static const AccessibleTypeInfo& get() {
        static const AccessibleTypeInfo instance;
        return instance;
    }
    // Null when it could not be loaded; then result() says why.
    ITypeInfo* info() const { return info_.get(); }
    HRESULT result() const { return result_; }

private:
    AccessibleTypeInfo() : result_(loadAccessibleTypeInfo(info_)) {}

    ComReference<ITypeInfo> info_;
    const HRESULT result_;
};

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

// A read of a view's newest text by the object, open while it is listed here. The read goes by
// message (kReceiveViewGetNewestText), as the object's methods may run on any thread: on the
// view's own when a client in another process or apartment calls through COM's marshalling (the
// object is made there, in WM_GETOBJECT, and the view's thread is a single-threaded apartment), on
// the client's thread when it holds the object itself. Either way the message runs the copy on the
// view's thread, the only one that touches the text.
//
// The message carries a pointer, and any thread of any process can send or post the view a
// message: the view writes only into a read listed here for that view and not answered yet, so a
// made-up or stale pointer gets nothing and nothing is written. Checking the sender would not do:
// InSendMessage tells a message sent from another thread, but a posted one reaches the window
// procedure as if the view's own thread had sent it.
class NewestTextRead {
public:
    // Opens a read of view's newest count characters into buffer, which holds count + 1.
    NewestTextRead(HWND view, char* buffer, std::size_t count) : view_(view), buffer_(buffer), count_(count) {
        OpenReads& open = openReads();
        const CriticalSectionLock lock(open.lock);
        next_ = open.first;
        open.first = this;
    }
    ~NewestTextRead() { close(); }
    NewestTextRead(const NewestTextRead&) = delete;
    NewestTextRead& operator=(const NewestTextRead&) = delete;

    // Asks the view; returns how many characters the buffer got, followed by a NUL (0 when the
    // view is gone). The read is closed then: nothing writes to the buffer any more.
    std::size_t read() {
        SendMessageA(view_, kReceiveViewGetNewestText, 0, reinterpret_cast<LPARAM>(this));
        return close();
    }

    // See answerReceiveViewNewestText.
    static LRESULT answer(HWND view, LPARAM read, std::string_view text) {
        OpenReads& open = openReads();
        const CriticalSectionLock lock(open.lock);
        // Compared as numbers: only a listed read is ever looked into.
        NewestTextRead* listed = open.first;
        while (listed != nullptr && reinterpret_cast<LPARAM>(listed) != read) listed = listed->next_;
        if (listed == nullptr || listed->view_ != view || listed->answered_) return 0;
        const std::size_t copied = std::min(listed->count_, text.size());
        std::memcpy(listed->buffer_, text.data() + text.size() - copied, copied);
        listed->buffer_[copied] = '\0';
        listed->copied_ = copied;
        listed->answered_ = true;
        return static_cast<LRESULT>(copied);
    }

private:
    struct OpenReads {
        CriticalSection lock;
        NewestTextRead* first = nullptr;
    };
    static OpenReads& openReads() {
        static OpenReads open;
        return open;
    }

    // Takes the read off the list, after any copy into it has ended; returns what it got.
    std::size_t close() {
        OpenReads& open = openReads();
        const CriticalSectionLock lock(open.lock);
        for (NewestTextRead** link = &open.first; *link != nullptr; link = &(*link)->next_) {
            if (*link == this) {
                *link = next_;
                break;
            }
        }
        return copied_;
    }

    const HWND view_;
    char* const buffer_;
    const std::size_t count_;
    std::size_t copied_ = 0;
    bool answered_ = false;
    NewestTextRead* next_ = nullptr;
};

// The view's value (see kAccessibleValueLimit); only the newest characters are copied, however
// long the text. Null when there is no memory for it.
BSTR valueOf(HWND view) {
    // One character more than the value holds tells whether the first of them starts a line.
    constexpr std::size_t kWanted = kAccessibleValueLimit + 1;
    const std::unique_ptr<char[]> buffer(new (std::nothrow) char[kWanted + 1]);
    if (buffer == nullptr) return nullptr;
    const std::size_t copied = NewestTextRead(view, buffer.get(), kWanted).read();
    std::string_view text(buffer.get(), copied);
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

// Answers name, value, role, state and keyboard shortcut, through IAccessible and IDispatch
// alike; forwards the rest to the system's object for the window (standard).
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
        const HRESULT result = standard_->get_accState(forwarded(child), state);
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

    // IDispatch, for late-bound clients: the same answers as the methods here. The system's object
    // would answer with its own methods, whose name is the window text, all of it.
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
        if (count == nullptr) return E_POINTER;
        *count = AccessibleTypeInfo::get().info() != nullptr ? 1 : 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID, ITypeInfo** info) override {
        if (info == nullptr) return E_POINTER;
        *info = nullptr;
        if (index != 0) return DISP_E_BADINDEX;
        const AccessibleTypeInfo& typeInfo = AccessibleTypeInfo::get();
        if (typeInfo.info() == nullptr) return typeInfo.result();
        typeInfo.info()->AddRef();
        *info = typeInfo.info();
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID, DISPID* ids) override {
        if (iid != IID_NULL) return DISP_E_UNKNOWNINTERFACE;
        const AccessibleTypeInfo& typeInfo = AccessibleTypeInfo::get();
        if (typeInfo.info() == nullptr) return typeInfo.result();
        return DispGetIDsOfNames(typeInfo.info(), names, count, ids);
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID iid, LCID, WORD flags, DISPPARAMS* parameters,
                                     VARIANT* result, EXCEPINFO* exception, UINT* badArgument) override {
        if (iid != IID_NULL) return DISP_E_UNKNOWNINTERFACE;
        const AccessibleTypeInfo& typeInfo = AccessibleTypeInfo::get();
        if (typeInfo.info() == nullptr) return typeInfo.result();
        return DispInvoke(static_cast<IAccessible*>(this), typeInfo.info(), id, flags, parameters, result, exception,
                          badArgument);
    }

    // The rest as for any window.
    HRESULT STDMETHODCALLTYPE get_accParent(IDispatch** parent) override { return standard_->get_accParent(parent); }
    HRESULT STDMETHODCALLTYPE get_accChildCount(LONG* count) override { return standard_->get_accChildCount(count); }
    HRESULT STDMETHODCALLTYPE get_accChild(VARIANT child, IDispatch** object) override {
        return standard_->get_accChild(child, object);
    }
    HRESULT STDMETHODCALLTYPE get_accDescription(VARIANT child, BSTR* description) override {
        return standard_->get_accDescription(forwarded(child), description);
    }
    HRESULT STDMETHODCALLTYPE get_accHelp(VARIANT child, BSTR* help) override {
        return standard_->get_accHelp(forwarded(child), help);
    }
    HRESULT STDMETHODCALLTYPE get_accHelpTopic(BSTR* file, VARIANT child, LONG* topic) override {
        return standard_->get_accHelpTopic(file, forwarded(child), topic);
    }
    HRESULT STDMETHODCALLTYPE get_accFocus(VARIANT* child) override { return standard_->get_accFocus(child); }
    HRESULT STDMETHODCALLTYPE get_accSelection(VARIANT* children) override {
        return standard_->get_accSelection(children);
    }
    HRESULT STDMETHODCALLTYPE get_accDefaultAction(VARIANT child, BSTR* action) override {
        return standard_->get_accDefaultAction(forwarded(child), action);
    }
    HRESULT STDMETHODCALLTYPE accSelect(LONG flags, VARIANT child) override {
        return standard_->accSelect(flags, forwarded(child));
    }
    HRESULT STDMETHODCALLTYPE accLocation(LONG* left, LONG* top, LONG* width, LONG* height, VARIANT child) override {
        return standard_->accLocation(left, top, width, height, forwarded(child));
    }
    HRESULT STDMETHODCALLTYPE accNavigate(LONG direction, VARIANT start, VARIANT* end) override {
        return standard_->accNavigate(direction, forwarded(start), end);
    }
    HRESULT STDMETHODCALLTYPE accHitTest(LONG left, LONG top, VARIANT* child) override {
        return standard_->accHitTest(left, top, child);
    }
    HRESULT STDMETHODCALLTYPE accDoDefaultAction(VARIANT child) override {
        return standard_->accDoDefaultAction(forwarded(child));
    }
    HRESULT STDMETHODCALLTYPE put_accName(VARIANT child, BSTR name) override {
        return standard_->put_accName(forwarded(child), name);
    }
    HRESULT STDMETHODCALLTYPE put_accValue(VARIANT child, BSTR value) override {
        return standard_->put_accValue(forwarded(child), value);
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

LRESULT answerReceiveViewNewestText(HWND view, LPARAM read, std::string_view text) {
    return NewestTextRead::answer(view, read, text);
}

void ValueChangeAnnouncer::painting(HWND view) {
    if (!changed_) return;
    changed_ = false;
    NotifyWinEvent(EVENT_OBJECT_VALUECHANGE, view, OBJID_CLIENT, CHILDID_SELF);
}

}  // namespace quenlet

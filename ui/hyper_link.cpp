#include "ui/hyper_link.h"

#include <commctrl.h>
#include <shellapi.h>

#include <algorithm>
#include <utility>

#include "ui/receive_view_gdi.h"

namespace quenlet {

std::vector<HyperLink::ParentRegistration> HyperLink::parentRegistry;
unsigned HyperLink::lastRegistrationId = 0;

namespace {

WNDPROC replaceWindowProc(HWND window, WNDPROC procedure) {
    return reinterpret_cast<WNDPROC>(
        SetWindowLongPtrA(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(procedure)));
}

}  // namespace

HyperLink::HyperLink() : handCursor(LoadCursorA(nullptr, IDC_HAND)) {}

HyperLink::~HyperLink() { Detach(); }

bool HyperLink::Attach(HWND control, bool autoSize) {
    if (!IsWindow(control)) return false;
    if (controlWindow != nullptr && !Detach()) return false;

    // Without its entry code the control cannot be subclassed at all; touch nothing then.
    const WNDPROC controlEntry = controlBinding.bindWindowProc(this, &HyperLink::ControlProc);
    if (controlEntry == nullptr) return false;

    controlWindow = control;
    controlDestroyed = false;
    controlPreviousProc = replaceWindowProc(control, controlEntry);
    if (!SetPropA(control, PROP_OBJECT_PTR, this)) return false;
    if (!joinParent(GetParent(control))) return false;
    if (controlPreviousProc == nullptr) return false;

    // A static control without SS_NOTIFY is transparent to the mouse.
    SetWindowLongA(control, GWL_STYLE, GetWindowLongA(control, GWL_STYLE) | SS_NOTIFY);

    fontDescription = {};
    previousFont = reinterpret_cast<HFONT>(SendMessageA(control, WM_GETFONT, 0, 0));
    GetObjectA(previousFont, sizeof fontDescription, &fontDescription);
    CreateFonts();
    ApplyFont();
    if (autoSize) SizeToText();
    return true;
}

bool HyperLink::Detach() {
    if (controlWindow == nullptr) return true;

    bool result = true;
    if (!controlDestroyed && IsWindow(controlWindow)) {
        RemovePropA(controlWindow, PROP_OBJECT_PTR);
        if (controlPreviousProc == nullptr ||
            replaceWindowProc(controlWindow, controlPreviousProc) == nullptr) {
            result = false;
        }
        if (previousFont != nullptr) {
            setControlFont(previousFont);
            invalidateControl();
        }
    }
    plainFont.reset();
    underlinedFont.reset();
    leaveParent();

    controlWindow = nullptr;
    controlPreviousProc = nullptr;
    previousFont = nullptr;
    hovering = false;
    pressed = false;
    return result;
}

bool HyperLink::Navigate() {
    if (url.empty()) return false;
    SHELLEXECUTEINFOA request{};
    request.cbSize = sizeof request;
    request.fMask = 0;
    request.hwnd = nullptr;
    request.lpVerb = "open";
    request.lpFile = url.c_str();
    request.nShow = SW_SHOWNORMAL;
    return ShellExecuteExA(&request) != FALSE;
}

void HyperLink::CreateFonts() {
    fontDescription.lfUnderline = 0;
    plainFont.reset(CreateFontIndirectA(&fontDescription));
    fontDescription.lfUnderline = 1;
    underlinedFont.reset(CreateFontIndirectA(&fontDescription));
}

void HyperLink::ApplyFont() {
    if (!IsWindow(controlWindow)) return;
    setControlFont(hovering ? underlinedFont.get() : plainFont.get());
    invalidateControl();
}

void HyperLink::SizeToText() {
    if (!IsWindow(controlWindow) || !plainFont) return;

    const auto length = SendMessageA(controlWindow, WM_GETTEXTLENGTH, 0, 0);
    std::string text(static_cast<size_t>(std::max<LRESULT>(length, 0)) + 1, '\0');
    SendMessageA(controlWindow, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()));

    RECT extent{0, 0, 0, 0};
    {
        const WindowDc dc(controlWindow);
        const ObjectSelection font(dc.get(), plainFont.get());
        DrawTextA(dc.get(), text.c_str(), -1, &extent, DT_CALCRECT);
    }
    SetWindowPos(controlWindow, HWND_TOP, 0, 0, extent.right, extent.bottom, SWP_NOMOVE);
}

LRESULT HyperLink::ControlProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    // Read first: a Navigate override may detach this link.
    const WNDPROC previous = controlPreviousProc;
    switch (message) {
    case WM_MOUSEMOVE:
        OnMouseMove();
        break;
    case WM_LBUTTONDOWN:
        OnLeftButtonDown();
        break;
    case WM_LBUTTONUP:
        OnLeftButtonUp();
        break;
    case WM_MOUSELEAVE:
        OnMouseLeave();
        break;
    case WM_NCDESTROY:
        OnControlDestroyed(window);
        break;
    default:
        break;
    }
    return CallWindowProcA(previous, window, message, wParam, lParam);
}

LRESULT HyperLink::ParentProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    // This link may be detached and even destroyed by a handler further down; do not touch it after.
    const LRESULT result = CallWindowProcA(parentPreviousProc, window, message, wParam, lParam);
    if (message == WM_CTLCOLORSTATIC) {
        const auto* const link =
            static_cast<const HyperLink*>(GetPropA(reinterpret_cast<HWND>(lParam), PROP_OBJECT_PTR));
        if (link != nullptr) SetTextColor(reinterpret_cast<HDC>(wParam), link->currentColor());
    }
    return result;
}

void HyperLink::OnMouseMove() {
    if (!hovering) {
        setControlFont(underlinedFont.get());
        invalidateControl();
    }
    hovering = true;
    SetCursor(handCursor);
    // Renewed on every move: the system cancels the request once it has reported a leave.
    TRACKMOUSEEVENT tracking{};
    tracking.cbSize = sizeof tracking;
    tracking.dwFlags = TME_HOVER | TME_LEAVE;
    tracking.hwndTrack = controlWindow;
    tracking.dwHoverTime = 1;
    _TrackMouseEvent(&tracking);
}

void HyperLink::OnLeftButtonDown() {
    pressed = true;
    SetCursor(handCursor);
    invalidateControl();
    const HWND focused = GetFocus();
    if (focused != nullptr) SendMessageA(focused, WM_KILLFOCUS, 0, 0);
    SetFocus(controlWindow);
}

void HyperLink::OnLeftButtonUp() {
    if (pressed) {
        visited = true;
        Navigate();
    }
    pressed = false;
    SetCursor(handCursor);
    invalidateControl();
}

void HyperLink::OnMouseLeave() {
    setControlFont(plainFont.get());
    hovering = false;
    pressed = false;
    invalidateControl();
}

void HyperLink::OnControlDestroyed(HWND window) {
    // Properties must not outlive their window, and the parent must not keep counting a link
    // whose control is gone.
    RemovePropA(window, PROP_OBJECT_PTR);
    controlDestroyed = true;
    leaveParent();
}

void HyperLink::setControlFont(HFONT font) const {
    if (controlDestroyed || !IsWindow(controlWindow)) return;
    SendMessageA(controlWindow, WM_SETFONT, reinterpret_cast<WPARAM>(font), 0);
}

void HyperLink::invalidateControl() const {
    if (controlDestroyed || !IsWindow(controlWindow)) return;
    InvalidateRect(controlWindow, nullptr, TRUE);
}

COLORREF HyperLink::currentColor() const {
    if (visited) return visitedColor;
    if (pressed) return activeColor;
    if (hovering) return hoverColor;
    return normalColor;
}

bool HyperLink::joinParent(HWND parent) {
    const auto listed = std::find_if(parentRegistry.begin(), parentRegistry.end(),
                                     [parent](const ParentRegistration& r) { return r.parent == parent; });
    if (listed != parentRegistry.end()) {
        ++listed->linkCount;
        registrationId = listed->id;
        return true;
    }
    ParentRegistration registration{parent, 1, nullptr, nullptr, ++lastRegistrationId};
    // Listed only once the parent really runs through a link, so the last one to leave never
    // installs a procedure that was not there.
    if (!subclassParent(registration)) return false;
    parentRegistry.push_back(registration);
    registrationId = registration.id;
    return true;
}

bool HyperLink::subclassParent(ParentRegistration& registration) {
    const WNDPROC parentEntry = parentBinding.bindWindowProc(this, &HyperLink::ParentProc);
    if (parentEntry == nullptr) return false;
    // Handing over: the parent's original procedure is the one to chain to, not the old holder.
    if (registration.previousProc != nullptr) parentPreviousProc = registration.previousProc;
    const WNDPROC replaced = replaceWindowProc(registration.parent, parentEntry);
    if (replaced == nullptr) return false;
    if (registration.previousProc == nullptr) {
        registration.previousProc = replaced;
        parentPreviousProc = replaced;
    }
    registration.subclasser = this;
    return true;
}

void HyperLink::leaveParent() {
    const unsigned id = std::exchange(registrationId, 0);
    const auto listed = std::find_if(parentRegistry.begin(), parentRegistry.end(),
                                     [id](const ParentRegistration& r) { return r.id == id; });
    if (id == 0 || listed == parentRegistry.end()) return;

    --listed->linkCount;
    if (listed->subclasser != this) return;  // the holder is another link still counted

    // The parent runs through this link's entry code, which dies with it: pass the parent on to a
    // link still attached there, or give the parent its own procedure back.
    HyperLink* const successor = listed->linkCount > 0 ? otherLinkOn(*listed) : nullptr;
    if (successor != nullptr && successor->subclassParent(*listed)) return;
    if (IsWindow(listed->parent)) replaceWindowProc(listed->parent, listed->previousProc);
    parentRegistry.erase(listed);
}

HyperLink* HyperLink::otherLinkOn(const ParentRegistration& registration) const {
    for (HWND child = GetWindow(registration.parent, GW_CHILD); child != nullptr;
         child = GetWindow(child, GW_HWNDNEXT)) {
        auto* const link = static_cast<HyperLink*>(GetPropA(child, PROP_OBJECT_PTR));
        if (link != nullptr && link != this && link->registrationId == registration.id) return link;
    }
    return nullptr;
}

}  // namespace quenlet

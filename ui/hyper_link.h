// HyperLink: turns an existing static text control of a dialog into a clickable link. The control
// keeps its own text; Attach replaces its window procedure (hover underline, hand cursor, click to
// open) and, once per parent window, the parent's procedure, which colours the text of every link
// on that parent when the control asks for its colours (WM_CTLCOLORSTATIC).
//
// The parent runs through the entry code of one of its links. When that link leaves (detached, or
// its control destroyed) while others remain, it hands the parent over to one of them; the last one
// gives the parent its own procedure back. A link whose control is destroyed leaves its parent at
// once, so closing a dialog empties its registration before the handle can be reused.
//
// Window thread only.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "core/member_thunk.h"
#include "framework/ui_handles.h"

namespace quenlet {

class HyperLink {
public:
    // The window property by which a link's control carries a pointer to its HyperLink.
    static constexpr char PROP_OBJECT_PTR[] = "HyperLink::PROP_OBJECT_PTR";

    // One parent window whose procedure links replaced, and how many links are attached on it.
    struct ParentRegistration {
        HWND parent;
        int linkCount;
        // The parent's procedure before the first link on it; put back when the last one leaves.
        WNDPROC previousProc;
        // The link whose parentBinding the parent's procedure currently runs through; always one
        // of the links counted.
        HyperLink* subclasser;
        unsigned id;
    };

    HyperLink();
    virtual ~HyperLink();
    HyperLink(const HyperLink&) = delete;
    HyperLink& operator=(const HyperLink&) = delete;

    // Takes over control (a static text control of a dialog). With autoSize the control is resized
    // to its text, so only the text is clickable. False when control is not a window or it could
    // not be subclassed; steps already done are then kept.
    bool Attach(HWND control, bool autoSize);
    // Gives the control back its procedure and font. True when it was never attached.
    bool Detach();

    void SetURL(std::string target) { url = std::move(target); }
    const std::string& GetURL() const { return url; }
    HWND GetControl() const { return controlWindow; }

    // Opens url with the shell's "open" verb; false for an empty url or when the shell fails.
    // Called when a click on the control completes.
    virtual bool Navigate();

    // Every parent window currently subclassed by links, in order of registration.
    static const std::vector<ParentRegistration>& registeredParents() { return parentRegistry; }

private:
    void CreateFonts();
    void ApplyFont();
    void SizeToText();

    LRESULT ControlProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT ParentProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

    void OnMouseMove();
    void OnLeftButtonDown();
    void OnLeftButtonUp();
    void OnMouseLeave();

    void setControlFont(HFONT font) const;
    void invalidateControl() const;
    COLORREF currentColor() const;

    // The control is gone: it cannot be given anything back, only forgotten.
    void OnControlDestroyed(HWND window);

    // Parent registration: joining a parent (subclassing it if this is the first link on it),
    // leaving it (handing the parent over or giving its procedure back) and taking it over.
    bool joinParent(HWND parent);
    void leaveParent();
    bool subclassParent(ParentRegistration& registration);
    HyperLink* otherLinkOn(const ParentRegistration& registration) const;

    HWND controlWindow = nullptr;
    MemberThunk controlBinding;
    MemberThunk parentBinding;
    WNDPROC controlPreviousProc = nullptr;
    WNDPROC parentPreviousProc = nullptr;
    // Which registration this link is counted in (0: none). Pairs are told apart by this rather
    // than by the parent's handle, which a later window may get again.
    unsigned registrationId = 0;
    bool controlDestroyed = false;

    bool hovering = false;
    bool visited = false;
    bool pressed = false;

    const COLORREF normalColor = RGB(0, 0, 255);
    const COLORREF hoverColor = RGB(255, 0, 255);
    const COLORREF activeColor = RGB(255, 0, 0);
    const COLORREF visitedColor = RGB(128, 0, 128);

    LOGFONTA fontDescription{};
    UniqueFont plainFont;
    UniqueFont underlinedFont;
    HFONT previousFont = nullptr;  // the control's own; not ours to delete

    std::string url;
    const HCURSOR handCursor;  // shared system cursor

    static std::vector<ParentRegistration> parentRegistry;
    static unsigned lastRegistrationId;
};

}  // namespace quenlet

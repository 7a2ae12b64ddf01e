#include "framework/toolbar.h"

#include <commctrl.h>

#include <algorithm>
#include <utility>
#include <vector>

#include "framework/application.h"
#include "framework/screen_dpi.h"

namespace quenlet {
namespace {

constexpr char kToolBarProperty[] = "quenlet.toolbar";
// What a button adds around its image at 100 %, across and down: the control's own default.
constexpr SIZE kButtonMargin{7, 6};

HINSTANCE resourceModule() {
    const Application* const application = Application::current();
    return application != nullptr ? application->instance() : GetModuleHandleA(nullptr);
}

SIZE windowSize(HWND window) {
    RECT bounds{};
    GetWindowRect(window, &bounds);
    return {bounds.right - bounds.left, bounds.bottom - bounds.top};
}

}  // namespace

bool ToolBar::create(HWND parent, UINT controlId, DWORD borders) {
    if (window_) return false;
    // The control neither sizes nor places itself (it would leave the borders out): autoSize does.
    const DWORD style = WS_CHILD | WS_VISIBLE | TBSTYLE_FLAT | TBSTYLE_TOOLTIPS | CCS_TOP | CCS_NODIVIDER |
                        CCS_NORESIZE | CCS_NOPARENTALIGN;
    window_.reset(CreateWindowExA(0, TOOLBARCLASSNAMEA, nullptr, style, 0, 0, 0, 0, parent,
                                  reinterpret_cast<HMENU>(static_cast<UINT_PTR>(controlId)),
                                  resourceModule(), nullptr));
    if (!window_) return false;
    borders_ = borders;
    if (SetPropA(window_.get(), kToolBarProperty, this)) {
        controlProcedure_ = reinterpret_cast<WNDPROC>(SetWindowLongPtrA(
            window_.get(), GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&ToolBar::barProcedure)));
    }
    send(TB_BUTTONSTRUCTSIZE, sizeof(TBBUTTON));
    autoSize();
    return true;
}

LRESULT CALLBACK ToolBar::barProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    const ToolBar* const bar = static_cast<const ToolBar*>(GetPropA(window, kToolBarProperty));
    if (bar == nullptr || bar->controlProcedure_ == nullptr) {
        return DefWindowProcA(window, message, wParam, lParam);
    }
    const WNDPROC control = bar->controlProcedure_;
    switch (message) {
    case WM_NCCALCSIZE: {
        const LRESULT result = CallWindowProcA(control, window, message, wParam, lParam);
        // The client rectangle comes first, alone or in NCCALCSIZE_PARAMS.
        RECT& client = *reinterpret_cast<RECT*>(lParam);
        const RECT insets = toolBarBorderInsets(bar->borders_);
        client.left = std::min(client.left + insets.left, client.right);
        client.bottom = std::max(client.bottom - insets.bottom, client.top);
        return result;
    }
    case WM_NCPAINT: {
        const LRESULT result = CallWindowProcA(control, window, message, wParam, lParam);
        if (const HDC dc = GetWindowDC(window)) {
            drawToolBarBorders(dc, windowSize(window), bar->borders_);
            ReleaseDC(window, dc);
        }
        return result;
    }
    case WM_PRINT: {
        const LRESULT result = CallWindowProcA(control, window, message, wParam, lParam);
        if (lParam & PRF_NONCLIENT) {
            drawToolBarBorders(reinterpret_cast<HDC>(wParam), windowSize(window), bar->borders_);
        }
        return result;
    }
    case WM_NCDESTROY:
        SetWindowLongPtrA(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(control));
        RemovePropA(window, kToolBarProperty);
        return CallWindowProcA(control, window, message, wParam, lParam);
    default:
        return CallWindowProcA(control, window, message, wParam, lParam);
    }
}

bool ToolBar::loadToolBar(UINT resourceId) {
    const std::optional<ToolBarLayout> layout = loadToolBarResource(resourceModule(), resourceId);
    return layout && setButtons(resourceId, layout->imageSize, layout->commandIds);
}

bool ToolBar::loadToolBar(UINT resourceId, const ToolBarStrip& strip) {
    const std::optional<ToolBarLayout> layout = loadToolBarResource(resourceModule(), resourceId);
    if (!layout || !setButtons(strip.bitmapId, strip.imageSize, layout->commandIds)) return false;
    const SIZE button = buttonSizeFor(strip.imageSize, strip.dpi);
    send(TB_SETBUTTONSIZE, 0, MAKELPARAM(button.cx, button.cy));
    autoSize();
    return true;
}

SIZE ToolBar::buttonSizeFor(SIZE imageSize, int dpi) {
    return {imageSize.cx + scaledToDpi(kButtonMargin.cx, dpi), imageSize.cy + scaledToDpi(kButtonMargin.cy, dpi)};
}

bool ToolBar::setButtons(UINT bitmapId, SIZE imageSize, std::span<const UINT> commandIds) {
    UniqueBitmap strip(
        CreateMappedBitmap(resourceModule(), static_cast<INT_PTR>(bitmapId), 0, nullptr, 0));
    return setButtons(std::move(strip), imageSize, commandIds);
}

bool ToolBar::setButtons(UniqueBitmap strip, SIZE imageSize, std::span<const UINT> commandIds) {
    if (!window_ || !strip || imageSize.cx <= 0) return false;

    BITMAP bitmap{};
    GetObjectA(strip.get(), sizeof(bitmap), &bitmap);
    const int imageCount = bitmap.bmWidth / imageSize.cx;
    send(TB_SETBITMAPSIZE, 0, MAKELPARAM(imageSize.cx, imageSize.cy));
    TBADDBITMAP images{nullptr, reinterpret_cast<UINT_PTR>(strip.get())};
    if (send(TB_ADDBITMAP, static_cast<WPARAM>(imageCount), reinterpret_cast<LPARAM>(&images)) == -1) {
        return false;
    }
    strip_ = std::move(strip);

    std::vector<TBBUTTON> buttons;
    buttons.reserve(commandIds.size());
    int image = 0;
    for (const UINT id : commandIds) {
        TBBUTTON button{};
        if (id == 0) {
            button.fsStyle = TBSTYLE_SEP;
        } else {
            button.iBitmap = image++;
            button.idCommand = static_cast<int>(id);
            button.fsState = TBSTATE_ENABLED;
            button.fsStyle = TBSTYLE_BUTTON;
        }
        buttons.push_back(button);
    }
    const bool added = send(TB_ADDBUTTONSA, buttons.size(), reinterpret_cast<LPARAM>(buttons.data())) != FALSE;
    autoSize();
    return added;
}

void ToolBar::autoSize() const {
    if (!window_) return;
    RECT parent{};
    GetClientRect(GetParent(window_.get()), &parent);
    const RECT insets = toolBarBorderInsets(borders_);
    const int height = buttonRowsHeight() + insets.top + insets.bottom;
    SetWindowPos(window_.get(), nullptr, 0, 0, parent.right - parent.left, height,
                 SWP_NOZORDER | SWP_NOACTIVATE);
}

int ToolBar::buttonRowsHeight() const {
    bool found = false;
    RECT rows{};
    for (int index = 0; index < buttonCount(); ++index) {
        RECT button{};
        if (!send(TB_GETITEMRECT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&button))) continue;
        rows.top = found ? std::min(rows.top, button.top) : button.top;
        rows.bottom = found ? std::max(rows.bottom, button.bottom) : button.bottom;
        found = true;
    }
    // Without buttons: one row of the button height.
    if (!found) return HIWORD(send(TB_GETBUTTONSIZE));
    return rows.bottom + rows.top;
}

HWND ToolBar::toolTips() const { return reinterpret_cast<HWND>(send(TB_GETTOOLTIPS)); }

int ToolBar::buttonCount() const { return static_cast<int>(send(TB_BUTTONCOUNT)); }

int ToolBar::buttonState(UINT commandId) const {
    if (!window_) return -1;
    return static_cast<int>(send(TB_GETSTATE, commandId));
}

bool ToolBar::setButtonState(UINT commandId, UINT state) const {
    return send(TB_SETSTATE, commandId, MAKELPARAM(state, 0)) != FALSE;
}

bool ToolBar::enableButton(UINT commandId, bool enable) const {
    return send(TB_ENABLEBUTTON, commandId, MAKELPARAM(enable ? TRUE : FALSE, 0)) != FALSE;
}

bool ToolBar::isButtonEnabled(UINT commandId) const {
    const int state = buttonState(commandId);
    return state != -1 && (state & TBSTATE_ENABLED) != 0;
}

SIZE ToolBar::size() const {
    RECT bounds{};
    if (window_) GetWindowRect(window_.get(), &bounds);
    return {bounds.right - bounds.left, bounds.bottom - bounds.top};
}

int ToolBar::height() const { return size().cy; }

LRESULT ToolBar::send(UINT message, WPARAM wParam, LPARAM lParam) const {
    return window_ ? SendMessageA(window_.get(), message, wParam, lParam) : 0;
}

}  // namespace quenlet

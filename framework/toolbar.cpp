#include "framework/toolbar.h"

#include <commctrl.h>

#include <utility>
#include <vector>

#include "framework/application.h"
#include "framework/toolbar_resource.h"

namespace quenlet {
namespace {

HINSTANCE resourceModule() {
    const Application* const application = Application::current();
    return application != nullptr ? application->instance() : GetModuleHandleA(nullptr);
}

}  // namespace

bool ToolBar::create(HWND parent, UINT controlId) {
    if (window_) return false;
    const DWORD style = WS_CHILD | WS_VISIBLE | TBSTYLE_FLAT | TBSTYLE_TOOLTIPS | CCS_TOP | CCS_NODIVIDER;
    window_.reset(CreateWindowExA(0, TOOLBARCLASSNAMEA, nullptr, style, 0, 0, 0, 0, parent,
                                  reinterpret_cast<HMENU>(static_cast<UINT_PTR>(controlId)),
                                  resourceModule(), nullptr));
    if (!window_) return false;
    send(TB_BUTTONSTRUCTSIZE, sizeof(TBBUTTON));
    return true;
}

bool ToolBar::loadToolBar(UINT resourceId) {
    const std::optional<ToolBarLayout> layout = loadToolBarResource(resourceModule(), resourceId);
    return layout && setButtons(resourceId, layout->imageSize, layout->commandIds);
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

void ToolBar::autoSize() const { send(TB_AUTOSIZE); }

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

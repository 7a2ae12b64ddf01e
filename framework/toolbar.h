// A comctl32 toolbar along the top edge of a dialog: flat buttons, one image each, with tooltips.
// Tooltip texts are asked of the parent dialog: TTN_GETDISPINFOA (= TTN_NEEDTEXTA) arrives there as
// WM_NOTIFY with the button's command id in idFrom.
#pragma once

#include <windows.h>

#include <span>

#include "framework/ui_handles.h"

namespace quenlet {

class ToolBar {
public:
    // The control id of the program's one toolbar (the first id of the control-bar range).
    static constexpr UINT kDefaultControlId = 0xE800;

    ToolBar() = default;
    ~ToolBar() = default;
    ToolBar(const ToolBar&) = delete;
    ToolBar& operator=(const ToolBar&) = delete;

    // Creates the empty toolbar window as a child of parent. False when it exists or creation fails.
    bool create(HWND parent, UINT controlId = kDefaultControlId);

    // Adds the buttons of the TOOLBAR resource id, with images from the bitmap of the same id (its
    // standard grey shades mapped to the current system colours), both from the application's module.
    bool loadToolBar(UINT resourceId);

    // Adds one button per command id (0 = separator). Button n takes the n-th imageSize cell of the
    // strip, counting buttons only. The toolbar keeps the strip until it is destroyed.
    bool setButtons(UniqueBitmap strip, SIZE imageSize, std::span<const UINT> commandIds);
    // The same with the strip loaded from the application's bitmap resource bitmapId (grey shades
    // mapped to the system colours).
    bool setButtons(UINT bitmapId, SIZE imageSize, std::span<const UINT> commandIds);

    // Fits the toolbar to its parent's width again (TB_AUTOSIZE), e.g. after the parent was resized.
    void autoSize() const;

    HWND hwnd() const { return window_.get(); }
    // The tooltip window the toolbar created for itself.
    HWND toolTips() const;
    int buttonCount() const;

    // TBSTATE_* bits of the button with commandId; -1 when there is no such button or no window.
    int buttonState(UINT commandId) const;
    bool setButtonState(UINT commandId, UINT state) const;
    bool enableButton(UINT commandId, bool enable) const;
    bool isButtonEnabled(UINT commandId) const;

    // The window's current size and height in pixels.
    SIZE size() const;
    int height() const;

private:
    LRESULT send(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const;

    // Declared first so it is released after the window that draws from it.
    UniqueBitmap strip_;
    UniqueWindow window_;
};

}  // namespace quenlet
